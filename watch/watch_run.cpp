// SPDX-License-Identifier: MIT
// The run loop of movanta-watch.
#include "watch_run.h"

#include "pacer.h"
#include "poll_observer.h"
#include "poll_step.h"
#include "port/port_binding.h"
#include "port/port_io.h"
#include "record_clock.h"
#include "record_sink.h"
#include "runtime_error.h"
#include "stop_signals.h"
#include "stoppable_output.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

namespace {

// Free-running, the clock and the stop signals are looked at once per this many samples
// (about 0.1 ms on the simulator): the samples themselves take no clock.
constexpr std::uint64_t free_running_check_every = 4096;

struct WatchPort {
    PortBinding& driver;
    std::int32_t port;
    [[nodiscard]] std::uint8_t read() const { return driver.read(port); }
    void write(std::uint8_t value) const { driver.write(port, value); }
};

class Run {
public:
    Run(const WatchOptions& options, std::span<RecordSink* const> sinks, int stop_fd, int output_fd,
        PollObserver* observer)
        : options_(options)
        , sinks_(sinks)
        , stop_fd_(stop_fd)
        , output_fd_(output_fd)
        , observer_(observer)
        , step_(options.debounce, true)
    {
    }

    WatchEnd poll()
    {
        for (RecordSink* sink : sinks_)
            sink->start();
        // The schedule and the timeout count from the first poll, whatever starting took.
        clock_ = RecordClock::start();
        start_ns_ = monotonic_ns();
        if (options_.timeout_ns > 0)
            deadline_ns_ = start_ns_ + options_.timeout_ns;
        return options_.interval_ns == 0 ? free_running() : paced();
    }

    void finish()
    {
        for (RecordSink* sink : sinks_)
            sink->finish();
    }

    WatchStats stats() const
    {
        WatchStats result = stats_;
        result.glitches = step_.glitches();
        result.elapsed_ns = monotonic_ns() - start_ns_;
        return result;
    }

private:
    // One poll; true when the record is complete (count reached, until matched).
    bool sample()
    {
        bool done = false;
        step_(port_, options_.write_255, [&](std::uint8_t value) {
            const RecordEntry entry { value, clock_.wall_us(monotonic_us()) };
            for (RecordSink* sink : sinks_)
                sink->add(entry);
            ++stats_.records;
            done = (options_.count != 0 && stats_.records >= options_.count)
                || (options_.until && (value & options_.until->mask) == options_.until->value);
        });
        ++stats_.samples;
        return done;
    }

    WatchEnd free_running()
    {
        for (;;) {
            if (sample())
                return WatchEnd::Done;
            if (stats_.samples % free_running_check_every == 0 || stats_.samples == 1) {
                observe();
                if (const auto wake = check_stop(stop_fd_, output_fd_); wake != Pacer::Wake::Poll)
                    return end_for(wake);
                if (monotonic_ns() >= deadline_ns_)
                    return WatchEnd::Timeout;
            }
        }
    }

    WatchEnd paced()
    {
        Pacer pacer(options_.interval_ns, start_ns_, stop_fd_, output_fd_);
        for (;;) {
            if (sample())
                return WatchEnd::Done;
            observe();
            const Pacer::Wake wake = pacer.wait(deadline_ns_);
            stats_.late = pacer.late();
            if (wake != Pacer::Wake::Poll)
                return end_for(wake);
        }
    }

    void observe()
    {
        if (observer_ != nullptr)
            observer_->polled(stats_);
    }

    static WatchEnd end_for(Pacer::Wake wake)
    {
        switch (wake) {
        case Pacer::Wake::Stop:
            return WatchEnd::Stopped;
        case Pacer::Wake::ReaderGone:
            return WatchEnd::ReaderGone;
        case Pacer::Wake::Deadline:
            return WatchEnd::Timeout;
        case Pacer::Wake::Poll:
            break;
        }
        return WatchEnd::Done;
    }

    const WatchOptions& options_;
    std::span<RecordSink* const> sinks_;
    int stop_fd_;
    int output_fd_;
    PollObserver* observer_;
    WatchPort port_ { port_io::binding(), options_.port };
    PollStep step_;
    RecordClock clock_ { 0, 0 };
    std::int64_t start_ns_ = monotonic_ns();
    std::int64_t deadline_ns_ = std::numeric_limits<std::int64_t>::max();
    WatchStats stats_;
};

struct Ending {
    WatchEnd end;
    std::string reason;
    bool can_finish; // whether the output may still take its end
};

// What a failure of the port or of a sink means for the run.
Ending ending_for(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const OutputStopped&) {
        // A reader that takes nothing would not take the end either.
        return { WatchEnd::Stopped, {}, false };
    } catch (const RuntimeError& error) {
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

} // namespace

WatchResult run_watch(const WatchOptions& options, std::span<RecordSink* const> sinks,
    const StopSignals& stop, int output_fd, PollObserver* observer)
{
    Run run(options, sinks, stop.fd(), output_fd, observer);
    WatchResult result;
    bool finish = true;
    try {
        result.end = run.poll();
        finish = result.end != WatchEnd::ReaderGone;
    } catch (...) {
        Ending ending = ending_for(std::current_exception());
        result.end = ending.end;
        result.reason = std::move(ending.reason);
        finish = ending.can_finish;
    }
    if (finish) {
        try {
            run.finish();
        } catch (...) {
            // The run has ended for its own reason; only an output that failed at the end
            // changes it (a reader gone or a stop while the output was full leave it as it is).
            Ending ending = ending_for(std::current_exception());
            const bool failed
                = result.end == WatchEnd::PortFailed || result.end == WatchEnd::OutputFailed;
            if (!failed && ending.end == WatchEnd::OutputFailed) {
                result.end = ending.end;
                result.reason = std::move(ending.reason);
            }
        }
    }
    result.stats = run.stats();
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
