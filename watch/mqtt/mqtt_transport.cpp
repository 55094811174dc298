// SPDX-License-Identifier: MIT
// The MQTT publisher's connection: one libmosquitto client per connect, driven by our loop.
#include "mqtt_transport.h"

#include "mqtt_connect_attempt.h"
#include "watch/mqtt_topics.h"

#include <cstdint>
#include <mutex>
#include <poll.h>
#include <unistd.h>

#include <mosquitto.h>

namespace watch {

namespace {

std::once_flag library_initialised;

// The reason of a lost connection, said once (mosquitto_strerror's "The connection was
// lost." would repeat the line it goes in).
std::string loss_reason(int rc)
{
    switch (rc) {
    case MOSQ_ERR_CONN_LOST:
        return "closed by the broker or the network";
    case MOSQ_ERR_KEEPALIVE:
        return "the broker stopped answering";
    default:
        return mqtt_error_text(rc);
    }
}

} // namespace

MqttTransport::MqttTransport(const MqttSettings& settings, Events& events)
    : settings_(settings)
    , events_(events)
    , will_topic_(MqttTopics(settings.topic_prefix).availability())
{
    std::call_once(library_initialised, [] { mosquitto_lib_init(); });
}

MqttTransport::~MqttTransport() { release(); }

void MqttTransport::release() noexcept
{
    if (client_ != nullptr)
        mosquitto_destroy(client_);
    client_ = nullptr;
    discarded_ = false;
    readable_ = false;
}

MqttTransport::Begun MqttTransport::begin(std::string& reason)
{
    if (discarded_)
        release();
    if (left_behind_) {
        if (left_behind_->stage() != MqttConnectAttempt::Stage::Done)
            return Begun::Busy;
        left_behind_.reset();
    }
    release();
    attempt_.reset();
    const std::string& id = settings_.client_id;
    mosquitto* client = mosquitto_new(id.empty() ? nullptr : id.c_str(), true, this);
    if (client == nullptr) {
        reason = mqtt_error_text(MOSQ_ERR_ERRNO);
        return Begun::Failed;
    }
    mosquitto_int_option(client, MOSQ_OPT_SEND_MAXIMUM, 65535);
    // A change goes out at once, not after the previous packet's acknowledgement.
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    int rc = settings_.last_will
        ? mosquitto_will_set(client, will_topic_.c_str(),
            static_cast<int>(availability_offline.size()), availability_offline.data(), 1, true)
        : MOSQ_ERR_SUCCESS;
    if (rc == MOSQ_ERR_SUCCESS && !settings_.url.user.empty())
        rc = mosquitto_username_pw_set(client, settings_.url.user.c_str(),
            settings_.password.empty() ? nullptr : settings_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && settings_.url.tls) {
        rc = settings_.cafile.empty() ? mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                      : mosquitto_tls_set(client, settings_.cafile.c_str(), nullptr,
                                          nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = mqtt_error_text(rc);
        mosquitto_destroy(client);
        return Begun::Failed;
    }
    try {
        attempt_ = std::make_unique<MqttConnectAttempt>(
            client, settings_.url.host, settings_.url.port, settings_.keepalive_s);
    } catch (const std::exception& error) {
        reason = error.what();
        return Begun::Failed;
    }
    return Begun::Yes;
}

bool MqttTransport::resolving() const noexcept
{
    return attempt_ && attempt_->stage() == MqttConnectAttempt::Stage::Resolving;
}

void MqttTransport::close() noexcept
{
    if (attempt_) {
        if (attempt_->stage() != MqttConnectAttempt::Stage::Done)
            left_behind_ = std::move(attempt_);
        attempt_.reset();
    }
    discarded_ = client_ != nullptr;
}

void MqttTransport::disconnect() noexcept
{
    if (open())
        mosquitto_disconnect(client_);
}

bool MqttTransport::open() const noexcept
{
    return client_ != nullptr && !discarded_ && mosquitto_socket(client_) >= 0;
}

bool MqttTransport::busy() const noexcept
{
    return open() && (settings_.url.tls || mosquitto_want_write(client_));
}

void MqttTransport::wait(int timeout_ms, int wake_fd)
{
    pollfd fds[2] = { { wake_fd, POLLIN, 0 }, { -1, 0, 0 } };
    if (attempt_) {
        fds[1] = { attempt_->fd(), POLLIN, 0 };
    } else if (open()) {
        fds[1] = { mosquitto_socket(client_),
            static_cast<short>(POLLIN | (mosquitto_want_write(client_) ? POLLOUT : 0)), 0 };
    }
    readable_ = false;
    if (::poll(fds, 2, timeout_ms) <= 0)
        return;
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(wake_fd, &count, sizeof count);
    }
    readable_ = !attempt_ && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

void MqttTransport::step()
{
    if (discarded_)
        release();
    if (attempt_ && attempt_->stage() == MqttConnectAttempt::Stage::Done) {
        std::string reason;
        client_ = attempt_->take(reason);
        attempt_.reset();
        if (client_ == nullptr) {
            events_.on_lost(reason);
            return;
        }
        mosquitto_connect_callback_set(client_, &MqttTransport::on_connect);
        mosquitto_disconnect_callback_set(client_, &MqttTransport::on_disconnect);
        mosquitto_publish_callback_set(client_, &MqttTransport::on_publish);
        readable_ = true;
    }
    if (!open())
        return;
    // TLS may hold bytes it has read already, with nothing left on the socket to wake us.
    int rc = readable_ || settings_.url.tls ? mosquitto_loop_read(client_, 1) : MOSQ_ERR_SUCCESS;
    if (rc == MOSQ_ERR_SUCCESS && open() && mosquitto_want_write(client_))
        rc = mosquitto_loop_write(client_, 1);
    if (rc == MOSQ_ERR_SUCCESS && open())
        rc = mosquitto_loop_misc(client_);
    // on_disconnect has said it already when it closed us (discarded_). A TLS handshake the
    // connect left to our loop closes the socket on failure without on_disconnect: its
    // MOSQ_ERR_TLS comes with the socket gone and is said here.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && client_ != nullptr && !discarded_)
        report_loss(rc);
}

std::optional<int> MqttTransport::publish(
    const std::string& topic, std::string_view payload, bool retain)
{
    if (!open())
        return std::nullopt;
    int mid = 0;
    const int rc = mosquitto_publish(
        client_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        report_loss(rc);
        return std::nullopt;
    }
    return mid;
}

void MqttTransport::report_loss(int rc)
{
    const std::string reason = loss_reason(rc);
    close();
    events_.on_lost(reason);
}

void MqttTransport::on_connect(mosquitto*, void* object, int connack)
{
    MqttTransport& self = of(object);
    if (connack == 0)
        self.events_.on_connected();
    else
        self.events_.on_refused(connack);
}

// rc 0 follows our own DISCONNECT: no loss to report.
void MqttTransport::on_disconnect(mosquitto*, void* object, int rc)
{
    if (rc != MOSQ_ERR_SUCCESS)
        of(object).report_loss(rc);
}

void MqttTransport::on_publish(mosquitto*, void* object, int mid)
{
    of(object).events_.on_acknowledged(mid);
}

} // namespace watch
