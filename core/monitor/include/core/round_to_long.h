// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace core {

// Rounds x to the nearest integer, an exact half to the even neighbour
// (12.5 -> 12, 13.5 -> 14, -0.5 -> 0). Throws RuntimeError::overflow() when the
// result does not fit in a 32-bit signed integer (infinities and NaN included).
[[nodiscard]] std::int32_t round_to_long(double x);

} // namespace core
