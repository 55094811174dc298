// SPDX-License-Identifier: MIT
// Turning a text into a number by the window's rules: decimal, &H hexadecimal, &O octal.
#include "core/text_to_number.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace core {

namespace {

bool is_ignored(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_octal_digit(char c) { return c >= '0' && c <= '7'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The text with every ignored character taken out.
std::string squeezed(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!is_ignored(c))
            out += c;
    return out;
}

// The run of digits that is_digit_of_base accepts at the start of s, leading zeros dropped.
std::string_view leading_digits(std::string_view s, bool (*is_digit_of_base)(char))
{
    std::size_t end = 0;
    while (end < s.size() && is_digit_of_base(s[end]))
        ++end;
    std::size_t first = 0;
    while (first < end && s[first] == '0')
        ++first;
    return s.substr(first, end - first);
}

// Hexadecimal digits without leading zeros, as a correctly rounded double.
double from_hex_digits(std::string_view digits)
{
    if (digits.empty())
        return 0.0;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
        std::chars_format::hex);
    if (ec == std::errc::result_out_of_range)
        return std::numeric_limits<double>::infinity();
    return value;
}

double read_hex(std::string_view s) { return from_hex_digits(leading_digits(s, is_hex_digit)); }

// Octal digits are regrouped into hexadecimal ones (three bits each into four),
// so that the rounding is done once, by the same exact conversion.
double read_octal(std::string_view s)
{
    const std::string_view digits = leading_digits(s, is_octal_digit);
    std::string bits;
    bits.reserve(digits.size() * 3 + 3);
    for (char c : digits) {
        int d = c - '0';
        bits += (d & 4) ? '1' : '0';
        bits += (d & 2) ? '1' : '0';
        bits += (d & 1) ? '1' : '0';
    }
    bits.insert(0, (4 - bits.size() % 4) % 4, '0');
    static constexpr char hex[] = "0123456789abcdef";
    std::string hex_digits;
    hex_digits.reserve(bits.size() / 4);
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        int d = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2
            + (bits[i + 3] - '0');
        hex_digits += hex[d];
    }
    return from_hex_digits(leading_digits(hex_digits, is_hex_digit));
}

double read_decimal(std::string_view s)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }

    // The number is rebuilt in the one form from_chars reads: digits, an optional
    // period and digits, an optional "e", sign and digits.
    std::string number;
    number.reserve(s.size() + 2);
    std::size_t mantissa_digits = 0;
    std::int64_t integer_digits = 0; // significant digits before the period
    bool seen_significant = false;
    while (i < s.size() && is_digit(s[i])) {
        seen_significant = seen_significant || s[i] != '0';
        if (seen_significant)
            ++integer_digits;
        number += s[i++];
        ++mantissa_digits;
    }
    std::int64_t leading_fraction_zeros = 0;
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && is_digit(s[i])) {
            if (!seen_significant && s[i] == '0')
                ++leading_fraction_zeros;
            seen_significant = seen_significant || s[i] != '0';
            number += s[i++];
            ++mantissa_digits;
        }
    }
    if (mantissa_digits == 0)
        return 0.0;

    std::int64_t exponent = 0;
    if (i < s.size() && (lower(s[i]) == 'e' || lower(s[i]) == 'd')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent_negative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && is_digit(s[j])) {
            number += 'e';
            if (exponent_negative)
                number += '-';
            for (; j < s.size() && is_digit(s[j]); ++j) {
                number += s[j];
                if (exponent < 100'000'000) // saturates far beyond any double's range
                    exponent = exponent * 10 + (s[j] - '0');
            }
            if (exponent_negative)
                exponent = -exponent;
        }
    }

    double value = 0.0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
        std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Decimal magnitude of the first significant digit decides which way it went.
        std::int64_t magnitude = integer_digits > 0 ? integer_digits + exponent
                                                    : exponent - leading_fraction_zeros;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    if (!seen_significant)
        value = 0.0;
    return negative ? -value : value;
}

} // namespace

double text_to_number(std::string_view text)
{
    const std::string s = squeezed(text);
    if (s.size() >= 2 && s[0] == '&') {
        if (lower(s[1]) == 'h')
            return read_hex(std::string_view(s).substr(2));
        if (lower(s[1]) == 'o')
            return read_octal(std::string_view(s).substr(2));
    }
    return read_decimal(s);
}

} // namespace core
