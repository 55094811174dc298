// SPDX-License-Identifier: MIT
// The monotonic and wall clocks the record's times come from.
#include "core/record_clock.h"

#include <chrono>

namespace core {

std::int64_t monotonic_ns() noexcept
{
    // steady_clock is CLOCK_MONOTONIC on Linux and QueryPerformanceCounter on Windows.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t monotonic_us() noexcept { return monotonic_ns() / 1000; }

RecordClock RecordClock::start() noexcept
{
    // The wall clock read between two monotonic readings, paired with their midpoint.
    const std::int64_t before = monotonic_us();
    const std::int64_t wall = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                                  .count();
    const std::int64_t after = monotonic_us();
    return { wall, before + (after - before) / 2 };
}

} // namespace core
