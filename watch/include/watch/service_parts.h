// SPDX-License-Identifier: MIT
// What a long-running watcher adds to a run: pulse counters and their file, files that turn,
// --exec, and the service manager's notifications. Put together here so that the program
// only asks for the sinks and the hooks.
#pragma once

#include "watch/watch_options.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace core { class RecordSink; }

namespace watch {

class ExecSink;
class PollHook;
class PulseCounters;
class RotatingOutput;
class ServiceNotify;

class ServiceParts {
public:
    using Complaint = std::function<void(const std::string& line)>;

    // Before the output and the port are touched: reads the counters file and writes it back
    // (so that a folder that takes no file shows now), opens the first of the turning files.
    // nullptr after saying why on complain (status 1).
    [[nodiscard]] static std::unique_ptr<ServiceParts> prepare(
        const WatchOptions& options, Complaint complain);
    ~ServiceParts();
    ServiceParts(const ServiceParts&) = delete;
    ServiceParts& operator=(const ServiceParts&) = delete;

    // After the stop signals are blocked, whose mask the threads take over. waiting: the
    // records an MQTT publisher holds, for the service manager's status line.
    void start(std::function<std::size_t()> waiting);

    // The sinks in the order they go: counters before the outputs, --exec after them.
    [[nodiscard]] core::RecordSink* counters() const noexcept;
    // The same counters as they are, for what their totals go to (MQTT).
    [[nodiscard]] PulseCounters& pulse_counters() const noexcept;
    [[nodiscard]] core::RecordSink* rotating() const noexcept; // nullptr without rotation
    [[nodiscard]] core::RecordSink* exec() const noexcept; // nullptr without --exec
    // What sees every poll on the poll thread: the service manager's notifications, when
    // systemd asks for them; empty otherwise.
    [[nodiscard]] std::span<PollHook* const> hooks() const noexcept;
    // The interval is too long for the watchdog's pings: the warning to give.
    [[nodiscard]] std::optional<std::string> watchdog_warning(std::int64_t interval_ns) const;

    // At every end: the counters' last write, the last command, STOPPING=1. False when the
    // counters could not be written (said on complain).
    [[nodiscard]] bool close();
    // " rising=..." and, with --exec, " exec_dropped=N", for --stats.
    [[nodiscard]] std::string stats_suffix() const;

private:
    ServiceParts(const WatchOptions& options, Complaint complain);

    const WatchOptions& options_;
    Complaint complain_;
    std::array<std::uint64_t, 8> start_totals_ {};
    std::unique_ptr<PulseCounters> counters_;
#ifndef _WIN32 // the POSIX additions (service_parts_absent.cpp has none of them)
    std::unique_ptr<RotatingOutput> rotating_;
    std::unique_ptr<ExecSink> exec_;
    std::unique_ptr<ServiceNotify> notify_;
#endif
    std::vector<PollHook*> hooks_;
};

} // namespace watch
