// SPDX-License-Identifier: MIT
// The timerfd calls behind the poll timer on Linux.
#include "poll_timer_timerfd.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

using namespace core;

namespace ui {

namespace timerfd_pacing {
namespace {

    constexpr long nanoseconds_per_second = 1'000'000'000L;
    constexpr long nanoseconds_per_millisecond = 1'000'000L;

    // INT_MAX ms is 2147483 s and 647 ms: the seconds fit a time_t of any width.
    timespec from_milliseconds(int milliseconds) noexcept
    {
        timespec span {};
        span.tv_sec = static_cast<time_t>(milliseconds / 1000);
        span.tv_nsec = static_cast<long>(milliseconds % 1000) * nanoseconds_per_millisecond;
        return span;
    }

    timespec sum(timespec a, timespec b) noexcept
    {
        timespec total {};
        total.tv_sec = a.tv_sec + b.tv_sec;
        total.tv_nsec = a.tv_nsec + b.tv_nsec;
        if (total.tv_nsec >= nanoseconds_per_second) {
            total.tv_nsec -= nanoseconds_per_second;
            ++total.tv_sec;
        }
        return total;
    }

} // namespace

UniqueFd open_fd() noexcept
{
    return UniqueFd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
}

bool arm(int fd, int period_ms) noexcept
{
    timespec now {};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return false;
    itimerspec setting {};
    setting.it_interval = from_milliseconds(period_ms);
    // Absolute, so that the period runs from this moment however long the call takes.
    setting.it_value = sum(now, setting.it_interval);
    return timerfd_settime(fd, TFD_TIMER_ABSTIME, &setting, nullptr) == 0;
}

void disarm(int fd) noexcept
{
    const itimerspec stopped {};
    timerfd_settime(fd, 0, &stopped, nullptr);
}

bool consume(int fd) noexcept
{
    std::uint64_t expirations = 0;
    ssize_t got = 0;
    do
        got = ::read(fd, &expirations, sizeof expirations);
    while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof expirations) && expirations > 0;
}

} // namespace timerfd_pacing

} // namespace ui
