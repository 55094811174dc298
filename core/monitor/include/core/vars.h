// SPDX-License-Identifier: MIT
// The monitor state: the value read, the one before it, its bits and the port's text.
#pragma once

#include "core/truth.h"

#include <array>
#include <cstdint>
#include <string>

// The monitor state shared by the poll step, the bit decomposition and the front end that
// shows it. One per process, reached by name; all readers and writers run on the thread that
// polls: the window's user-interface thread, or movanta-watch's poll thread.
namespace vars {

// bits[k] is the truth value of bit k of out_value (bits[0] the least significant).
extern std::array<core::truth, 8> bits;
// txt_port's text as it stood at the last Start; turned into a number at every use.
extern std::string port_text;
// 255 minus the byte most recently read.
extern std::uint8_t out_value;
// out_value as it stood at the end of the previous poll.
extern std::uint8_t last_value;

// Puts every field back to its start value (all zero, empty text).
void reset();

} // namespace vars
