// SPDX-License-Identifier: MIT
// One polling run, the same for every front end: the poll step, the clock pair taken at each
// start and the sinks each record goes to. A front end hands it a port and its sinks, calls
// tick() once per tick of its own pacing and shows what the tick left in vars.
#pragma once

#include "core/poll_step.h"
#include "core/record_clock.h"
#include "core/record_entry.h"
#include "core/record_sink.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace core {

class PollRun {
public:
    // debounce and record_first as PollStep has them.
    explicit PollRun(unsigned debounce = 1, bool record_first = false)
        : step_(debounce, record_first)
    {
    }

    // The sinks every record goes to, in this order; each must outlive the run.
    void set_sinks(std::vector<RecordSink*> sinks) { sinks_ = std::move(sinks); }
    [[nodiscard]] std::span<RecordSink* const> sinks() const noexcept { return sinks_; }

    // Takes the wall clock and the monotonic clock anew: the times of the records from here
    // on are the monotonic clock read through this pair.
    void start() noexcept { clock_ = RecordClock::start(); }

    // The sinks' start and finish, for a front end whose sinks have a beginning and an end
    // (the watcher's outputs); the window's record has neither.
    void start_sinks()
    {
        for (RecordSink* sink : sinks_)
            sink->start();
    }
    void finish_sinks()
    {
        for (RecordSink* sink : sinks_)
            sink->finish();
    }

    // One poll through port (read() -> byte, write(byte), both throwing on failure). A change
    // reads the clock once and goes to every sink; a sink that throws leaves last_value and
    // bits as they were, and the sinks after it without the entry. Returns whether it recorded.
    template <typename Port>
    bool tick(Port& port, bool write_255)
    {
        return step_(port, write_255, [this](std::uint8_t value) {
            const RecordEntry entry { value, clock_.wall_us(monotonic_us()) };
            for (RecordSink* sink : sinks_)
                sink->add(entry);
        });
    }

    // Samples that turned back before the debounce settled.
    [[nodiscard]] std::uint64_t glitches() const noexcept { return step_.glitches(); }
    [[nodiscard]] const RecordClock& clock() const noexcept { return clock_; }

private:
    PollStep step_;
    RecordClock clock_ = RecordClock::start();
    std::vector<RecordSink*> sinks_;
};

} // namespace core
