// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace algo_umrechnen {

// Splits value into the eight truth values of vars::bits, element k for bit k.
// Reads value once and never writes it; overwrites all eight elements.
void umrechnen(const std::uint8_t& value);

} // namespace algo_umrechnen
