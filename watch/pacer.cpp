// SPDX-License-Identifier: MIT
// The paced schedule, the same on every system: waking a little early for short periods and
// waiting out the rest awake; the sleep itself is the system's (pacer_linux.cpp,
// pacer_windows.cpp).
#include "watch/pacer.h"

#include "core/record_clock.h"

#include <algorithm>

using namespace core;

namespace watch {

namespace {

// Periods below this are kept by waking early and waiting out the rest awake: a timer
// wake-up on these virtual machines comes about 20 us late (p50; p99 about 60 us). Waking
// earlier than 20 us costs more CPU than it saves reads: at 0.1 ms, 60 us early took half a
// core, and with another busy process on the cores that share was not granted, so the rate
// fell to two thirds (docs/performance.md).
#ifdef _WIN32
// Under Wine a timer is the wineserver's, and its wake-ups come late by up to a millisecond
// now and then: at 1 ms, waking 0.3 ms early took the rate from about 860 to 950-990 reads/s;
// 0.6 ms early gave no more (docs/performance.md).
constexpr std::int64_t spin_below_ns = 2'000'000;
constexpr std::int64_t early_wake_ns = 300'000;
#else
constexpr std::int64_t spin_below_ns = 500'000;
constexpr std::int64_t early_wake_ns = 20'000;
#endif

} // namespace

Pacer::Pacer(std::int64_t period_ns, std::int64_t start_ns, int stop_fd, int output_fd) noexcept
    : period_ns_(period_ns)
    , next_ns_(start_ns + period_ns)
    , early_ns_(period_ns < spin_below_ns ? std::min(early_wake_ns, period_ns) : 0)
    , stop_fd_(stop_fd)
    , output_fd_(output_fd)
    , timer_(make_timer())
{
}

Pacer::Wake Pacer::wait(std::int64_t deadline_ns)
{
    if (next_ns_ >= deadline_ns) {
        const Wake wake = sleep_until(deadline_ns);
        return wake == Wake::Poll ? Wake::Deadline : wake;
    }
    if (const Wake wake = sleep_until(next_ns_ - early_ns_); wake != Wake::Poll)
        return wake;
    std::int64_t now = monotonic_ns();
    while (now < next_ns_)
        now = monotonic_ns();
    if (now >= deadline_ns)
        return Wake::Deadline;

    const std::int64_t behind = (now - next_ns_) / period_ns_;
    late_ += static_cast<std::uint64_t>(behind);
    next_ns_ += (behind + 1) * period_ns_;
    return Wake::Poll;
}

} // namespace watch
