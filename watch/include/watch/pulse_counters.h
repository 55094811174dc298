// SPDX-License-Identifier: MIT
// Pulse counters: the rising edges of each bit of the shown value, record by record, kept in
// a counters file by a thread of their own so that writing it never holds a poll up, and
// passed on as they change (to the MQTT publisher).
#pragma once

#include "core/record_sink.h"
#include "watch/counters_file.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace watch {

class PulseCounters final : public core::RecordSink {
public:
    using Totals = counters_file::Totals;
    using Complaint = std::function<void(const std::string& line)>;
    // Called on the poll thread with the totals each time a record changes them; must not
    // block.
    using Report = std::function<void(const Totals& totals)>;

    // Counts on from start. With a file, the totals go there at most once a second while they
    // change (a failure is said through complain, once until a write works again) and at
    // close(). Start it after the stop signals are blocked: its thread inherits the mask.
    PulseCounters(Totals start, std::string file, Complaint complain);
    ~PulseCounters() override;
    PulseCounters(const PulseCounters&) = delete;
    PulseCounters& operator=(const PulseCounters&) = delete;

    // A bit that is 1 where the previous record had it 0 adds one; the first record counts
    // nothing.
    void add(const core::RecordEntry& entry) override;
    // Before the run starts: report gets the totals now and after each change.
    void report_to(Report report);
    // The last write, at every end (also one the sinks' finish does not see): the reason
    // when it failed.
    [[nodiscard]] std::optional<std::string> close();

    [[nodiscard]] Totals totals() const;
    // " rising=C0,C1,...,C7" for --stats.
    [[nodiscard]] std::string stats_suffix() const;

private:
    using Clock = std::chrono::steady_clock;
    void keep();
    // Writes the totals with the lock released; returns the failure.
    std::optional<std::string> write(std::unique_lock<std::mutex>& lock);

    std::string file_;
    Complaint complain_;
    Report report_;
    bool have_previous_ = false;
    std::uint8_t previous_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Totals totals_;
    bool changed_ = false; // since the last write
    bool closing_ = false;
    bool failing_ = false; // the last write failed and was said
    Clock::time_point last_write_ = Clock::now();
    std::thread keeper_;
};

} // namespace watch
