// SPDX-License-Identifier: MIT
// Publishes the record to an MQTT broker: availability, the retained state and bits, every
// change in order. The poll thread only queues; a thread of the publisher's own does all
// network work, so polling never waits for the broker.
#pragma once

#include "core/record_entry.h"
#include "watch/ha_discovery.h"
#include "watch/mqtt_url.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace watch {

struct MqttSettings {
    MqttUrl url;
    std::string password; // sent with url.user; empty: none
    std::string cafile; // for mqtts; empty: the system's CA store
    // A fixed id (per host, port and topic prefix) lets the broker end a stale connection of
    // ours when we come back, before its last will could overwrite our "online".
    std::string client_id;
    std::string topic_prefix;
    // Retained messages published again at every connect (the discovery configs).
    std::vector<MqttMessage> retained;
    std::size_t queue_capacity = 100000; // records
    int keepalive_s = 30;
    std::chrono::milliseconds first_retry { 1000 }; // doubled after each failed attempt
    std::chrono::milliseconds last_retry { 30000 };
    std::chrono::milliseconds connect_timeout { 10000 };
    // How long stop() goes on trying to send what waits, connecting first if need be.
    // With the goodbye's second, the end stays within 5 s of stop() (6 s documented).
    std::chrono::milliseconds drain_time { 4000 };
    // availability "offline" as the last will; off for a client that only tidies up.
    bool last_will = true;
};

class MqttPublisher {
public:
    // One line at a time (no line end), from the publisher's thread: connection changes,
    // dropped records.
    using Log = std::function<void(const std::string& line)>;

    // Throws std::invalid_argument for settings that can never work (a bad topic prefix, an
    // unreadable CA file, a password without a user). Starts connecting at once. refused is
    // called from the publisher's thread when the broker refuses the login.
    MqttPublisher(MqttSettings settings, Log log, std::function<void()> refused = {});
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // From the poll thread, in record order. Never blocks on the network.
    void publish(const core::RecordEntry& entry);
    // From any thread: the pulse counters' totals (bit 0 first), retained on PREFIX/count/K
    // when they change (at most once a second per bit) and at every connect. Never blocks.
    void publish_counts(const std::array<std::uint64_t, 8>& totals);
    // Sends what waits (trying for up to drain_time), publishes "offline", disconnects and
    // ends the thread. Records that could not go out are counted in the log.
    void stop();

    // Set when the broker refused the login: its reason. The publisher then tries no more.
    [[nodiscard]] std::optional<std::string> refusal() const;
    [[nodiscard]] bool connected() const noexcept;
    // Records queued or sent but not yet acknowledged.
    [[nodiscard]] std::size_t waiting() const noexcept;
    [[nodiscard]] std::uint64_t dropped() const noexcept;

private:
    class Sender;
    std::unique_ptr<Sender> sender_;
};

} // namespace watch
