// SPDX-License-Identifier: MIT
// The MQTT publisher's sending thread over libmosquitto, driven by our own loop: it alone
// touches the mosquitto handle, so the library's callbacks need no locking.
#include "mqtt_publisher.h"

#include "mqtt_topics.h"
#include "record_json.h"
#include "record_queue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

#include <mosquitto.h>

namespace {

using Clock = std::chrono::steady_clock;

// Records handed to the library and not yet acknowledged; each is up to ten messages. Fewer
// stall on the broker's delayed acknowledgements (8: 40 ms a window); more make each
// acknowledgement slower, as the library looks its message up in a list. 128 drained 12,000
// records a second to a Mosquitto on loopback.
constexpr std::size_t flight_window = 128;

std::once_flag library_initialised;

std::string describe(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

// CONNACK codes of MQTT 3.1.1 that no retry can mend: protocol version, client id, user
// name or password, authorisation. 3 (server unavailable) is worth another try.
bool login_refused(int connack)
{
    return connack == 1 || connack == 2 || connack == 4 || connack == 5;
}

// Why path is not a regular file we may read, or nothing. Opened without waiting: a FIFO would
// otherwise hold us until a writer came, with the stop signals already blocked.
std::optional<std::string> unreadable_file(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1)
        return std::strerror(errno);
    struct stat status { };
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    if (!regular)
        return "not a regular file";
    return std::nullopt;
}

std::string duration_text(std::chrono::milliseconds duration)
{
    if (duration.count() % 1000 == 0)
        return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

std::string records_text(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

} // namespace

class MqttPublisher::Sender {
public:
    Sender(MqttSettings settings, Log log, std::function<void()> refused)
        : settings_(std::move(settings))
        , topics_(settings_.topic_prefix)
        , log_(std::move(log))
        , refused_callback_(std::move(refused))
        , queue_(settings_.queue_capacity)
    {
        if (!settings_.password.empty() && settings_.url.user.empty())
            throw std::invalid_argument(
                "a password needs a user name in the URL (mqtt://USER@HOST)");
        if (!settings_.cafile.empty()) {
            if (const auto problem = unreadable_file(settings_.cafile))
                throw std::invalid_argument(
                    "cannot read the CA file " + settings_.cafile + ": " + *problem);
        }
        std::call_once(library_initialised, [] { mosquitto_lib_init(); });
        mosq_ = mosquitto_new(
            settings_.client_id.empty() ? nullptr : settings_.client_id.c_str(), true, this);
        wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (mosq_ == nullptr || wake_fd_ < 0) {
            const std::string why = std::strerror(errno);
            release();
            throw std::runtime_error("cannot set up the MQTT client: " + why);
        }
        retry_delay_ = settings_.first_retry;
        thread_ = std::thread([this] { run(); });
    }

    ~Sender()
    {
        stop();
        release();
    }

    void publish(const RecordEntry& entry)
    {
        queue_.push(entry);
        wake();
    }

    void stop()
    {
        stop_requested_ = true;
        wake();
        if (thread_.joinable())
            thread_.join();
    }

    std::optional<std::string> refusal() const
    {
        if (!refused_)
            return std::nullopt;
        const std::lock_guard lock(refusal_mutex_);
        return refusal_;
    }

    bool connected() const noexcept { return connected_; }
    std::size_t waiting() const noexcept { return queue_.size() + in_flight_; }
    std::uint64_t dropped() const noexcept { return queue_.dropped(); }

private:
    enum class State { Idle, Connecting, Connected };

    struct Record {
        RecordEntry entry;
        std::string json;
        bool sent = false;
        int unacknowledged = 0;
    };

    void release() noexcept
    {
        if (mosq_ != nullptr)
            mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        if (wake_fd_ >= 0)
            ::close(wake_fd_);
        wake_fd_ = -1;
    }

    void wake() noexcept
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_fd_, &one, sizeof one);
    }

    std::string broker() const
    {
        const std::string& host = settings_.url.host;
        const bool ipv6 = host.find(':') != std::string::npos;
        return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(settings_.url.port);
    }

