// SPDX-License-Identifier: MIT
// Builds without the POSIX service additions (Windows): --counters, turning files and --exec
// are refused with the options, so a run has only the rising edges it counts for --stats.
#include "watch/counters_file.h"
#include "watch/pulse_counters.h"
#include "watch/service_parts.h"

#include <stdexcept>

using namespace core;

namespace watch {

namespace counters_file {

Totals load(const std::string& /*path*/)
{
    throw std::invalid_argument("a counters file is not part of this build");
}

void save(const std::string& /*path*/, const Totals& /*totals*/)
{
    throw std::invalid_argument("a counters file is not part of this build");
}

} // namespace counters_file

ServiceParts::ServiceParts(const WatchOptions& options, Complaint complain)
    : options_(options)
    , complain_(std::move(complain))
{
}

ServiceParts::~ServiceParts() = default;

std::unique_ptr<ServiceParts> ServiceParts::prepare(const WatchOptions& options, Complaint complain)
{
    return std::unique_ptr<ServiceParts>(new ServiceParts(options, std::move(complain)));
}

void ServiceParts::start(std::function<std::size_t()> /*waiting*/)
{
    counters_ = std::make_unique<PulseCounters>(start_totals_, std::string(), complain_);
}

RecordSink* ServiceParts::counters() const noexcept { return counters_.get(); }
RecordSink* ServiceParts::rotating() const noexcept { return nullptr; }
RecordSink* ServiceParts::exec() const noexcept { return nullptr; }
PulseCounters& ServiceParts::pulse_counters() const noexcept { return *counters_; }
std::span<PollHook* const> ServiceParts::hooks() const noexcept { return hooks_; }

std::optional<std::string> ServiceParts::watchdog_warning(std::int64_t /*interval_ns*/) const
{
    return std::nullopt;
}

bool ServiceParts::close()
{
    if (counters_)
        static_cast<void>(counters_->close());
    return true;
}

std::string ServiceParts::stats_suffix() const
{
    return counters_ ? counters_->stats_suffix() : std::string();
}

} // namespace watch
