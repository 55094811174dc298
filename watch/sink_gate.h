// SPDX-License-Identifier: MIT
// The one way from the poll thread to the sinks and hooks: open while the run lasts, closed
// for good when it ends, so that a driver call that returns after the end reaches nothing
// that the main thread has finished or freed.
#pragma once

#include "core/record_sink.h"
#include "poll_hook.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace watch {

class SinkGate final : public core::RecordSink {
public:
    // Each sink and hook must outlive the gate's closing.
    SinkGate(std::vector<core::RecordSink*> sinks, std::vector<PollHook*> hooks)
        : sinks_(std::move(sinks))
        , hooks_(std::move(hooks))
    {
    }

    // Before the poll thread starts.
    void start() override
    {
        for (core::RecordSink* sink : sinks_)
            sink->start();
    }

    // On the poll thread: the entry to every sink, unless the gate is closed.
    void add(const core::RecordEntry& entry) override
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        for (core::RecordSink* sink : sinks_)
            sink->add(entry);
    }

    // On the poll thread after each poll; costs nothing without hooks.
    void polled(std::uint8_t value, bool recorded)
    {
        if (hooks_.empty())
            return;
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        for (PollHook* hook : hooks_)
            hook->polled(value, recorded);
    }

    // From the main thread: waits up to `wait` for an entry or hook under way, then nothing
    // passes any more. False when the wait ran out (a sink stuck in a write): the sinks may
    // then still be in use and must not be finished.
    [[nodiscard]] bool close(std::chrono::milliseconds wait)
    {
        // Tried every millisecond rather than with a timed lock, which ThreadSanitizer does
        // not follow: this runs once, at the end.
        const auto until = std::chrono::steady_clock::now() + wait;
        while (!mutex_.try_lock()) {
            if (std::chrono::steady_clock::now() >= until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        closed_ = true;
        mutex_.unlock();
        return true;
    }

    // From the main thread once the poll thread has ended or the gate is closed.
    void finish() override
    {
        for (core::RecordSink* sink : sinks_)
            sink->finish();
    }

private:
    std::mutex mutex_;
    bool closed_ = false;
    std::vector<core::RecordSink*> sinks_;
    std::vector<PollHook*> hooks_;
};

} // namespace watch