    void run()
    {
        std::optional<Clock::time_point> drain_deadline;
        while (!refused_) {
            const auto now = Clock::now();
            // Stopping, what waits still gets drain_time to go out, a connection included.
            if (stop_requested_) {
                if (!drain_deadline)
                    drain_deadline = now + settings_.drain_time;
                if ((flight_.empty() && queue_.size() == 0) || now >= *drain_deadline)
                    break;
            }
            if (state_ == State::Idle && now >= next_attempt_)
                connect();
            if (state_ == State::Connecting && now >= connect_deadline_)
                lost("no answer within " + std::to_string(settings_.connect_timeout.count() / 1000)
                    + " s");
            wait(timeout());
            step();
            report_dropped(false);
        }
        if (state_ == State::Connected)
            say_goodbye();
        report_dropped(true);
        in_flight_ = flight_.size();
        if (const std::size_t left = flight_.size() + queue_.size(); left > 0 && !refused_)
            log_("MQTT: " + records_text(left) + " not acknowledged by " + broker()
                + (last_reason_.empty() ? std::string() : " (" + last_reason_ + ")"));
        connected_ = false;
    }

    // One pass of the library's loop, then whatever the pass made possible.
    void step()
    {
        if (state_ == State::Idle)
            return;
        const int rc = mosquitto_loop(mosq_, 0, 1);
        if (rc != MOSQ_ERR_SUCCESS && !refused_)
            lost(describe(rc));
        if (greeting_due_) {
            greeting_due_ = false;
            greet();
        }
        if (state_ == State::Connected)
            send_waiting();
        in_flight_ = flight_.size();
    }

    int timeout() const
    {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        if (state_ == State::Idle) {
            const auto left = duration_cast<milliseconds>(next_attempt_ - Clock::now()).count();
            return static_cast<int>(std::clamp<long long>(left, 0, 1000));
        }
        // Short while something is under way: a TLS handshake or acknowledgements buffered
        // inside the TLS layer do not always make the socket readable.
        if (state_ == State::Connecting || !flight_.empty() || mosquitto_want_write(mosq_))
            return 100;
        return 1000; // keepalive pings are due every keepalive_s
    }

