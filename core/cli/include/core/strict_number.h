// SPDX-License-Identifier: MIT
// Command-line numbers: the whole argument must be the number, or it is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace core {

namespace strict_number {

// Decimal digits, or hexadecimal after "0x"/"0X"/"&H"/"&h", or octal after "&O"/"&o"; no sign,
// no blanks. nullopt for anything else or above max.
[[nodiscard]] std::optional<std::uint64_t> whole(std::string_view text, std::uint64_t max);

// Decimal digits with at most one period ("0.5", "12", "3."); no sign, no exponent, no
// blanks. Scaled by `scale` (1e6 turns milliseconds into nanoseconds) and rounded to the
// nearest whole number; nullopt for anything else or when the result would exceed max.
[[nodiscard]] std::optional<std::int64_t> scaled_decimal(
    std::string_view text, std::int64_t scale, std::int64_t max);

} // namespace strict_number

} // namespace core
