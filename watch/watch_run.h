// SPDX-License-Identifier: MIT
// One movanta-watch run: polls the port through the shared poll step, paced or free-running,
// hands each record to the sinks, and ends on count, until, timeout, a stop signal or a
// failure.
#pragma once

#include "watch_options.h"

#include <cstdint>
#include <span>
#include <string>

class PollObserver;
class RecordSink;
class StopSignals;

struct WatchStats {
    std::uint64_t samples = 0;
    std::uint64_t records = 0;
    std::uint64_t late = 0;
    std::uint64_t glitches = 0;
    std::int64_t elapsed_ns = 0;
};

enum class WatchEnd {
    Done, // count reached or until matched
    Stopped, // SIGINT, SIGTERM or SIGHUP
    Timeout,
    PortFailed, // the driver library, an entry point or the port itself
    OutputFailed, // the output or another sink
    ReaderGone, // the output was a pipe whose reader has gone
};

struct WatchResult {
    WatchEnd end = WatchEnd::Done;
    std::string reason; // for PortFailed and OutputFailed: the line to show, without our name
    WatchStats stats;
};

// Polls options.port until the run ends; the sinks' start, add and finish happen here.
// output_fd is watched for a reader that has gone (-1: nothing to watch). observer, when
// given, looks at the run between polls.
[[nodiscard]] WatchResult run_watch(const WatchOptions& options, std::span<RecordSink* const> sinks,
    const StopSignals& stop, int output_fd, PollObserver* observer = nullptr);

// "samples=N records=N late=N glitches=N seconds=S rate=R", R in samples per second.
[[nodiscard]] std::string stats_line(const WatchStats& stats);
