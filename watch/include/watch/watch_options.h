// SPDX-License-Identifier: MIT
// movanta-watch's command line: what it asks for, read by one pure function.
#pragma once

#include "core/record_writer.h"
#include "watch/mqtt_options.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace watch {

struct UntilCondition {
    std::uint8_t mask = 0;
    std::uint8_t value = 0; // the shown value v matches when (v & mask) == value
    bool operator==(const UntilCondition&) const = default;
};

struct WatchOptions {
    std::int32_t port = 888;
    std::int64_t interval_ns = 50'000'000; // 0: free-running
    bool write_255 = true;
    core::RecordFormat format = core::RecordFormat::Text;
    std::string output; // empty or "-": standard output
    std::uint64_t count = 0; // records, the first included; 0: no limit
    std::optional<UntilCondition> until;
    std::int64_t timeout_ns = 0; // 0: none
    unsigned debounce = 1;
    bool stats = false;
    MqttOptions mqtt;
    // A service's additions: pulse counters kept in a file, files that turn, a command per record.
    std::string counters_file; // empty: the totals are not kept
    std::uint64_t rotate_size = 0; // bytes a file may reach before the next one starts; 0: no limit
    std::int64_t rotate_every_s = 0; // seconds, aligned on local midnight; 0: never
    std::uint64_t keep = 0; // files of this run kept when turning; 0: all
    std::string exec_command; // run through /bin/sh -c for each record; empty: none
    [[nodiscard]] bool rotating() const noexcept { return rotate_size != 0 || rotate_every_s != 0; }
    bool operator==(const WatchOptions&) const = default;
};

// Either options to run with, or an end at once: status 0 with text for standard output
// (--help, --version), or status 2 with the reason and the usage line for standard error.
struct ParsedCommandLine {
    std::optional<WatchOptions> run;
    int status = 0;
    std::string message;
};

// arguments: argv without the program name.
[[nodiscard]] ParsedCommandLine parse_watch_options(std::span<const std::string_view> arguments);

// "usage: movanta-watch [-p PORT] ..." without a line end.
[[nodiscard]] std::string_view watch_usage_line();

} // namespace watch
