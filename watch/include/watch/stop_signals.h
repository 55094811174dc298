// SPDX-License-Identifier: MIT
// SIGINT, SIGTERM and SIGHUP as a request to stop: blocked and read from a signalfd, so that
// a request arriving just before a sleep is not lost, and no handler runs mid-record. The run
// itself asks for a stop through the same channel (an eventfd), never through a signal.
// On Windows Ctrl+C, Ctrl+Break and closing the console are the stop signals, and the channel
// is an event (stop_signals_windows.cpp).
#pragma once

#ifdef _WIN32
#include <memory>
#else
#include "core/unique_fd.h"
#endif

namespace watch {

// First thing in main: the stop signals wait, blocked, until the program is ready for them,
// rather than ending it with status 128 + signal. Those ignored from the start are left alone.
void block_stop_signals() noexcept;

// Until StopSignals takes them, a stop signal interrupts a blocking call (opening a FIFO waits
// for its reader) and is remembered; one that came while they were blocked is remembered now.
void catch_stop_signals_early() noexcept;
[[nodiscard]] bool stop_signal_caught() noexcept;

class StopSignals {
public:
    // Blocks the three signals for this thread (and the threads it starts later), except
    // those ignored from the start, which stay ignored; one caught early is requested again.
    // When no signalfd, eventfd or epoll set can be had, fd() is -1 and the signals keep
    // their action.
    StopSignals() noexcept;

    // From any thread: a stop as a signal asks for it (a refused login, a deadline). Works
    // whatever the signals' action is; without fd() it does nothing.
    void request() const noexcept;

#ifdef _WIN32
    // Set once a stop signal came or a stop was requested, and from then on: an event handle
    // as HandleToLong gives it, -1 when none could be had.
    [[nodiscard]] int fd() const noexcept;

private:
    std::shared_ptr<void> event_; // a manual-reset event
#else
    // Readable once a stop signal came or a stop was requested, and from then on; for poll().
    [[nodiscard]] int fd() const noexcept { return set_.get(); }

private:
    core::UniqueFd signals_; // the signalfd
    core::UniqueFd requests_; // the eventfd request() writes to
    core::UniqueFd set_; // an epoll set of both
#endif
};

} // namespace watch
