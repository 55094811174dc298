// SPDX-License-Identifier: MIT
// The broker password, read from a file so that it never shows on a command line.
#pragma once

#include <cstddef>
#include <string>

namespace watch {

// The longest password MQTT carries, in bytes.
inline constexpr std::size_t mqtt_password_longest = 65535;

struct MqttPassword {
    std::string password;
    std::string warning; // empty, or why the file is not as private as it should be
};

// The file's first line, without its line end. Throws std::runtime_error when the file
// cannot be read, or its first line is empty, longer than MQTT carries or holds a NUL.
[[nodiscard]] MqttPassword read_mqtt_password(const std::string& path);

} // namespace watch
