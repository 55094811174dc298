// SPDX-License-Identifier: MIT
// The bytes of the port space file, the same on every system that maps it.
#pragma once

#include "drivers/port_space.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace drivers {

namespace port_space_file {

inline constexpr std::uint64_t magic = 0x324d495354524f50; // "PORTSIM2": two-word log entries

using Atomic64 = std::atomic<std::uint64_t>;
static_assert(Atomic64::is_always_lock_free, "the shared file needs address-free atomics");

// A log entry is two words written by whichever process claimed its number. Each word
// carries the lap of the ring the entry belongs to (lap = number / capacity + 1, so that the
// zeroed ring matches no entry): a reader takes an entry only when both words show its lap,
// so it never sees one half-written, nor halves of two laps.
//   time_word: microseconds bits 0-39 | lap bits 0-23 << 40
//   data_word: value | write << 8 | port << 9 | microseconds bits 40-63 << 25
//              | lap bits 0-14 << 49
struct Slot {
    Atomic64 time_word;
    Atomic64 data_word;
};

// The error for a file that is not ours, from its first eight bytes. One of another version of
// the simulator (its magic number starts with "PORTSIM" too) is safe to remove; anything else
// may be a file of value named by mistake. shown_path is as shown_text::plain gives it.
[[nodiscard]] std::runtime_error not_ours(const std::string& shown_path, std::uint64_t first_word);

} // namespace port_space_file

struct PortSpace::Layout {
    port_space_file::Atomic64 magic_number;
    port_space_file::Atomic64 appended; // log entry numbers ever claimed
    port_space_file::Atomic64 log_start; // the first entry number still shown (raised by clear)
    std::uint8_t latches[port_count];
    std::uint8_t inputs[port_count];
    port_space_file::Slot ring[log_capacity];
};

} // namespace drivers
