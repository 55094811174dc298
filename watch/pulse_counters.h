// SPDX-License-Identifier: MIT
// Pulse counters: the rising edges of each bit of the shown value, record by record, kept in
// a counters file by a thread of their own so that writing it never holds a poll up.
#pragma once

#include "counters_file.h"
#include "record_sink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class PulseCounters final : public RecordSink {
public:
    using Totals = counters_file::Totals;
    using Complaint = std::function<void(const std::string& line)>;

    // Who writes the file while the run goes on: a thread of the counters' own, so that a
    // paced poll never waits for a disk, or the poll loop through flush_if_due(), so that a
    // free-running loop stays the only thread (a second one makes every lock the driver takes
    // an atomic operation, which costs a free-running loop more than a write a second does).
    enum class Writer { OwnThread, PollLoop };

    // Counts on from start. With a file, the totals go there at most once a second while they
    // change (a failure is said through complain, once until a write works again) and at
    // close(). Start it after the stop signals are blocked: its thread inherits the mask.
    PulseCounters(
        Totals start, std::string file, Complaint complain, Writer writer = Writer::OwnThread);
    ~PulseCounters() override;
    PulseCounters(const PulseCounters&) = delete;
    PulseCounters& operator=(const PulseCounters&) = delete;

    // A bit that is 1 where the previous record had it 0 adds one; the first record counts
    // nothing.
    void add(const RecordEntry& entry) override;
    // With Writer::PollLoop: writes the file when the totals changed and a second has passed.
    void flush_if_due();
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
