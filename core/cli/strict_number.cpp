// SPDX-License-Identifier: MIT
// Strict parsing of the command line's numbers, independent of the locale.
#include "core/strict_number.h"

#include <charconv>

namespace core {

namespace strict_number {

namespace {

    std::optional<std::uint64_t> digits(std::string_view text, int base, std::uint64_t max)
    {
        if (text.empty())
            return std::nullopt;
        std::uint64_t value = 0;
        const auto [end, error]
            = std::from_chars(text.data(), text.data() + text.size(), value, base);
        if (error != std::errc() || end != text.data() + text.size() || value > max)
            return std::nullopt;
        return value;
    }

    bool starts_with_either(std::string_view text, std::string_view a, std::string_view b)
    {
        return text.starts_with(a) || text.starts_with(b);
    }

} // namespace

std::optional<std::uint64_t> whole(std::string_view text, std::uint64_t max)
{
    // from_chars takes no prefix and no sign itself, so a second "0x" or a "+" fails there.
    if (starts_with_either(text, "0x", "0X") || starts_with_either(text, "&H", "&h"))
        return digits(text.substr(2), 16, max);
    if (starts_with_either(text, "&O", "&o"))
        return digits(text.substr(2), 8, max);
    return digits(text, 10, max);
}

std::optional<std::int64_t> scaled_decimal(
    std::string_view text, std::int64_t scale, std::int64_t max)
{
    const auto point = text.find('.');
    const std::string_view integral = text.substr(0, point);
    const std::string_view fraction
        = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (integral.empty() && fraction.empty())
        return std::nullopt;
    const auto all_digits = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!all_digits(integral) || !all_digits(fraction))
        return std::nullopt;

    // Whole units first, so that a huge integral part fails before anything overflows.
    const auto units = integral.empty()
        ? std::optional<std::uint64_t>(0)
        : digits(integral, 10, static_cast<std::uint64_t>(max / scale));
    if (!units)
        return std::nullopt;
    std::int64_t result = static_cast<std::int64_t>(*units) * scale;

    // The fraction digit by digit: scale is a power of ten no larger than 1e9, so each step is
    // exact.
    std::int64_t place = scale;
    std::int64_t rest = 0;
    for (const char c : fraction) {
        if (place > 1) {
            place /= 10;
            rest += (c - '0') * place;
        } else {
            if (c >= '5')
                ++rest; // half or more of the smallest unit rounds up
            break;
        }
    }
    if (rest > max - result)
        return std::nullopt;
    return result + rest;
}

} // namespace strict_number

} // namespace core
