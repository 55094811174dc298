// SPDX-License-Identifier: MIT
// One connect to the broker on a detached thread: getaddrinfo, then mosquitto_connect.
#include "mqtt_connect_attempt.h"

#include "core/unique_fd.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#include <mosquitto.h>

using namespace core;

namespace watch {

std::string mqtt_error_text(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

struct MqttConnectAttempt::Shared {
    std::mutex mutex;
    mosquitto* client = nullptr;
    bool abandoned = false;
    std::string reason; // empty: connected
    std::atomic<Stage> stage { Stage::Resolving };
    UniqueFd done { ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) };
};

namespace {

// Why the client cannot reach host:port, or nothing when it is connected. The lookup comes
// first on its own, so that the publisher can tell a name that does not resolve apart.
std::string connect_client(std::atomic<MqttConnectAttempt::Stage>& stage, mosquitto* client,
    const std::string& host, int port, int keepalive_s)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int looked_up = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (looked_up != 0) {
        return "its name does not resolve: "
            + std::string(
                looked_up == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(looked_up));
    }
    ::freeaddrinfo(found);
    stage = MqttConnectAttempt::Stage::Connecting;
    const int rc = mosquitto_connect(client, host.c_str(), port, keepalive_s);
    return rc == MOSQ_ERR_SUCCESS ? std::string() : mqtt_error_text(rc);
}

} // namespace

MqttConnectAttempt::MqttConnectAttempt(
    mosquitto* client, const std::string& host, int port, int keepalive_s)
    : shared_(std::make_shared<Shared>())
{
    shared_->client = client;
    if (!shared_->done) {
        const int error = errno;
        mosquitto_destroy(client);
        throw std::system_error(error, std::generic_category(), "eventfd");
    }
    try {
        std::thread([shared = shared_, host, port, keepalive_s]() noexcept {
            std::string reason;
            try {
                reason = connect_client(shared->stage, shared->client, host, port, keepalive_s);
            } catch (const std::exception& error) {
                reason = error.what();
            }
            const std::lock_guard lock(shared->mutex);
            shared->reason = std::move(reason);
            if (shared->abandoned) {
                mosquitto_destroy(shared->client);
                shared->client = nullptr;
            }
            shared->stage = Stage::Done;
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(shared->done.get(), &one, sizeof one);
        }).detach();
    } catch (...) {
        mosquitto_destroy(client);
        throw;
    }
}

MqttConnectAttempt::~MqttConnectAttempt()
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->stage == Stage::Done) {
        if (shared_->client != nullptr)
            mosquitto_destroy(shared_->client);
        shared_->client = nullptr;
    } else {
        shared_->abandoned = true;
    }
}

int MqttConnectAttempt::fd() const noexcept { return shared_->done.get(); }

MqttConnectAttempt::Stage MqttConnectAttempt::stage() const noexcept { return shared_->stage; }

mosquitto* MqttConnectAttempt::take(std::string& reason)
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->stage != Stage::Done)
        return nullptr;
    reason = shared_->reason;
    if (!reason.empty())
        return nullptr;
    return std::exchange(shared_->client, nullptr);
}

} // namespace watch
