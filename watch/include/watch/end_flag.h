// SPDX-License-Identifier: MIT
// The flag the poll thread raises once its polls have ended, and the run's waits for it beside
// the stop: an eventfd and poll() on Linux, an event on Windows.
#pragma once

#include <chrono>
#include <cstdint>

#ifdef _WIN32
#include <memory>
#else
#include "core/unique_fd.h"
#endif

namespace watch {

class EndFlag {
public:
    enum class Seen {
        PollsEnded,
        Stop,
        Deadline,
    };

    // Without a flag to be had, the bool is false and nothing can wait for it.
    EndFlag() noexcept;
    [[nodiscard]] explicit operator bool() const noexcept { return static_cast<bool>(flag_); }

    // From the poll thread, once.
    void raise() const noexcept;

    // Waits for the flag, a stop (stop_fd as StopSignals gives it) or deadline_ns (monotonic;
    // the largest value: none).
    [[nodiscard]] Seen wait(int stop_fd, std::int64_t deadline_ns) const noexcept;
    // Whether the flag is raised within wait.
    [[nodiscard]] bool raised_within(std::chrono::milliseconds wait) const noexcept;

private:
#ifdef _WIN32
    std::shared_ptr<void> flag_; // a manual-reset event
#else
    core::UniqueFd flag_; // an eventfd
#endif
};

} // namespace watch
