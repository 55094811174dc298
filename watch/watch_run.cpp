// SPDX-License-Identifier: MIT
// The ending rules of a movanta-watch run, and the thread its polls run on.
#include "watch_run.h"

#include "core/record_clock.h"
#include "core/runtime_error.h"
#include "watch/end_flag.h"
#include "watch/stop_signals.h"
#include "watch/stoppable_output.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

using namespace core;

namespace watch {

namespace {

// How long an ended run waits for the poll under way before it leaves it behind.
constexpr std::chrono::milliseconds stuck_poll_wait { 250 };

struct Ending {
    WatchEnd end;
    std::string reason;
    bool can_finish; // whether the output may still take its end
};

// What a failure of the port or of a sink means for the run.
Ending ending_for(const std::exception_ptr& failure, std::int32_t port)
{
    try {
        std::rethrow_exception(failure);
    } catch (const OutputStopped&) {
        // A reader that takes nothing would not take the end either.
        return { WatchEnd::Stopped, {}, false };
    } catch (const RuntimeError& error) {
        // The window's reports are German; this command says it in English, with the
        // driver's own words.
        if (error.kind() == RuntimeError::Kind::PortAccessFailed)
            return { WatchEnd::PortFailed, "port " + std::to_string(port) + ": " + error.reason(),
                true };
        return { WatchEnd::PortFailed, error.what(), true };
    } catch (const std::system_error& error) {
        // The reader has what it wanted: nothing more can reach it, the end included.
        if (error.code() == std::errc::broken_pipe)
            return { WatchEnd::ReaderGone, {}, false };
        return { WatchEnd::OutputFailed, error.what(), true };
    } catch (const std::exception& error) {
        return { WatchEnd::OutputFailed, error.what(), true };
    } catch (...) {
        return { WatchEnd::OutputFailed, "unknown failure", true };
    }
}

Ending ending_for(PollLoop::End end)
{
    switch (end) {
    case PollLoop::End::Done:
        break;
    case PollLoop::End::Stopped:
        return { WatchEnd::Stopped, {}, true };
    case PollLoop::End::Deadline:
        return { WatchEnd::Timeout, {}, true };
    case PollLoop::End::ReaderGone:
        return { WatchEnd::ReaderGone, {}, false };
    }
    return { WatchEnd::Done, {}, true };
}

// What the poll thread and this one share. The poll thread holds it as long as it runs, also
// after it was left behind.
struct Shared {
    Shared(const WatchOptions& options, std::vector<RecordSink*> sinks,
        std::vector<PollHook*> hooks, int stop_fd, int output_fd)
        : gate(std::move(sinks), std::move(hooks))
        , loop(options, gate, stop_fd, output_fd)
    {
    }

    SinkGate gate;
    PollLoop loop;
    EndFlag done; // raised once the polls ended
    // Set before done is written, read after joining.
    Ending ending { WatchEnd::Done, {}, true };
    std::int64_t stopped_ns = 0;
};

void run_polls(Shared& shared, std::int32_t port) noexcept
{
    try {
        shared.ending = ending_for(shared.loop.run());
    } catch (...) {
        shared.ending = ending_for(std::current_exception(), port);
    }
    shared.stopped_ns = monotonic_ns();
    shared.done.raise();
}

} // namespace

WatchResult run_watch(const WatchOptions& options, std::span<RecordSink* const> sinks,
    const StopSignals& stop, int output_fd, std::span<PollHook* const> hooks)
{
    const auto shared = std::make_shared<Shared>(options,
        std::vector<RecordSink*>(sinks.begin(), sinks.end()),
        std::vector<PollHook*>(hooks.begin(), hooks.end()), stop.fd(), output_fd);
    WatchResult result;
    try {
        shared->gate.start();
    } catch (...) {
        Ending ending = ending_for(std::current_exception(), options.port);
        result.end = ending.end;
        result.reason = std::move(ending.reason);
        return result;
    }

    // The schedule and the timeout count from the first poll, whatever starting took.
    shared->loop.start();
    std::thread thread;
    if (shared->done) {
        try {
            thread = std::thread([shared, port = options.port] { run_polls(*shared, port); });
        } catch (const std::system_error&) {
        }
    }
    using Seen = EndFlag::Seen;
    Seen seen = Seen::PollsEnded;
    if (thread.joinable())
        seen = shared->done.wait(stop.fd(), shared->loop.deadline_ns());
    else
        run_polls(*shared, options.port); // no thread to be had: polls here, as before threads

    bool ended = seen == Seen::PollsEnded;
    std::int64_t stopped_ns = 0;
    if (!ended) {
        stopped_ns = monotonic_ns();
        shared->loop.end();
        // Wakes a pacer asleep and an output waiting for room.
        stop.request();
        ended = shared->done.raised_within(stuck_poll_wait);
    }
    Ending ending { seen == Seen::Deadline ? WatchEnd::Timeout : WatchEnd::Stopped, {}, true };
    if (ended) {
        if (thread.joinable())
            thread.join();
        ending = std::move(shared->ending);
        // The polls saw the stop this thread asked for at the deadline.
        if (seen == Seen::Deadline && ending.end == WatchEnd::Stopped)
            ending.end = WatchEnd::Timeout;
        result.stats = shared->loop.stats(shared->stopped_ns);
    } else {
        // Stuck in a driver call: the polls are left to it, and nothing it returns gets
        // through the gate once that is closed.
        thread.detach();
        result.left_behind = true;
        result.stats = shared->loop.stats(stopped_ns);
        ending.can_finish = shared->gate.close(stuck_poll_wait);
    }
    result.end = ending.end;
    result.reason = std::move(ending.reason);

    if (ending.can_finish) {
        try {
            shared->gate.finish();
        } catch (...) {
            // The run has ended for its own reason; only an output that failed at the end
            // changes it (a reader gone or a stop while the output was full leave it as it is).
            Ending at_end = ending_for(std::current_exception(), options.port);
            const bool failed
                = result.end == WatchEnd::PortFailed || result.end == WatchEnd::OutputFailed;
            if (!failed && at_end.end == WatchEnd::OutputFailed) {
                result.end = at_end.end;
                result.reason = std::move(at_end.reason);
            }
        }
    }
    return result;
}

std::string stats_line(const WatchStats& stats)
{
    const double seconds = static_cast<double>(stats.elapsed_ns) / 1e9;
    const double rate = seconds > 0 ? static_cast<double>(stats.samples) / seconds : 0.0;
    char line[160];
    std::snprintf(line, sizeof line,
        "samples=%llu records=%llu late=%llu glitches=%llu seconds=%.3f rate=%.1f",
        static_cast<unsigned long long>(stats.samples),
        static_cast<unsigned long long>(stats.records), static_cast<unsigned long long>(stats.late),
        static_cast<unsigned long long>(stats.glitches), seconds, rate);
    return line;
}

} // namespace watch
