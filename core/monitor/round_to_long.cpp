// SPDX-License-Identifier: MIT
#include "core/round_to_long.h"

#include "core/runtime_error.h"

#include <cmath>

namespace core {

std::int32_t round_to_long(double x)
{
    if (std::isnan(x))
        throw RuntimeError::overflow();
    // Halves to the even neighbour: the default rounding mode. (MinGW-w64's std::round takes
    // 0.49999999999999994 to 1.)
    const double r = std::nearbyint(x);
    // Both bounds are exact doubles; the comparison also rejects the infinities.
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw RuntimeError::overflow();
    return static_cast<std::int32_t>(r);
}

} // namespace core
