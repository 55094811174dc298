// SPDX-License-Identifier: MIT
// movanta-watch's command line: what it asks for, read by one pure function.
#pragma once

#include "mqtt_options.h"
#include "record_writer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct UntilCondition {
    std::uint8_t mask = 0;
    std::uint8_t value = 0; // the shown value v matches when (v & mask) == value
    bool operator==(const UntilCondition&) const = default;
};

struct WatchOptions {
    std::int32_t port = 888;
    std::int64_t interval_ns = 50'000'000; // 0: free-running
    bool write_255 = true;
    RecordFormat format = RecordFormat::Text;
    std::string output; // empty or "-": standard output
    std::uint64_t count = 0; // records, the first included; 0: no limit
    std::optional<UntilCondition> until;
    std::int64_t timeout_ns = 0; // 0: none
    unsigned debounce = 1;
    bool stats = false;
    MqttOptions mqtt;
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
