// SPDX-License-Identifier: MIT
// A buffered record output into a file descriptor (a saved file, standard output, a pipe).
#pragma once

#include "core/record_output.h"

#include <memory>

namespace core {

class FdRecordOutput final : public RecordOutput {
public:
    // fd stays the caller's: it is neither closed nor flushed by the destructor, so that
    // whatever went wrong before is not hidden by a second failure there.
    explicit FdRecordOutput(int fd, std::size_t buffer_size = 64 * 1024);
    FdRecordOutput(const FdRecordOutput&) = delete;
    FdRecordOutput& operator=(const FdRecordOutput&) = delete;

    // Throws std::system_error with the system's error code; the bytes not yet written
    // are then dropped.
    void write(std::string_view bytes) override;
    void flush() override;

private:
    void write_out(const char* bytes, std::size_t size);

    int fd_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::unique_ptr<char[]> buffer_;
};

} // namespace core
