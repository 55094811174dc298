// SPDX-License-Identifier: MIT
// The record published to an MQTT broker, beside (or instead of) the output.
#pragma once

#include "core/record_sink.h"
#include "watch/mqtt_publisher.h"

namespace watch {

class MqttSink final : public core::RecordSink {
public:
    explicit MqttSink(MqttPublisher& publisher) noexcept
        : publisher_(publisher)
    {
    }

    // Queued for the publisher's thread: the poll never waits for the broker.
    void add(const core::RecordEntry& entry) override { publisher_.publish(entry); }
    // Sends what waits, for a few seconds at most, and says "offline".
    void finish() override { publisher_.stop(); }

private:
    MqttPublisher& publisher_;
};

} // namespace watch
