// SPDX-License-Identifier: MIT
#include "core/decimal_text.h"

#include <charconv>

namespace core {

std::size_t decimal_text(std::int64_t n, char* out) noexcept
{
    auto [end, ec] = std::to_chars(out, out + 20, n);
    (void)ec; // 20 characters hold every 64-bit number
    return static_cast<std::size_t>(end - out);
}

std::string decimal_text(std::int64_t n)
{
    char buffer[20];
    return { buffer, decimal_text(n, buffer) };
}

} // namespace core
