// SPDX-License-Identifier: MIT
// The writers behind make_record_writer(), one file per family.
#pragma once

#include "core/decimal_text.h"
#include "core/record_writer.h"

#include <cstdint>

namespace core {

// CSV, Plain, Text and Jsonl: one line per entry.
[[nodiscard]] std::unique_ptr<RecordWriter> make_line_writer(
    RecordFormat format, RecordOutput& output);
[[nodiscard]] std::unique_ptr<RecordWriter> make_vcd_writer(RecordOutput& output);

namespace record_text {

// Each returns the end of what it wrote; the caller leaves room (20 characters a number).
inline char* put(char* at, std::string_view text) noexcept
{
    for (const char c : text)
        *at++ = c;
    return at;
}

inline char* put_number(char* at, std::int64_t number) noexcept
{
    return at + decimal_text(number, at);
}

// The value's eight bits, bit 7 first, as the lamps show them from left to right.
inline char* put_bits(char* at, std::uint8_t value) noexcept
{
    for (int bit = 7; bit >= 0; --bit)
        *at++ = (value >> bit) & 1 ? '1' : '0';
    return at;
}

} // namespace record_text

} // namespace core
