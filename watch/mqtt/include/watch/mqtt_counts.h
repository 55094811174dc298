// SPDX-License-Identifier: MIT
// The pulse counters' totals on PREFIX/count/K (retained, QoS 1): set from any thread, sent by
// the publisher's thread when they change, at most once a second per bit, and all at every
// connect. Free of any broker, like the ledger.
#pragma once

#include "watch/mqtt_ledger.h"
#include "watch/mqtt_topics.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace watch {

class MqttCounts {
public:
    using Clock = std::chrono::steady_clock;
    using Totals = std::array<std::uint64_t, 8>; // bit 0 first

    explicit MqttCounts(MqttTopics topics);

    // Any thread. Whether a total differs from the last ones set.
    bool set(const Totals& totals);
    // After each connect: every total, once any was set. False when the channel failed.
    [[nodiscard]] bool greet(MqttChannel& channel, Clock::time_point now);
    // The totals that changed since they were last sent, those whose second is up, or all of
    // them when ending (what the last second counted must not stay behind).
    [[nodiscard]] bool send_changed(MqttChannel& channel, Clock::time_point now, bool ending);
    // When the next changed total may go out; nothing while none waits.
    [[nodiscard]] std::optional<Clock::time_point> next_due() const;

private:
    [[nodiscard]] std::optional<Totals> totals() const;

    MqttTopics topics_;
    mutable std::mutex mutex_;
    std::optional<Totals> totals_; // guarded by mutex_
    // The publisher's thread's own: what this connection carried, and when.
    std::array<std::optional<std::uint64_t>, 8> sent_ {};
    std::array<Clock::time_point, 8> sent_at_ {};
};

} // namespace watch
