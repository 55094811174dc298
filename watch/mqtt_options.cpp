// SPDX-License-Identifier: MIT
// The publisher's settings from movanta-watch's MQTT options.
#include "watch/mqtt_options.h"

#include "watch/ha_discovery.h"
#include "watch/mqtt_password.h"
#include "watch/mqtt_topics.h"

#include <climits>
#include <unistd.h>

namespace watch {

std::string host_name()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

MqttSettings mqtt_settings(
    const MqttOptions& options, std::int32_t port, const std::string& host, std::string& warning)
{
    const std::string port_text = std::to_string(port);
    MqttSettings settings;
    settings.url = options.broker.value_or(MqttUrl {});
    settings.cafile = options.cafile;
    settings.topic_prefix = options.topic_prefix.empty() ? default_topic_prefix(host, port_text)
                                                         : options.topic_prefix;
    settings.client_id = "movanta-" + ha_node_id(host, port_text) + "-"
        + topic_prefix_digest(settings.topic_prefix);
    if (!options.password_file.empty()) {
        MqttPassword password = read_mqtt_password(options.password_file);
        settings.password = std::move(password.password);
        warning = std::move(password.warning);
    }
    if (options.ha_discovery || options.ha_remove) {
        settings.retained = ha_discovery_messages(options.ha_discovery.value_or("homeassistant"),
            MqttTopics(settings.topic_prefix),
            { host, port_text, MOVANTA_DISPLAY_VERSION, MOVANTA_HOMEPAGE_URL });
    }
    return settings;
}

} // namespace watch
