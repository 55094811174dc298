// SPDX-License-Identifier: MIT
// The ending rules of a movanta-watch run, and the thread its polls run on (Linux).
#include "watch_run.h"

#include "record_clock.h"
#include "runtime_error.h"
#include "stop_signals.h"
#include "stoppable_output.h"
#include "unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

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
    UniqueFd done { eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) }; // readable once polls ended
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
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(shared.done.get(), &one, sizeof one);
}

enum class Seen {
    PollsEnded,
    Stop,
    Deadline,
};

// Waits for the polls to end, a stop, or deadline_ns (monotonic).
Seen wait_for_end(int stop_fd, int done_fd, std::int64_t deadline_ns)
{
    std::array<pollfd, 2> fds { { { done_fd, POLLIN, 0 }, { stop_fd, POLLIN, 0 } } };
    for (;;) {
        int timeout_ms = -1;
        if (deadline_ns != std::numeric_limits<std::int64_t>::max()) {
            const std::int64_t left_ns = deadline_ns - monotonic_ns();
            if (left_ns <= 0)
                return Seen::Deadline;
            timeout_ms = static_cast<int>(std::min<std::int64_t>((left_ns + 999'999) / 1'000'000,
                1'000'000));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout_ms);
        if (ready == -1 && errno != EINTR)
            return Seen::Stop; // nothing left to wait with: end as a stop does
        if ((fds[0].revents & POLLIN) != 0)
            return Seen::PollsEnded;
        if ((fds[1].revents & POLLIN) != 0)
            return Seen::Stop;
    }
}

bool readable_within(int fd, std::chrono::milliseconds wait)
{
    pollfd watched { fd, POLLIN, 0 };
    const std::int64_t until_ns = monotonic_ns() + wait.count() * 1'000'000;
    for (;;) {
        const std::int64_t left_ns = until_ns - monotonic_ns();
        if (left_ns <= 0)
            return false;
        const int ready = ::poll(&watched, 1, static_cast<int>((left_ns + 999'999) / 1'000'000));
        if (ready == 1)
            return true;
        if (ready == -1 && errno != EINTR)
            return false;
    }
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
    Seen seen = Seen::PollsEnded;
    if (thread.joinable())
        seen = wait_for_end(stop.fd(), shared->done.get(), shared->loop.deadline_ns());
    else
        run_polls(*shared, options.port); // no thread to be had: polls here, as before threads

    bool ended = seen == Seen::PollsEnded;
    std::int64_t stopped_ns = 0;
    if (!ended) {
        stopped_ns = monotonic_ns();
        shared->loop.end();
        // Wakes a pacer asleep and an output waiting for room.
        stop.request();
        ended = readable_within(shared->done.get(), stuck_poll_wait);
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
