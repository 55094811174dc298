// SPDX-License-Identifier: MIT
// One entry of the change record: the value shown and the moment it was read.
#pragma once

#include <cstdint>

namespace core {

struct RecordEntry {
    std::uint8_t value = 0; // as the list shows it: 255 minus the byte read
    std::int64_t time_us = 0; // wall-clock microseconds since 1970-01-01 00:00 UTC
};

} // namespace core
