// SPDX-License-Identifier: MIT
// A record written into a series of files that turn by size or by time: each file stands
// alone (its own header, VCD's full first state), none is ever overwritten, and every record
// goes into exactly one of them.
#pragma once

#include "core/record_sink.h"
#include "core/record_writer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace watch {

namespace rotation {

// The name of a file that starts at time_us: pattern's strftime fields in local time, or,
// when it has none, "-YYYYMMDD-HHMMSS" before the extension.
[[nodiscard]] std::string file_name(const std::string& pattern, std::int64_t time_us);
// name with "-n" before its extension: the n-th try when name exists already.
[[nodiscard]] std::string numbered(const std::string& name, unsigned n);
// When a file started at start_us turns: the next multiple of every_s after local midnight,
// and at the latest the next local midnight (whole days: that many midnights on).
[[nodiscard]] std::int64_t next_turn_us(std::int64_t start_us, std::int64_t every_s);

} // namespace rotation

class RotatingOutput final : public core::RecordSink {
public:
    struct Settings {
        std::string pattern; // -o as given
        core::RecordFormat format = core::RecordFormat::Text;
        std::uint64_t size = 0; // bytes; 0: no limit
        std::int64_t every_s = 0; // 0: never
        std::uint64_t keep = 0; // 0: all
    };

    // Opens the first file, named for now_us. Throws std::system_error whose what() is
    // "cannot open NAME: reason".
    RotatingOutput(Settings settings, std::int64_t now_us);
    ~RotatingOutput() override;
    RotatingOutput(const RotatingOutput&) = delete;
    RotatingOutput& operator=(const RotatingOutput&) = delete;

    // Turns to a new file first when the current one is full or its time is up.
    void add(const core::RecordEntry& entry) override;
    void finish() override;

    [[nodiscard]] const std::string& current_file() const noexcept { return files_.back(); }

private:
    class Counted;
    void open(std::int64_t time_us);
    void close_current();

    Settings settings_;
    std::deque<std::string> files_; // this run's, oldest first
    std::string last_name_; // before numbering
    unsigned last_number_ = 0;
    int fd_ = -1;
    std::unique_ptr<Counted> output_;
    std::unique_ptr<core::RecordWriter> writer_;
    std::uint64_t records_in_file_ = 0;
    std::int64_t turn_at_us_ = 0;
};

} // namespace watch