    void wait(int timeout_ms)
    {
        pollfd fds[2] = { { wake_fd_, POLLIN, 0 }, { -1, 0, 0 } };
        if (state_ != State::Idle) {
            fds[1].fd = mosquitto_socket(mosq_);
            fds[1].events
                = static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0));
        }
        if (::poll(fds, 2, timeout_ms) > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = ::read(wake_fd_, &count, sizeof count);
        }
    }

    // A fresh handle for every attempt: the library keeps no messages of its own across
    // connections, so retransmission is ours alone: what the broker has not acknowledged
    // goes out again after a reconnect, and nothing else.
    void connect()
    {
        mosquitto_reinitialise(
            mosq_, settings_.client_id.empty() ? nullptr : settings_.client_id.c_str(), true, this);
        mosquitto_connect_callback_set(mosq_, &Sender::on_connect);
        mosquitto_disconnect_callback_set(mosq_, &Sender::on_disconnect);
        mosquitto_publish_callback_set(mosq_, &Sender::on_publish);
        mosquitto_int_option(mosq_, MOSQ_OPT_SEND_MAXIMUM, 65535);
        // A change goes out at once, not after the previous packet's acknowledgement.
        mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
        const std::string availability = topics_.availability();
        int rc = mosquitto_will_set(mosq_, availability.c_str(), 7, "offline", 1, true);
        if (rc == MOSQ_ERR_SUCCESS && !settings_.url.user.empty())
            rc = mosquitto_username_pw_set(mosq_, settings_.url.user.c_str(),
                settings_.password.empty() ? nullptr : settings_.password.c_str());
        if (rc == MOSQ_ERR_SUCCESS && settings_.url.tls) {
            rc = settings_.cafile.empty()
                ? mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                : mosquitto_tls_set(
                    mosq_, settings_.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_connect_async(
                mosq_, settings_.url.host.c_str(), settings_.url.port, settings_.keepalive_s);
        if (rc != MOSQ_ERR_SUCCESS) {
            try_again_later(describe(rc), false);
            return;
        }
        state_ = State::Connecting;
        connect_deadline_ = Clock::now() + settings_.connect_timeout;
    }

    void lost(const std::string& reason)
    {
        if (state_ == State::Idle)
            return;
        const bool was_connected = state_ == State::Connected;
        state_ = State::Idle;
        connected_ = false;
        greeting_due_ = false;
        try_again_later(reason, was_connected);
    }

    // Said once per loss, and once per new reason while trying: a broker away for a day does
    // not fill the journal.
    void try_again_later(const std::string& reason, bool was_connected)
    {
        next_attempt_ = Clock::now() + retry_delay_;
        if (!stop_requested_ && (was_connected || reason != last_reason_)) {
            log_("MQTT: "
                + std::string(was_connected ? "lost the connection to " : "cannot connect to ")
                + broker() + " (" + reason + "); trying again in " + duration_text(retry_delay_)
                + ", records wait meanwhile");
        }
        last_reason_ = reason;
        retry_delay_ = std::min(retry_delay_ * 2, settings_.last_retry);
    }

    // What every connect publishes before the records: the retained topics, as they stood
    // with the last record the broker acknowledged, then the records it has not.
    void greet()
    {
        log_("MQTT: connected to " + broker()
            + (flight_.size() + queue_.size() > 0
                    ? "; " + records_text(flight_.size() + queue_.size()) + " waiting"
                    : std::string()));
        last_reason_.clear();
        retry_delay_ = settings_.first_retry;
        acknowledging_.clear();
        report_dropped(true);
        if (!send(topics_.availability(), "online", true, nullptr))
            return;
        for (const MqttMessage& message : settings_.retained) {
            if (!send(message.topic, message.payload, true, nullptr))
                return;
        }
        published_bits_ = -1;
        if (baseline_) {
            if (!send(topics_.state(), baseline_->json, true, nullptr)
                || !send_bits(baseline_->entry.value, nullptr))
                return;
        }
        for (Record& record : flight_)
            record.sent = false;
        for (Record& record : flight_) {
            if (!send_record(record))
                return;
        }
    }

    void send_waiting()
    {
        std::vector<RecordEntry> batch;
        while (state_ == State::Connected && flight_.size() < flight_window) {
            batch.clear();
            queue_.take(batch, flight_window - flight_.size());
            if (batch.empty())
                return;
            const std::size_t first = flight_.size();
            for (const RecordEntry& entry : batch)
                flight_.push_back({ entry, json_(entry) });
            for (std::size_t i = first; i < flight_.size(); ++i) {
                if (!send_record(flight_[i]))
                    return;
            }
        }
    }

    bool send_record(Record& record)
    {
        record.sent = true;
        record.unacknowledged = 0;
        return send(topics_.change(), record.json, false, &record)
            && send(topics_.state(), record.json, true, &record)
            && send_bits(record.entry.value, &record);
    }

    // The bits that differ from the ones last published, or all eight after a connect.
    bool send_bits(std::uint8_t value, Record* record)
    {
        const unsigned changed = published_bits_ < 0 ? 0xFFU : (unsigned(published_bits_) ^ value);
        for (int bit = 0; bit < 8; ++bit) {
            if (((changed >> bit) & 1U) == 0)
                continue;
            if (!send(topics_.bit(bit), ((value >> bit) & 1) != 0 ? "ON" : "OFF", true, record))
                return false;
        }
        published_bits_ = value;
        return true;
    }

    // QoS 1 throughout. A record's message is tracked until the broker acknowledges it.
    bool send(const std::string& topic, const std::string& payload, bool retain, Record* record)
    {
        int mid = 0;
        const int rc = mosquitto_publish(mosq_, &mid, topic.c_str(),
            static_cast<int>(payload.size()), payload.data(), 1, retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            lost(describe(rc));
            return false;
        }
        if (record != nullptr) {
            acknowledging_[mid] = record;
            ++record->unacknowledged;
        }
        return true;
    }

    void acknowledged(int mid)
    {
        if (mid == goodbye_mid_)
            goodbye_acknowledged_ = true;
        const auto found = acknowledging_.find(mid);
        if (found == acknowledging_.end())
            return;
        --found->second->unacknowledged;
        acknowledging_.erase(found);
        while (!flight_.empty() && flight_.front().sent && flight_.front().unacknowledged == 0) {
            baseline_ = std::move(flight_.front());
            flight_.pop_front();
        }
    }

    void say_goodbye()
    {
        goodbye_acknowledged_ = false;
        if (mosquitto_publish(
                mosq_, &goodbye_mid_, topics_.availability().c_str(), 7, "offline", 1, true)
            == MOSQ_ERR_SUCCESS) {
            const auto deadline = Clock::now() + std::chrono::seconds(2);
            while (
                state_ == State::Connected && !goodbye_acknowledged_ && Clock::now() < deadline) {
                wait(100);
                if (mosquitto_loop(mosq_, 0, 1) != MOSQ_ERR_SUCCESS)
                    break;
            }
        }
        // A clean DISCONNECT: the broker then keeps the last will to itself.
        if (state_ == State::Connected)
            mosquitto_disconnect(mosq_);
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (mosquitto_socket(mosq_) >= 0 && Clock::now() < deadline) {
            wait(100);
            if (mosquitto_loop(mosq_, 0, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        state_ = State::Idle;
    }

    void report_dropped(bool now)
    {
        const std::uint64_t dropped = queue_.dropped();
        if (dropped == reported_dropped_)
            return;
        if (!now && Clock::now() - last_drop_report_ < std::chrono::seconds(10))
            return;
        log_("MQTT: the queue of " + std::to_string(settings_.queue_capacity)
            + " records was full: " + std::to_string(dropped - reported_dropped_)
            + " oldest records dropped (" + std::to_string(dropped) + " since the start)");
        reported_dropped_ = dropped;
        last_drop_report_ = Clock::now();
    }

    static Sender& of(void* object) { return *static_cast<Sender*>(object); }

    static void on_connect(mosquitto*, void* object, int connack)
    {
        Sender& self = of(object);
        if (connack == 0) {
            self.state_ = State::Connected;
            self.connected_ = true;
            self.greeting_due_ = true;
        } else if (login_refused(connack)) {
            {
                const std::lock_guard lock(self.refusal_mutex_);
                self.refusal_ = "the broker " + self.broker()
                    + " refused the login: " + mosquitto_connack_string(connack);
            }
            self.refused_ = true;
            self.state_ = State::Idle;
            if (self.refused_callback_)
                self.refused_callback_();
        } else {
            self.lost(mosquitto_connack_string(connack));
        }
    }

    static void on_disconnect(mosquitto*, void* object, int rc)
    {
        Sender& self = of(object);
        self.lost(rc == 0 ? "disconnected" : describe(rc));
    }

    static void on_publish(mosquitto*, void* object, int mid) { of(object).acknowledged(mid); }

    MqttSettings settings_;
    MqttTopics topics_;
    Log log_;
    std::function<void()> refused_callback_;
    RecordQueue queue_;
    RecordJson json_;
    mosquitto* mosq_ = nullptr;
    int wake_fd_ = -1;
    std::thread thread_;

    std::atomic<bool> stop_requested_ { false };
    std::atomic<bool> connected_ { false };
    std::atomic<bool> refused_ { false };
    std::atomic<std::size_t> in_flight_ { 0 };
    mutable std::mutex refusal_mutex_;
    std::string refusal_;

    // The sending thread's own.
    State state_ = State::Idle;
    bool greeting_due_ = false;
    Clock::time_point next_attempt_ {};
    Clock::time_point connect_deadline_ {};
    std::chrono::milliseconds retry_delay_ {};
    std::string last_reason_;
    std::deque<Record> flight_;
    std::unordered_map<int, Record*> acknowledging_;
    std::optional<Record> baseline_; // the last record the broker acknowledged in full
    int published_bits_ = -1; // none yet in this connection
    int goodbye_mid_ = -1;
    bool goodbye_acknowledged_ = false;
    std::uint64_t reported_dropped_ = 0;
    Clock::time_point last_drop_report_ {};
};

MqttPublisher::MqttPublisher(MqttSettings settings, Log log, std::function<void()> refused)
    : sender_(std::make_unique<Sender>(std::move(settings), std::move(log), std::move(refused)))
{
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::publish(const RecordEntry& entry) { sender_->publish(entry); }
void MqttPublisher::stop() { sender_->stop(); }
std::optional<std::string> MqttPublisher::refusal() const { return sender_->refusal(); }
bool MqttPublisher::connected() const noexcept { return sender_->connected(); }
std::size_t MqttPublisher::waiting() const noexcept { return sender_->waiting(); }
std::uint64_t MqttPublisher::dropped() const noexcept { return sender_->dropped(); }
