// SPDX-License-Identifier: MIT
// movanta-watch --ha-remove: an empty retained message on every discovery config topic the
// same options announce, so that Home Assistant forgets the device.
#pragma once

#include "watch/mqtt_publisher.h"

#include <functional>
#include <string>

namespace watch {

// Connects to settings.url as a client of its own (no last will, a broker-made id), removes
// the configs in settings.retained and disconnects. 0 when the broker acknowledged every
// removal; 1 after saying on log why not; 2 for a CA file that can never verify the broker.
// Gives up after settings.connect_timeout, and as long again for the acknowledgements.
[[nodiscard]] int remove_ha_discovery(
    const MqttSettings& settings, const std::function<void(const std::string&)>& log);

} // namespace watch
