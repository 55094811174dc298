// SPDX-License-Identifier: MIT
// Wall-clock microseconds as local calendar time: the record's ISO 8601 form and its parts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// A moment in the local time zone of the process (TZ; on Windows, the system's time zone),
// broken down.
struct LocalTime {
    int year = 1970;
    int month = 1; // 1 to 12
    int day = 1; // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0; // 0 to 60
    int microsecond = 0; // 0 to 999999
    int utc_offset_s = 0; // east of Greenwich positive
};

// time_us: wall-clock microseconds since 1970-01-01 00:00 UTC, negative ones too.
[[nodiscard]] LocalTime local_time(std::int64_t time_us) noexcept;

// The German form, to the microsecond: "08.12.2026 10:15:02,123456".
[[nodiscard]] std::string german_time_text(std::int64_t time_us);

// "2026-12-08T10:15:02.123456+01:00". Formats many times within a second cheaply: the
// calendar part is worked out once per second. The view stays valid until the next call.
class IsoTimeText {
public:
    static constexpr std::size_t length = 32;

    [[nodiscard]] std::string_view operator()(std::int64_t time_us) noexcept;

private:
    char text_[length] = {};
    std::int64_t second_ = 0;
    bool have_second_ = false;
};

} // namespace core
