// SPDX-License-Identifier: MIT
// Home Assistant's MQTT discovery configs.
#include "watch/ha_discovery.h"

#include "watch/mqtt_topics.h"

#include <cstdint>
#include <cstdio>

namespace watch {

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
    // Two prefixes of one port are two devices: the name says which one is which.
    const bool own_prefix = topics.prefix() != default_topic_prefix(device.host, device.port);
    return ",\"availability_topic\":" + json_string(topics.availability())
        + ",\"payload_available\":" + json_string(availability_online)
        + ",\"payload_not_available\":" + json_string(availability_offline) + ",\"qos\":1"
        + ",\"device\":{\"identifiers\":[" + json_string("movanta_" + node) + "],\"name\":"
        + json_string("Movanta " + device.host + " port " + device.port
            + (own_prefix ? " (" + topics.prefix() + ")" : std::string()))
        + ",\"model\":" + json_string("Movanta " + device.version)
        + ",\"manufacturer\":\"Movanta\",\"sw_version\":" + json_string(device.version)
        + "},\"o\":{\"name\":\"movanta-watch\",\"sw\":" + json_string(device.version)
        + ",\"url\":" + json_string(device.url) + "}}";
}

} // namespace

std::string topic_prefix_digest(std::string_view prefix)
{
    // 32-bit FNV-1a: short and fixed, yet two prefixes of one port differ.
    std::uint32_t hash = 2166136261U;
    for (const char c : prefix)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
    return text;
}

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
    const std::string node
        = ha_node_id(device.host, device.port) + "_" + topic_prefix_digest(topics.prefix());
    const std::string common = common_members(topics, device, node);
    const auto config = [&](const std::string& component, const std::string& object) {
        return discovery_prefix + "/" + component + "/" + node + "/" + object + "/config";
    };
    const auto unique_id = [&](const std::string& object) {
        return ",\"unique_id\":" + json_string("movanta_" + node + "_" + object);
    };
    std::vector<MqttMessage> messages;
    for (int bit = 0; bit < 8; ++bit) {
        const std::string object = "bit" + std::to_string(bit);
        messages.push_back({ config("binary_sensor", object),
            "{\"name\":\"Bit " + std::to_string(bit) + "\"" + unique_id(object)
                + ",\"state_topic\":" + json_string(topics.bit(bit))
                + ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"" + common });
    }
    messages.push_back({ config("sensor", "value"),
        "{\"name\":\"Value\"" + unique_id("value")
            + ",\"state_topic\":" + json_string(topics.state())
            + ",\"value_template\":\"{{ value_json.value }}\"" + common });
    // Totals that only grow: Home Assistant's statistics and energy dashboard take them.
    for (int bit = 0; bit < 8; ++bit) {
        const std::string object = "count" + std::to_string(bit);
        messages.push_back({ config("sensor", object),
            "{\"name\":\"Pulses bit " + std::to_string(bit) + "\"" + unique_id(object)
                + ",\"state_topic\":" + json_string(topics.count(bit))
                + ",\"state_class\":\"total_increasing\"" + common });
    }
    return messages;
}

} // namespace watch
