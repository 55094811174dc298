// SPDX-License-Identifier: MIT
// Reading the broker password from its file.
#include "watch/mqtt_password.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace watch {

MqttPassword read_mqtt_password(const std::string& path)
{
    const auto fail = [&path](const std::string& why) {
        throw std::runtime_error("cannot use the MQTT password file " + path + ": " + why);
    };
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0)
        fail(std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        fail("not a regular file");
    std::ifstream file(path, std::ios::binary);
    if (!file)
        fail(std::strerror(errno));
    MqttPassword result;
    std::getline(file, result.password);
    if (!result.password.empty() && result.password.back() == '\r')
        result.password.pop_back();
    if (result.password.empty())
        fail("its first line is empty");
    // MQTT carries a password in a 16-bit length; the library takes it as a C string.
    if (result.password.size() > mqtt_password_longest)
        fail("its first line is longer than 65,535 bytes");
    if (result.password.find('\0') != std::string::npos)
        fail("its first line holds a NUL character");
    if ((status.st_mode & (S_IRGRP | S_IROTH)) != 0)
        result.warning = "the MQTT password file " + path
            + " can be read by other users; make it private with chmod 600";
    return result;
}

} // namespace watch
