// SPDX-License-Identifier: MIT
// The polls of a movanta-watch run, meant for a thread of their own: the core's PollRun,
// paced or free-running, until the count or the until condition, a stop, the deadline, the
// output's reader gone, or a failure. Its figures can be read from any thread meanwhile.
#pragma once

#include "core/poll_run.h"
#include "sink_gate.h"
#include "watch/watch_options.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace port { class PortBinding; }

namespace watch {

struct WatchStats {
    std::uint64_t samples = 0;
    std::uint64_t records = 0;
    std::uint64_t late = 0;
    std::uint64_t glitches = 0;
    std::int64_t elapsed_ns = 0;
};

class PollLoop {
public:
    enum class End {
        Done, // count reached or until matched
        Stopped, // the stop descriptor, or end()
        Deadline,
        ReaderGone,
    };

    // stop_fd becomes readable on a stop request; output_fd is watched for a reader that has
    // gone (-1: nothing to watch).
    PollLoop(const WatchOptions& options, SinkGate& gate, int stop_fd, int output_fd);

    // Takes the clock pair and the start: the schedule and the timeout count from here.
    void start() noexcept;
    [[nodiscard]] std::int64_t deadline_ns() const noexcept { return deadline_ns_; }

    // The polls, until the run ends; a failure of the port or of a sink throws.
    [[nodiscard]] End run();

    // From another thread: run() returns after the poll under way, whenever that returns.
    void end() noexcept { ended_.store(true, std::memory_order_relaxed); }

    // The figures so far, with polling taken to have stopped at stopped_ns (monotonic).
    [[nodiscard]] WatchStats stats(std::int64_t stopped_ns) const noexcept;

private:
    struct WatchPort;

    // One poll; true when the record is complete.
    bool sample();
    End free_running();
    End paced();

    // Written by the poll thread only, read by any: a relaxed load and store, not a locked add.
    struct Counter {
        std::atomic<std::uint64_t> value { 0 };
        void add(std::uint64_t n = 1) noexcept
        {
            value.store(value.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
        }
        void set(std::uint64_t n) noexcept { value.store(n, std::memory_order_relaxed); }
        [[nodiscard]] std::uint64_t get() const noexcept
        {
            return value.load(std::memory_order_relaxed);
        }
    };

    WatchOptions options_;
    SinkGate& gate_;
    port::PortBinding& binding_;
    core::PollRun run_;
    int stop_fd_;
    int output_fd_;
    std::int64_t start_ns_ = 0;
    std::int64_t deadline_ns_ = std::numeric_limits<std::int64_t>::max();
    std::atomic<bool> ended_ { false };
    Counter samples_;
    Counter records_;
    Counter late_;
    Counter glitches_;
};

} // namespace watch
