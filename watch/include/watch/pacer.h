// SPDX-License-Identifier: MIT
// The poll times of a paced run: a fixed schedule start + k * period on CLOCK_MONOTONIC, so
// that a late poll does not push the later ones back; poll times that pass while one poll is
// late merge into it and are counted.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <memory>
#else
#include "core/unique_fd.h"
#endif

namespace watch {

class Pacer {
public:
    enum class Wake {
        Poll, // a poll time has come
        Deadline, // the deadline came first
        Stop, // the stop descriptor became readable first
        ReaderGone, // the output descriptor hung up first (a pipe whose reader has gone)
    };

    // period_ns > 0; the first poll time is start_ns + period_ns. Both descriptors are
    // watched while sleeping (-1: none). On Windows stop_fd is an event handle as HandleToLong
    // gives it, and the output is not watched.
    Pacer(std::int64_t period_ns, std::int64_t start_ns, int stop_fd, int output_fd) noexcept;

    // Returns at the next poll time, or at deadline_ns (monotonic) if that is earlier, or
    // when a stop is requested or the output's reader goes. A poll that ran past the deadline
    // gets Deadline at once: the clock decides, not the poll time. Below about half a millisecond a timer
    // wakes too late too often: it then sleeps to just before the poll time and waits out the rest
    // awake.
    [[nodiscard]] Wake wait(std::int64_t deadline_ns);

    // Poll times that passed while a poll was late, merged into the next poll.
    [[nodiscard]] std::uint64_t late() const noexcept { return late_; }

private:
#ifdef _WIN32
    using Timer = std::shared_ptr<void>; // a high-resolution waitable timer, or none
#else
    using Timer = core::UniqueFd; // a timerfd, or none
#endif
    // A run that is always behind never sleeps, where the stop and output are watched: it
    // then checks them once every this many polls (10 ms at the shortest period).
    static constexpr unsigned unslept_check_every = 1000;

    // The system's timer for sleep_until; none when it cannot be had.
    [[nodiscard]] static Timer make_timer() noexcept;
    // Wake::Poll when wake_ns has come. One per system.
    Wake sleep_until(std::int64_t wake_ns);

    std::int64_t period_ns_;
    std::int64_t next_ns_;
    std::int64_t early_ns_; // how long before a poll time the sleep ends
    int stop_fd_;
    int output_fd_;
    Timer timer_;
    std::uint64_t late_ = 0;
    unsigned unslept_ = 0; // polls in a row whose wait needed no sleep
};

// Without waiting: Stop, ReaderGone, or Poll when neither happened. Free-running asks this
// now and then.
[[nodiscard]] Pacer::Wake check_stop(int stop_fd, int output_fd) noexcept;

} // namespace watch
