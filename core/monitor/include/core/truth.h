// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace core {

// A truth value as the monitor state keeps it: a signed 16-bit integer,
// -1 for true and 0 for false.
using truth = std::int16_t;

inline constexpr truth truth_true = -1;
inline constexpr truth truth_false = 0;

[[nodiscard]] constexpr truth to_truth(bool b) noexcept { return b ? truth_true : truth_false; }

} // namespace core
