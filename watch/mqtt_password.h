// SPDX-License-Identifier: MIT
// The broker password, read from a file so that it never shows on a command line.
#pragma once

#include <string>

struct MqttPassword {
    std::string password;
    std::string warning; // empty, or why the file is not as private as it should be
};

// The file's first line, without its line end. Throws std::runtime_error when the file
// cannot be read or its first line is empty.
[[nodiscard]] MqttPassword read_mqtt_password(const std::string& path);
