// SPDX-License-Identifier: MIT
// The times of a polling run: the monotonic clock at each read, turned into wall-clock time
// through one pair of readings taken when the run starts, so that a clock change during the
// run neither reorders nor bends the entries.
#pragma once

#include <cstdint>

namespace core {

// CLOCK_MONOTONIC in nanoseconds and in microseconds.
[[nodiscard]] std::int64_t monotonic_ns() noexcept;
[[nodiscard]] std::int64_t monotonic_us() noexcept;

class RecordClock {
public:
    // Both clocks read now.
    [[nodiscard]] static RecordClock start() noexcept;
    RecordClock(std::int64_t wall_us, std::int64_t monotonic_us) noexcept
        : offset_us_(wall_us - monotonic_us)
    {
    }

    [[nodiscard]] std::int64_t wall_us(std::int64_t monotonic) const noexcept
    {
        return monotonic + offset_us_;
    }

private:
    std::int64_t offset_us_;
};

} // namespace core
