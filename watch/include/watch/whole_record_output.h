// SPDX-License-Identifier: MIT
// The output as a file of whole records: after a failed write (a full disk), a regular file
// is cut back to the end of the last record that went out whole (a CSV row, a JSON line, a
// VCD time block), and later writes go on from there.
#pragma once

#include "core/record_output.h"

#include <cstdint>

namespace watch {

class WholeRecordOutput final : public core::RecordOutput {
public:
    // Bytes go to inner, whose descriptor is fd. Anything but a regular file is never cut.
    WholeRecordOutput(core::RecordOutput& inner, int fd) noexcept;

    void write(std::string_view bytes) override
    {
        written_ += bytes.size();
        inner_.write(bytes);
    }
    void flush() override { inner_.flush(); }

    // Everything written so far has been flushed: it ends a whole record.
    void mark_whole() noexcept { whole_ = written_; }
    // After a failure: the file ends with the last whole record again.
    void cut_back() noexcept;

private:
    core::RecordOutput& inner_;
    int fd_;
    std::int64_t start_ = -1; // the file's offset at the start; -1: not a regular file
    std::uint64_t written_ = 0;
    std::uint64_t whole_ = 0;
};

} // namespace watch
