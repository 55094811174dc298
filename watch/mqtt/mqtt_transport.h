// SPDX-License-Identifier: MIT
// The MQTT publisher's connection over libmosquitto, in a loop of our own as the library's
// header describes it: mosquitto_connect() (on a thread of its own, see MqttConnectAttempt),
// then mosquitto_loop_read, _loop_write and _loop_misc on the socket. It keeps no messages:
// what was not acknowledged is the ledger's to send again.
#pragma once

#include "watch/mqtt_ledger.h"
#include "watch/mqtt_publisher.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct mosquitto;

namespace watch {

class MqttConnectAttempt;

class MqttTransport final : public MqttChannel {
public:
    // What the connection reports, always from step() or publish() on the caller's thread.
    class Events {
    public:
        virtual void on_connected() = 0;
        virtual void on_refused(int connack) = 0; // a CONNACK other than 0
        virtual void on_lost(const std::string& reason) = 0; // also a failed attempt
        virtual void on_acknowledged(int mid) = 0;

    protected:
        ~Events() = default;
    };

    enum class Begun { Yes, Busy, Failed };

    MqttTransport(const MqttSettings& settings, Events& events);
    ~MqttTransport() override;
    MqttTransport(const MqttTransport&) = delete;
    MqttTransport& operator=(const MqttTransport&) = delete;

    // Starts a connect in the background. Busy while an attempt given up on still waits in
    // its calls: a late connect of ours must never take over the session of the next one.
    [[nodiscard]] Begun begin(std::string& reason);
    // Whether the attempt under way still waits for the broker's name to resolve.
    [[nodiscard]] bool resolving() const noexcept;
    // Drops the attempt or the connection at once, without a word to the broker. Safe inside
    // an event: the client goes at the next step() or begin().
    void close() noexcept;
    // Sends DISCONNECT; the socket closes once it is out.
    void disconnect() noexcept;
    // Whether a connection's socket is open.
    [[nodiscard]] bool open() const noexcept;
    // Whether the socket needs looking at more often than the keepalive: data to write, a
    // TLS layer that may hold what it read.
    [[nodiscard]] bool busy() const noexcept;

    // Waits up to timeout_ms for the socket, the attempt or wake_fd (which it then empties).
    void wait(int timeout_ms, int wake_fd);
    // Takes over a finished attempt, then one pass of reading, writing and housekeeping.
    void step();

    [[nodiscard]] std::optional<int> publish(
        const std::string& topic, std::string_view payload, bool retain) override;

private:
    void release() noexcept;
    void report_loss(int rc);
    static MqttTransport& of(void* object) { return *static_cast<MqttTransport*>(object); }
    static void on_connect(mosquitto*, void* object, int connack);
    static void on_disconnect(mosquitto*, void* object, int rc);
    static void on_publish(mosquitto*, void* object, int mid);

    const MqttSettings& settings_;
    Events& events_;
    std::string will_topic_;
    mosquitto* client_ = nullptr;
    bool discarded_ = false; // closed: client_ goes at the next chance
    bool readable_ = false;
    std::unique_ptr<MqttConnectAttempt> attempt_;
    std::unique_ptr<MqttConnectAttempt> left_behind_; // given up on, its calls still running
};

} // namespace watch
