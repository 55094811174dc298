// SPDX-License-Identifier: MIT
// The broker's address as movanta-watch takes it: mqtt://[USER@]HOST[:PORT] or mqtts://…
#pragma once

#include <string>
#include <string_view>

namespace watch {

struct MqttUrl {
    bool tls = false;
    std::string user; // empty: no login
    std::string host; // an IPv6 address without its brackets
    int port = 1883;

    friend bool operator==(const MqttUrl&, const MqttUrl&) = default;
};

// HOST:PORT for messages, an IPv6 address in brackets.
[[nodiscard]] std::string mqtt_broker_text(const MqttUrl& url);

// Throws std::invalid_argument saying what is wrong; a password in the URL is refused, so
// that it never shows in a process list or a shell's history.
[[nodiscard]] MqttUrl parse_mqtt_url(std::string_view text);

} // namespace watch
