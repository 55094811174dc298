// SPDX-License-Identifier: MIT
// The topics movanta-watch publishes under its prefix.
#include "mqtt_topics.h"

#include <stdexcept>

MqttTopics::MqttTopics(std::string prefix)
    : prefix_(std::move(prefix))
{
    const auto refuse = [this](std::string_view why) {
        throw std::invalid_argument(
            "invalid MQTT topic prefix '" + prefix_ + "': " + std::string(why));
    };
    if (prefix_.empty())
        refuse("it is empty");
    if (prefix_.find_first_of("+#") != std::string::npos)
        refuse("the wildcards + and # are for subscribing");
    if (prefix_.find('\0') != std::string::npos)
        refuse("it holds a NUL character");
    if (prefix_.front() == '/' || prefix_.back() == '/')
        refuse("it must not begin or end with '/'");
    if (prefix_.front() == '$')
        refuse("topics that begin with '$' belong to the broker");
    // The longest topic, prefix + "/availability", has to fit MQTT's 16-bit length.
    if (prefix_.size() > 65000)
        refuse("it is too long");
}

std::string default_topic_prefix(std::string_view host, std::string_view port)
{
    return "movanta/" + std::string(host) + "/" + std::string(port);
}
