// SPDX-License-Identifier: MIT
// One connect to the broker on a thread of its own. The name's lookup and mosquitto_connect()
// block (a resolver that never answers, a broker behind a firewall that drops), and neither may
// hold the publisher's thread: an attempt given up on is left behind and frees its client when
// its calls return.
#pragma once

#include <memory>
#include <string>

struct mosquitto;

namespace watch {

// A libmosquitto result as a reason to show: MOSQ_ERR_ERRNO as errno's text, read at once.
[[nodiscard]] std::string mqtt_error_text(int rc);

class MqttConnectAttempt {
public:
    enum class Stage { Resolving, Connecting, Done };

    // Takes client (set up, not connected): it is destroyed here when the thread cannot start
    // (std::system_error).
    MqttConnectAttempt(mosquitto* client, const std::string& host, int port, int keepalive_s);
    // Not taken by then, the client is destroyed now or, while the calls still run, after them.
    ~MqttConnectAttempt();
    MqttConnectAttempt(const MqttConnectAttempt&) = delete;
    MqttConnectAttempt& operator=(const MqttConnectAttempt&) = delete;

    // Readable once the stage is Done; for poll().
    [[nodiscard]] int fd() const noexcept;
    [[nodiscard]] Stage stage() const noexcept;
    // Once Done: the connected client, now the caller's, or nullptr and why it failed.
    [[nodiscard]] mosquitto* take(std::string& reason);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace watch
