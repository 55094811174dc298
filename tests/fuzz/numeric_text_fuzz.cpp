// SPDX-License-Identifier: MIT
// Any text typed into the port or interval box either gives a 32-bit number or
// the overflow error; nothing else may happen.
#include "core/round_to_long.h"
#include "core/runtime_error.h"
#include "core/text_to_number.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double number = text_to_number(text);
    if (std::isnan(number))
        std::abort();
    try {
        const std::int32_t n = round_to_long(number);
        if (std::fabs(static_cast<double>(n) - number) > 0.5)
            std::abort();
    } catch (const RuntimeError& e) {
        if (e.kind() != RuntimeError::Kind::Overflow || std::fabs(number) < 2147483647.0)
            std::abort();
    }
    return 0;
}
