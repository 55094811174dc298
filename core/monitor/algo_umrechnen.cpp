// SPDX-License-Identifier: MIT
#include "core/algo_umrechnen.h"

#include "core/vars.h"

#include <cmath>

using namespace core;

namespace algo_umrechnen {

// Successive halving: each stage halves the integer part of the previous one, and
// a stage with a fractional part means the bit shifted out was set. Every stage is
// a whole number or a whole number plus one half, at most 127.5, so all of it is
// exact in double precision and the floating-point checks of the first division
// can never trigger for a byte.
void umrechnen(const std::uint8_t& value)
{
    double stage = static_cast<double>(value) / 2.0;
    for (std::size_t k = 0; k < vars::bits.size(); ++k) {
        if (k > 0)
            stage = std::floor(stage) / 2.0;
        vars::bits[k] = to_truth(std::floor(stage) != stage);
    }
}

} // namespace algo_umrechnen
