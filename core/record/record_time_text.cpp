// SPDX-License-Identifier: MIT
// Local calendar time of the record's entries, portable to the Windows build.
#include "core/record_time_text.h"

#include <ctime>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace core {

namespace {

constexpr std::int64_t us_per_second = 1'000'000;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (Howard Hinnant's
// days_from_civil), so that the UTC offset comes out of localtime() alone: Windows has
// neither tm_gmtoff nor timegm().
std::int64_t days_from_civil(std::int64_t y, int m, int d) noexcept
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const auto mp = static_cast<unsigned>(m > 2 ? m - 3 : m + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

#ifdef _WIN32
// Windows' own time zone and its daylight saving rules: the C library's localtime knows only
// what TZ says, and not its rules. Read again once a second at most, so that a zone changed
// in the settings shows within a second without a call per entry.
bool zone_now(TIME_ZONE_INFORMATION& zone) noexcept
{
    thread_local TIME_ZONE_INFORMATION kept {};
    thread_local ULONGLONG read_at = 0;
    thread_local bool have = false;
    const ULONGLONG now = GetTickCount64();
    if (!have || now - read_at >= 1000) {
        have = GetTimeZoneInformation(&kept) != TIME_ZONE_ID_INVALID;
        read_at = now;
    }
    zone = kept;
    return have;
}

bool to_local(std::time_t seconds, std::tm& out) noexcept
{
    // FILETIME counts 100 ns from 1601-01-01 UTC; SYSTEMTIME ends in the year 30827.
    constexpr std::int64_t from_1601 = 11'644'473'600;
    constexpr std::int64_t last = 900'000'000'000;
    if (seconds < -from_1601 || seconds > last)
        return false;
    const auto ticks = static_cast<std::uint64_t>(seconds + from_1601) * 10'000'000u;
    const FILETIME file { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    TIME_ZONE_INFORMATION zone {};
    SYSTEMTIME utc {};
    SYSTEMTIME local {};
    // SystemTimeToTzSpecificLocalTimeEx would follow a zone's rules of past years too, but
    // Wine 8 lacks it.
    if (!zone_now(zone) || !FileTimeToSystemTime(&file, &utc)
        || !SystemTimeToTzSpecificLocalTime(&zone, &utc, &local))
        return false;
    out = {};
    out.tm_year = local.wYear - 1900;
    out.tm_mon = local.wMonth - 1;
    out.tm_mday = local.wDay;
    out.tm_hour = local.wHour;
    out.tm_min = local.wMinute;
    out.tm_sec = local.wSecond;
    return true;
}
#else
bool to_local(std::time_t seconds, std::tm& out) noexcept
{
    return localtime_r(&seconds, &out) != nullptr;
}
#endif

void put_digits(char* at, int value, int count) noexcept
{
    for (int i = count - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

LocalTime local_time(std::int64_t time_us) noexcept
{
    std::int64_t seconds = time_us / us_per_second;
    std::int64_t micro = time_us % us_per_second;
    if (micro < 0) {
        micro += us_per_second;
        --seconds;
    }
    LocalTime local;
    local.microsecond = static_cast<int>(micro);
    std::tm parts {};
    if (!to_local(static_cast<std::time_t>(seconds), parts)) {
        // Outside what the system can convert (Windows: before 1601 or after 30827): UTC.
        const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
        const std::int64_t in_day = seconds - days * 86400;
        // civil_from_days, the inverse of days_from_civil.
        const std::int64_t z = days + 719468;
        const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const auto doe = static_cast<unsigned>(z - era * 146097);
        const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const unsigned mp = (5 * doy + 2) / 153;
        local.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        local.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        local.year = static_cast<int>(
            static_cast<std::int64_t>(yoe) + era * 400 + (local.month <= 2 ? 1 : 0));
        local.hour = static_cast<int>(in_day / 3600);
        local.minute = static_cast<int>(in_day / 60 % 60);
        local.second = static_cast<int>(in_day % 60);
        return local;
    }
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    const std::int64_t local_seconds = days_from_civil(local.year, local.month, local.day) * 86400
        + local.hour * 3600 + local.minute * 60 + local.second;
    local.utc_offset_s = static_cast<int>(local_seconds - seconds);
    return local;
}

std::string german_time_text(std::int64_t time_us)
{
    const LocalTime t = local_time(time_us);
    std::string text(26, ' ');
    put_digits(text.data(), t.day, 2);
    text[2] = '.';
    put_digits(text.data() + 3, t.month, 2);
    text[5] = '.';
    put_digits(text.data() + 6, t.year, 4);
    put_digits(text.data() + 11, t.hour, 2);
    text[13] = ':';
    put_digits(text.data() + 14, t.minute, 2);
    text[16] = ':';
    put_digits(text.data() + 17, t.second, 2);
    text[19] = ',';
    put_digits(text.data() + 20, t.microsecond, 6);
    return text;
}

std::string_view IsoTimeText::operator()(std::int64_t time_us) noexcept
{
    std::int64_t seconds = time_us / us_per_second;
    std::int64_t micro = time_us % us_per_second;
    if (micro < 0) {
        micro += us_per_second;
        --seconds;
    }
    if (!have_second_ || seconds != second_) {
        const LocalTime t = local_time(time_us);
        // "YYYY-MM-DDTHH:MM:SS.uuuuuu+HH:MM"; years past 9999 lose their leading digits.
        put_digits(text_, t.year, 4);
        text_[4] = '-';
        put_digits(text_ + 5, t.month, 2);
        text_[7] = '-';
        put_digits(text_ + 8, t.day, 2);
        text_[10] = 'T';
        put_digits(text_ + 11, t.hour, 2);
        text_[13] = ':';
        put_digits(text_ + 14, t.minute, 2);
        text_[16] = ':';
        put_digits(text_ + 17, t.second, 2);
        text_[19] = '.';
        const int offset_min = (t.utc_offset_s < 0 ? -t.utc_offset_s : t.utc_offset_s) / 60;
        text_[26] = t.utc_offset_s < 0 ? '-' : '+';
        put_digits(text_ + 27, offset_min / 60, 2);
        text_[29] = ':';
        put_digits(text_ + 30, offset_min % 60, 2);
        second_ = seconds;
        have_second_ = true;
    }
    put_digits(text_ + 20, static_cast<int>(micro), 6);
    return { text_, length };
}

} // namespace core
