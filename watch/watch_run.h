// SPDX-License-Identifier: MIT
// One movanta-watch run: the polls on a thread of their own (PollLoop), while this thread
// keeps the ending rules: a stop signal or the timeout ends the run within a second whatever
// the driver does, finishing the outputs and leaving a stuck driver call behind.
#pragma once

#include "poll_loop.h"
#include "watch/watch_options.h"

#include <span>
#include <string>

namespace core { class RecordSink; }

namespace watch {

class PollHook;
class StopSignals;

enum class WatchEnd {
    Done, // count reached or until matched
    Stopped, // SIGINT, SIGTERM or SIGHUP, or a stop requested
    Timeout,
    PortFailed, // the driver library, an entry point or the port itself
    OutputFailed, // the output or another sink
    ReaderGone, // the output was a pipe whose reader has gone
};

struct WatchResult {
    WatchEnd end = WatchEnd::Done;
    std::string reason; // for PortFailed and OutputFailed: the line to show, without our name
    WatchStats stats; // as they were when polling stopped
    // The poll thread is still inside a driver call: the process must end without waiting for
    // it or running the destructors of what it may still touch (std::_Exit).
    bool left_behind = false;
};

// Polls options.port until the run ends; the sinks' start, add and finish happen here, the
// hooks see every poll. output_fd is watched for a reader that has gone (-1: nothing to watch).
[[nodiscard]] WatchResult run_watch(const WatchOptions& options, std::span<core::RecordSink* const> sinks,
    const StopSignals& stop, int output_fd, std::span<PollHook* const> hooks = {});

// "samples=N records=N late=N glitches=N seconds=S rate=R", R in samples per second.
[[nodiscard]] std::string stats_line(const WatchStats& stats);

} // namespace watch
