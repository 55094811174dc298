// SPDX-License-Identifier: MIT
// The MQTT publisher's bookkeeping, free of any broker: the records in flight and their
// message ids, the retained baseline, the bits that changed, and what goes out again after a
// reconnect. It speaks to the connection through MqttChannel alone.
#pragma once

#include "core/record_entry.h"
#include "watch/ha_discovery.h"
#include "watch/mqtt_topics.h"
#include "watch/record_json.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace watch {

// One connection to the broker as the ledger sees it: QoS 1 publishing.
class MqttChannel {
public:
    virtual ~MqttChannel() = default;
    // The message's id, or nothing when the connection failed (it is then lost).
    [[nodiscard]] virtual std::optional<int> publish(
        const std::string& topic, std::string_view payload, bool retain)
        = 0;
};

class MqttLedger {
public:
    // window: records handed to the connection and not yet acknowledged, at most.
    MqttLedger(MqttTopics topics, std::vector<MqttMessage> retained, std::size_t window);

    // elapsed_us in the payloads counts from this entry: the watcher's first record, also
    // when the queue dropped it before it came here. Before the first add().
    void count_from(const core::RecordEntry& first);

    // After each connect: "online", the retained configs, the state and all eight bits as
    // they stood with the last record the broker acknowledged, then every record in flight
    // again. False when the channel failed part way.
    [[nodiscard]] bool greet(MqttChannel& channel);
    // Room for this many more records in flight.
    [[nodiscard]] std::size_t room() const noexcept;
    // A new record: its change, its state and the bits that changed go out, and it stays in
    // flight until all of them are acknowledged. False when it could not go out (the channel
    // failed, now or earlier in this connection): it then waits for the next greet().
    [[nodiscard]] bool add(MqttChannel& channel, const core::RecordEntry& entry);
    // The broker acknowledged message mid of this connection.
    void acknowledged(int mid);
    // The connection is gone: its message ids mean nothing any more.
    void disconnected();

    // Whether everything of the last greet() has been acknowledged: the connection carries.
    [[nodiscard]] bool greeted() const noexcept { return greet_sent_ && greeting_.empty(); }
    [[nodiscard]] std::size_t in_flight() const noexcept { return flight_.size(); }

private:
    struct Record {
        core::RecordEntry entry;
        std::string json;
        bool sent = false;
        int unacknowledged = 0;
    };

    bool send_record(MqttChannel& channel, Record& record);
    bool send_bits(MqttChannel& channel, std::uint8_t value, Record* record, bool greeting = false);
    // greeting: one of the messages every connect begins with.
    bool send(MqttChannel& channel, const std::string& topic, std::string_view payload, bool retain,
        Record* record, bool greeting = false);

    MqttTopics topics_;
    std::vector<MqttMessage> retained_;
    std::size_t window_;
    RecordJson json_;
    std::deque<Record> flight_; // oldest first
    std::unordered_map<int, Record*> acknowledging_;
    std::unordered_set<int> greeting_;
    bool greet_sent_ = false;
    bool failed_ = false; // a publish of this connection failed
    std::optional<Record> baseline_; // the last record the broker acknowledged in full
    int published_bits_ = -1; // none yet in this connection
};

} // namespace watch
