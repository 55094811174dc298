// SPDX-License-Identifier: MIT
// Home Assistant's MQTT discovery: the retained configs that make one port and topic prefix a
// device with a binary sensor per bit, a sensor for the shown value and one per pulse counter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace watch {

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
    std::string url; // the project's home page, for the origin
};

// HOST_PORT with every character Home Assistant does not take in a node id made '_'.
[[nodiscard]] std::string ha_node_id(std::string_view host, std::string_view port);
// Eight hex digits that tell topic prefixes apart (32-bit FNV-1a).
[[nodiscard]] std::string topic_prefix_digest(std::string_view prefix);

// Eight binary_sensor configs (bit 0 first), the value's sensor config, then eight pulse
// counter sensors (bit 0 first). The node id is HOST_PORT_DIGEST of the topic prefix: two
// prefixes of one port are two devices. discovery_prefix is checked as a topic prefix is
// (std::invalid_argument).
[[nodiscard]] std::vector<MqttMessage> ha_discovery_messages(
    const std::string& discovery_prefix, const MqttTopics& topics, const HaDevice& device);

} // namespace watch
