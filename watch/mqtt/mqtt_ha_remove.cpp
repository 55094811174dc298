// SPDX-License-Identifier: MIT
// movanta-watch --ha-remove over the publisher's transport.
#include "watch/mqtt_ha_remove.h"

#include "mqtt_cafile.h"
#include "mqtt_transport.h"

#include <chrono>
#include <set>

#include <mosquitto.h>

namespace watch {

namespace {

using Clock = std::chrono::steady_clock;

class Removal final : public MqttTransport::Events {
public:
    void on_connected() override { connected = true; }
    void on_refused(int connack) override { failure = mosquitto_connack_string(connack); }
    void on_lost(const std::string& reason) override { failure = reason; }
    void on_acknowledged(int mid) override { waiting.erase(mid); }

    bool connected = false;
    std::string failure; // empty: none
    std::set<int> waiting; // message ids not yet acknowledged
};

} // namespace

int remove_ha_discovery(
    const MqttSettings& settings, const std::function<void(const std::string&)>& log)
{
    if (!settings.cafile.empty()) {
        if (const auto problem = mqtt_cafile_problem(settings.cafile)) {
            log(*problem);
            return 2;
        }
    }
    MqttSettings own = settings;
    own.client_id.clear(); // a watcher of the same prefix keeps its connection
    own.last_will = false;
    const std::string broker = mqtt_broker_text(own.url);
    Removal removal;
    MqttTransport transport(own, removal);
    const auto pump_until = [&](auto&& done) {
        const auto deadline = Clock::now() + own.connect_timeout;
        while (!done() && removal.failure.empty() && Clock::now() < deadline) {
            transport.wait(100, -1);
            transport.step();
        }
        return done();
    };
    std::string reason;
    if (transport.begin(reason) != MqttTransport::Begun::Yes) {
        log("MQTT: cannot connect to " + broker + " (" + reason + ")");
        return 1;
    }
    if (!pump_until([&] { return removal.connected; })) {
        const std::string why = removal.failure.empty()
            ? "no answer within " + std::to_string(own.connect_timeout.count() / 1000) + " s"
            : removal.failure;
        log("MQTT: cannot connect to " + broker + " (" + why + ")");
        return 1;
    }
    bool all_sent = true;
    for (const MqttMessage& message : own.retained) {
        const auto mid = transport.publish(message.topic, {}, true);
        all_sent = all_sent && mid;
        if (mid)
            removal.waiting.insert(*mid);
    }
    const bool removed = pump_until([&] { return removal.waiting.empty(); }) && all_sent;
    transport.disconnect();
    pump_until([&] { return !transport.open(); });
    if (!removed) {
        log("MQTT: " + broker + " did not acknowledge the removal of "
            + std::to_string(removal.waiting.size()) + " of " + std::to_string(own.retained.size())
            + " discovery configs"
            + (removal.failure.empty() ? std::string() : " (" + removal.failure + ")"));
        return 1;
    }
    log("MQTT: removed " + std::to_string(own.retained.size()) + " discovery configs from "
        + broker);
    return 0;
}

} // namespace watch
