// SPDX-License-Identifier: MIT
// The service additions of a run, prepared, started and closed in their order.
#include "watch/service_parts.h"

#include "core/record_clock.h"
#include "exec_sink.h"
#include "service_notify.h"
#include "watch/counters_file.h"
#include "watch/pulse_counters.h"
#include "watch/rotating_output.h"

#include <stdexcept>

using namespace core;

namespace watch {

ServiceParts::ServiceParts(const WatchOptions& options, Complaint complain)
    : options_(options)
    , complain_(std::move(complain))
{
}

ServiceParts::~ServiceParts() = default;

std::unique_ptr<ServiceParts> ServiceParts::prepare(const WatchOptions& options, Complaint complain)
{
    std::unique_ptr<ServiceParts> parts(new ServiceParts(options, std::move(complain)));
    try {
        if (!options.counters_file.empty()) {
            parts->start_totals_ = counters_file::load(options.counters_file);
            counters_file::save(options.counters_file, parts->start_totals_);
        }
        if (options.rotating()) {
            parts->rotating_ = std::make_unique<RotatingOutput>(
                RotatingOutput::Settings { options.output, options.format, options.rotate_size,
                    options.rotate_every_s, options.keep },
                RecordClock::start().wall_us(monotonic_us()));
        }
    } catch (const std::exception& error) {
        parts->complain_(error.what());
        return nullptr;
    }
    return parts;
}

void ServiceParts::start(std::function<std::size_t()> waiting)
{
    counters_ = std::make_unique<PulseCounters>(start_totals_, options_.counters_file, complain_);
    if (!options_.exec_command.empty())
        exec_ = std::make_unique<ExecSink>(options_.exec_command, options_.port, complain_);
    ExecSink* exec = exec_.get();
    // Free-running, a poll takes a fraction of a microsecond: the clock is looked at once per
    // this many.
    constexpr std::uint64_t free_running_polls_per_look = 4096;
    notify_ = std::make_unique<ServiceNotify>(
        [exec, waiting = std::move(waiting)] {
            return (waiting ? waiting() : 0) + (exec != nullptr ? exec->waiting() : 0);
        },
        options_.interval_ns == 0 ? free_running_polls_per_look : 1);
    if (notify_->active())
        hooks_.push_back(notify_.get());
}

RecordSink* ServiceParts::counters() const noexcept { return counters_.get(); }
RecordSink* ServiceParts::rotating() const noexcept { return rotating_.get(); }
RecordSink* ServiceParts::exec() const noexcept { return exec_.get(); }
PulseCounters& ServiceParts::pulse_counters() const noexcept { return *counters_; }
std::span<PollHook* const> ServiceParts::hooks() const noexcept { return hooks_; }

std::optional<std::string> ServiceParts::watchdog_warning(std::int64_t interval_ns) const
{
    const std::int64_t watchdog_ns = notify_ ? notify_->watchdog_ns() : 0;
    if (watchdog_ns == 0 || interval_ns <= watchdog_ns / 4)
        return std::nullopt;
    return "warning: the interval is longer than a quarter of the watchdog's time (WatchdogSec): "
           "the service manager may end the watcher between two polls";
}

bool ServiceParts::close()
{
    if (notify_)
        notify_->stopping();
    if (exec_)
        exec_->close();
    bool written = true;
    if (counters_) {
        if (auto failure = counters_->close()) {
            complain_(*failure);
            written = false;
        }
    }
    return written;
}

std::string ServiceParts::stats_suffix() const
{
    std::string suffix = counters_ ? counters_->stats_suffix() : std::string();
    if (exec_)
        suffix += exec_->stats_suffix();
    return suffix;
}

} // namespace watch
