// SPDX-License-Identifier: MIT
// SIGINT, SIGTERM and SIGHUP as a request to stop: blocked and read from a signalfd, so that
// a request arriving just before a sleep is not lost, and no handler runs mid-record.
#pragma once

// Until StopSignals takes them, a stop signal interrupts a blocking call (opening a FIFO waits
// for its reader) and is remembered, rather than ending the program with status 128 + signal.
void catch_stop_signals_early() noexcept;
[[nodiscard]] bool stop_signal_caught() noexcept;

class StopSignals {
public:
    // Blocks the three signals for this thread (and the threads it starts later), except
    // those ignored from the start, which stay ignored; one caught early is requested again.
    // When no signalfd can be had, fd() is -1 and the signals keep their action.
    StopSignals() noexcept;
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // From any thread: a stop as SIGTERM asks for it (nothing without a signalfd, where the
    // signal would end the process instead).
    void request() const noexcept;

    // Readable once a stop was requested; for poll().
    [[nodiscard]] int fd() const noexcept { return fd_; }

private:
    int fd_ = -1;
};
