#include "round_to_long.h"

#include "runtime_error.h"

#include <cmath>

std::int32_t round_to_long(double x)
{
    if (std::isnan(x))
        throw RuntimeError::overflow();
    double r = std::round(x); // halves away from zero ...
    if (std::fabs(x - std::trunc(x)) == 0.5)
        r = 2.0 * std::round(x / 2.0); // ... except that an exact half goes to the even one
    // Both bounds are exact doubles; the comparison also rejects the infinities.
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw RuntimeError::overflow();
    return static_cast<std::int32_t>(r);
}
