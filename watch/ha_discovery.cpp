// SPDX-License-Identifier: MIT
// Home Assistant's MQTT discovery configs.
#include "ha_discovery.h"

#include "mqtt_topics.h"

#include <cstdio>

namespace {

std::string json_string(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

// The members every entity of the device shares, after its own ones.
std::string common_members(
    const MqttTopics& topics, const HaDevice& device, const std::string& node)
{
    return ",\"availability_topic\":" + json_string(topics.availability())
        + ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\",\"qos\":1"
        + ",\"device\":{\"identifiers\":[" + json_string("movanta_" + node)
        + "],\"name\":" + json_string("Movanta " + device.host + " port " + device.port)
        + ",\"model\":" + json_string("Movanta " + device.version)
        + ",\"manufacturer\":\"Movanta\",\"sw_version\":" + json_string(device.version) + "}}";
}

} // namespace

std::string ha_node_id(std::string_view host, std::string_view port)
{
    std::string node = std::string(host) + "_" + std::string(port);
    for (char& c : node) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!allowed)
            c = '_';
    }
    return node;
}

std::vector<MqttMessage> ha_discovery_messages(
    const std::string& discovery_prefix, const MqttTopics& topics, const HaDevice& device)
{
    const MqttTopics checked_prefix(discovery_prefix);
    const std::string node = ha_node_id(device.host, device.port);
    const std::string common = common_members(topics, device, node);
    std::vector<MqttMessage> messages;
    for (int bit = 0; bit < 8; ++bit) {
        const std::string object = "bit" + std::to_string(bit);
        messages.push_back({ discovery_prefix + "/binary_sensor/" + node + "/" + object + "/config",
            "{\"name\":\"Bit " + std::to_string(bit)
                + "\",\"unique_id\":" + json_string("movanta_" + node + "_" + object)
                + ",\"state_topic\":" + json_string(topics.bit(bit))
                + ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"" + common });
    }
    messages.push_back({ discovery_prefix + "/sensor/" + node + "/value/config",
        "{\"name\":\"Value\",\"unique_id\":" + json_string("movanta_" + node + "_value")
            + ",\"state_topic\":" + json_string(topics.state())
            + ",\"value_template\":\"{{ value_json.value }}\"" + common });
    return messages;
}
