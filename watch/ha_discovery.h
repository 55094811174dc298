// SPDX-License-Identifier: MIT
// Home Assistant's MQTT discovery: the retained configs that make one port a device with a
// binary sensor per bit and a sensor for the shown value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class MqttTopics;

struct MqttMessage {
    std::string topic;
    std::string payload;

    friend bool operator==(const MqttMessage&, const MqttMessage&) = default;
};

struct HaDevice {
    std::string host;
    std::string port; // as given on the command line
    std::string version; // the shown version, "0.05"
};

// HOST_PORT with every character Home Assistant does not take in a node id made '_'.
[[nodiscard]] std::string ha_node_id(std::string_view host, std::string_view port);

// Eight binary_sensor configs (bit 0 first), then the value's sensor config. discovery_prefix
// is checked as a topic prefix is (std::invalid_argument).
[[nodiscard]] std::vector<MqttMessage> ha_discovery_messages(
    const std::string& discovery_prefix, const MqttTopics& topics, const HaDevice& device);
