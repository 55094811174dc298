// SPDX-License-Identifier: MIT
// Builds without libmosquitto (Windows): --mqtt is refused before anything is touched, and the
// publisher, never made, has nothing behind it.
#include "watch/mqtt_ha_remove.h"
#include "watch/mqtt_options.h"

#include <stdexcept>

using namespace core;

namespace watch {

std::string host_name() { return {}; }

MqttSettings mqtt_settings(const MqttOptions& /*options*/, std::int32_t /*port*/,
    const std::string& /*host*/, std::string& /*warning*/)
{
    // Said as a setting that cannot work: status 2.
    throw std::invalid_argument("MQTT is not part of this build");
}

class MqttPublisher::Sender { };

MqttPublisher::MqttPublisher(
    MqttSettings /*settings*/, Log /*log*/, std::function<void()> /*refused*/)
{
    throw std::invalid_argument("MQTT is not part of this build");
}

MqttPublisher::~MqttPublisher() = default;
void MqttPublisher::publish(const RecordEntry& /*entry*/) { }
void MqttPublisher::publish_counts(const std::array<std::uint64_t, 8>& /*totals*/) { }
std::size_t MqttPublisher::waiting() const noexcept { return 0; }
void MqttPublisher::stop() { }
std::optional<std::string> MqttPublisher::refusal() const { return std::nullopt; }

int remove_ha_discovery(
    const MqttSettings& /*settings*/, const std::function<void(const std::string&)>& /*log*/)
{
    return 2;
}

} // namespace watch
