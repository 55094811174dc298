// SPDX-License-Identifier: MIT
// movanta-watch's MQTT options, and the publisher's settings made from them for one run.
#pragma once

#include "watch/mqtt_publisher.h"
#include "watch/mqtt_url.h"

#include <cstdint>
#include <optional>
#include <string>

namespace watch {

struct MqttOptions {
    std::optional<MqttUrl> broker; // --mqtt; none: no publishing
    std::string topic_prefix; // --mqtt-topic; empty: movanta/HOSTNAME/PORT
    std::string cafile; // --mqtt-cafile; empty: the system's CA store
    std::string password_file; // --mqtt-password-file
    std::optional<std::string> ha_discovery; // --ha-discovery[=PREFIX]
    bool ha_remove = false; // --ha-remove: take back what --ha-discovery announced, and exit
    bool operator==(const MqttOptions&) const = default;
};

// This machine's name, as the default topic and the Home Assistant device use it.
[[nodiscard]] std::string host_name();

// The settings for publishing the record of port. Reads the password file: throws
// std::runtime_error when it cannot be used, std::invalid_argument for settings that cannot
// work; warning gets what the user should mend but need not.
[[nodiscard]] MqttSettings mqtt_settings(
    const MqttOptions& options, std::int32_t port, const std::string& host, std::string& warning);

} // namespace watch
