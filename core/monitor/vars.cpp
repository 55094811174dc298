// SPDX-License-Identifier: MIT
#include "core/vars.h"

using namespace core;

namespace vars {

std::array<truth, 8> bits {};
std::string port_text;
std::uint8_t out_value = 0;
std::uint8_t last_value = 0;

void reset()
{
    bits.fill(truth_false);
    port_text.clear();
    out_value = 0;
    last_value = 0;
}

} // namespace vars
