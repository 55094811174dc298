// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace core {

// The decimal digits of n with no leading blank or zeros ("0", "7", "255");
// a negative number gets a leading minus.
[[nodiscard]] std::string decimal_text(std::int64_t n);

// The same, into a caller's buffer of at least 20 characters; returns the length.
// For the poll tick, which must not allocate.
std::size_t decimal_text(std::int64_t n, char* out) noexcept;

} // namespace core
