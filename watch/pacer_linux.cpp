// SPDX-License-Identifier: MIT
// The paced sleep on Linux: a one-shot absolute timerfd for each sleep, and poll() on it
// together with the stop and output descriptors.
#include "watch/pacer.h"

#include "core/record_clock.h"

#include <array>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sys/timerfd.h>

using namespace core;

namespace watch {

namespace {

timespec to_timespec(std::int64_t ns)
{
    return { static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000) };
}

// fds[0] the stop descriptor, fds[1] the output (an error or hang-up: its reader has gone).
Pacer::Wake why_woken(const std::array<pollfd, 3>& fds)
{
    if ((fds[0].revents & POLLIN) != 0)
        return Pacer::Wake::Stop;
    if ((fds[1].revents & (POLLERR | POLLHUP)) != 0)
        return Pacer::Wake::ReaderGone;
    return Pacer::Wake::Poll;
}

std::array<pollfd, 3> watched(int stop_fd, int output_fd, int timer_fd)
{
    // poll() skips negative descriptors; an output watched for no event still reports
    // errors and hang-ups, and a regular file never does.
    return { { { stop_fd, POLLIN, 0 }, { output_fd, 0, 0 }, { timer_fd, POLLIN, 0 } } };
}

} // namespace

Pacer::Wake check_stop(int stop_fd, int output_fd) noexcept
{
    auto fds = watched(stop_fd, output_fd, -1);
    if (poll(fds.data(), 2, 0) <= 0)
        return Pacer::Wake::Poll;
    return why_woken(fds);
}

Pacer::Timer Pacer::make_timer() noexcept
{
    return UniqueFd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
}

Pacer::Wake Pacer::sleep_until(std::int64_t wake_ns)
{
    if (monotonic_ns() >= wake_ns) {
        if (++unslept_ < unslept_check_every)
            return Wake::Poll;
        unslept_ = 0;
        return check_stop(stop_fd_, output_fd_);
    }
    unslept_ = 0;
    if (!timer_) {
        // Without a timer descriptor, a stop or a gone reader is seen after the sleep.
        const timespec until = to_timespec(wake_ns);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) { }
        return check_stop(stop_fd_, output_fd_);
    }
    itimerspec setting {};
    setting.it_value = to_timespec(wake_ns);
    timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME, &setting, nullptr);
    auto fds = watched(stop_fd_, output_fd_, timer_.get());
    for (;;) {
        const int ready = poll(fds.data(), fds.size(), -1);
        if (ready == -1 && errno == EINTR)
            continue;
        if (const Wake wake = why_woken(fds); wake != Wake::Poll)
            return wake;
        // The expiration stays unread: arming the timer again clears it, one system call less
        // per poll.
        if ((fds[2].revents & POLLIN) != 0)
            return Wake::Poll;
        if (ready == -1)
            return Wake::Poll; // poll itself failed: go on awake rather than hang
    }
}

} // namespace watch
