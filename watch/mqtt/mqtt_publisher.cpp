// SPDX-License-Identifier: MIT
// The MQTT publisher's sending thread: when to connect and retry, what to say, how to end.
// The ledger keeps the records in flight, the transport the connection; this thread alone
// touches both, so the library's callbacks need no locking.
#include "watch/mqtt_publisher.h"

#include "core/unique_fd.h"
#include "mqtt_cafile.h"
#include "mqtt_transport.h"
#include "watch/mqtt_counts.h"
#include "watch/mqtt_ledger.h"
#include "watch/mqtt_topics.h"
#include "watch/record_queue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <mosquitto.h>

using namespace core;

namespace watch {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Records handed to the library and not yet acknowledged; each is up to ten messages. Fewer
// stall on the broker's delayed acknowledgements (8: 40 ms a window); more make each
// acknowledgement slower, as the library looks its message up in a list. 128 drained 12,000
// records a second to a Mosquitto on loopback.
constexpr std::size_t flight_window = 128;

// The goodbye after the drain: "offline" acknowledged, then our DISCONNECT out. Together with
// the drain they bound the end: at most drain_time + 1 s after stop().
constexpr milliseconds offline_wait { 500 };
constexpr milliseconds disconnect_wait { 500 };

// A lookup this slow is said on the log: the records wait for a name that does not resolve.
constexpr milliseconds lookup_notice { 2000 };

// CONNACK codes of MQTT 3.1.1 that no retry can mend: protocol version, client id, user
// name or password, authorisation. 3 (server unavailable) is worth another try.
bool login_refused(int connack)
{
    return connack == 1 || connack == 2 || connack == 4 || connack == 5;
}

std::string duration_text(milliseconds duration)
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

class MqttPublisher::Sender final : private MqttTransport::Events {
public:
    Sender(MqttSettings settings, Log log, std::function<void()> refused)
        : settings_(std::move(settings))
        , topics_(settings_.topic_prefix)
        , log_(std::move(log))
        , refused_callback_(std::move(refused))
        , queue_(settings_.queue_capacity)
        , ledger_(topics_, settings_.retained, flight_window)
        , counts_(topics_)
        , transport_(settings_, *this)
        , wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (!wake_fd_)
            throw std::runtime_error(
                "cannot set up the MQTT client: " + std::string(std::strerror(errno)));
        if (!settings_.password.empty() && settings_.url.user.empty())
            throw std::invalid_argument(
                "a password needs a user name in the URL (mqtt://USER@HOST)");
        if (!settings_.cafile.empty()) {
            if (const auto problem = mqtt_cafile_problem(settings_.cafile))
                throw std::invalid_argument(*problem);
        }
        retry_delay_ = settings_.first_retry;
        thread_ = std::thread([this] { run(); });
    }

    ~Sender() { stop(); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void publish(const RecordEntry& entry)
    {
        queue_.push(entry);
        wake();
    }

    void publish_counts(const MqttCounts::Totals& totals)
    {
        if (counts_.set(totals))
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

    void wake() noexcept
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_fd_.get(), &one, sizeof one);
    }

    std::string broker() const { return mqtt_broker_text(settings_.url); }

    void run()
    {
        std::optional<Clock::time_point> drain_deadline;
        while (!refused_) {
            const auto now = Clock::now();
            // Stopping, what waits still gets drain_time to go out, a connection included.
            if (stop_requested_) {
                if (!drain_deadline)
                    drain_deadline = now + settings_.drain_time;
                if ((ledger_.in_flight() == 0 && queue_.size() == 0) || now >= *drain_deadline)
                    break;
            }
            if (state_ == State::Idle && now >= next_attempt_)
                connect(now);
            if (state_ == State::Connecting)
                watch_attempt(now);
            transport_.wait(timeout(drain_deadline), wake_fd_.get());
            transport_.step();
            if (greeting_due_) {
                greeting_due_ = false;
                greet();
            }
            if (state_ == State::Connected) {
                send_waiting();
                if (state_ == State::Connected)
                    (void)counts_.send_changed(transport_, Clock::now(), false);
            }
            in_flight_ = ledger_.in_flight();
            report_dropped(false);
        }
        const State at_end = state_;
        if (state_ == State::Connected)
            say_goodbye();
        report_dropped(true);
        in_flight_ = ledger_.in_flight();
        if (const std::size_t left = ledger_.in_flight() + queue_.size(); left > 0 && !refused_)
            log_("MQTT: " + records_text(left) + " not acknowledged by " + broker()
                + end_reason(at_end));
        connected_ = false;
    }

    // Why what is left did not go out.
    std::string end_reason(State at_end) const
    {
        if (at_end == State::Connected)
            return " within " + duration_text(settings_.drain_time) + " of the stop";
        if (at_end == State::Connecting && transport_.resolving())
            return " (its name does not resolve yet)";
        return last_reason_.empty() ? std::string() : " (" + last_reason_ + ")";
    }

    int timeout(const std::optional<Clock::time_point>& drain_deadline) const
    {
        const auto now = Clock::now();
        // Rounded up: woken a little early, the loop would only wait again.
        const auto until = [now](Clock::time_point at) -> long long {
            return std::chrono::duration_cast<milliseconds>(at - now).count() + 1;
        };
        long long longest = 1000; // keepalive pings are due every keepalive_s
        if (state_ == State::Idle)
            longest = until(next_attempt_);
        // Short while something is under way: an attempt's lookup notice and deadline, a TLS
        // handshake or acknowledgements buffered inside the TLS layer.
        else if (state_ == State::Connecting || ledger_.in_flight() > 0 || transport_.busy())
            longest = 100;
        if (const auto due = counts_.next_due(); due && state_ == State::Connected)
            longest = std::min(longest, until(*due));
        if (drain_deadline)
            longest = std::min(longest, until(*drain_deadline));
        return static_cast<int>(std::clamp<long long>(longest, 0, 1000));
    }

    void connect(Clock::time_point now)
    {
        std::string reason;
        switch (transport_.begin(reason)) {
        case MqttTransport::Begun::Yes:
            state_ = State::Connecting;
            attempt_start_ = now;
            break;
        case MqttTransport::Begun::Busy:
            next_attempt_ = now + milliseconds(100);
            break;
        case MqttTransport::Begun::Failed:
            try_again_later(reason, false);
            break;
        }
    }

    // The lookup runs beside us: a resolver that never answers is said, and given up on
    // with the connect timeout, while polling and the stop go on.
    void watch_attempt(Clock::time_point now)
    {
        const bool resolving = transport_.resolving();
        if (resolving && !lookup_said_ && now - attempt_start_ >= lookup_notice
            && !stop_requested_) {
            log_("MQTT: the broker's name " + settings_.url.host
                + " does not resolve yet (no answer from the name server within "
                + duration_text(lookup_notice) + "); records wait meanwhile");
            lookup_said_ = true;
        }
        if (now - attempt_start_ >= settings_.connect_timeout)
            lost((resolving ? "its name did not resolve within " : "no answer within ")
                + duration_text(settings_.connect_timeout));
    }

    void on_lost(const std::string& reason) override { lost(reason); }

    void lost(const std::string& reason)
    {
        if (state_ == State::Idle)
            return;
        const bool was_connected = state_ == State::Connected;
        state_ = State::Idle;
        connected_ = false;
        greeting_due_ = false;
        carried_ = false;
        ledger_.disconnected();
        transport_.close();
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

    void on_connected() override
    {
        state_ = State::Connected;
        connected_ = true;
        greeting_due_ = true;
        lookup_said_ = false;
    }

    void on_refused(int connack) override
    {
        if (!login_refused(connack)) {
            lost(mosquitto_connack_string(connack));
            return;
        }
        {
            const std::lock_guard lock(refusal_mutex_);
            refusal_ = "the broker " + broker()
                + " refused the login: " + mosquitto_connack_string(connack);
        }
        refused_ = true;
        state_ = State::Idle;
        transport_.close();
        if (refused_callback_)
            refused_callback_();
    }

    // The backoff starts afresh only once a connection has carried what every connect
    // begins with: a broker that takes the login but drops what we publish is not hammered.
    void on_acknowledged(int mid) override
    {
        if (mid == goodbye_mid_)
            goodbye_acknowledged_ = true;
        ledger_.acknowledged(mid);
        if (!carried_ && ledger_.greeted()) {
            carried_ = true;
            retry_delay_ = settings_.first_retry;
        }
    }

    void greet()
    {
        const std::size_t waiting = ledger_.in_flight() + queue_.size();
        log_("MQTT: connected to " + broker()
            + (waiting > 0 ? "; " + records_text(waiting) + " waiting" : std::string()));
        last_reason_.clear();
        report_dropped(true);
        // A failure is reported through lost(); the records wait for the next connect.
        if (ledger_.greet(transport_))
            (void)counts_.greet(transport_, Clock::now());
    }

    void send_waiting()
    {
        while (state_ == State::Connected && ledger_.room() > 0) {
            batch_.clear();
            queue_.take(batch_, ledger_.room());
            if (batch_.empty())
                return;
            if (!counting_) {
                // The queue may have dropped the first record: elapsed_us still counts from it.
                ledger_.count_from(queue_.first().value_or(batch_.front()));
                counting_ = true;
            }
            // Every one enters the ledger, also after a failure: none is lost.
            for (const RecordEntry& entry : batch_)
                (void)ledger_.add(transport_, entry);
        }
    }

    void say_goodbye()
    {
        goodbye_acknowledged_ = false;
        (void)counts_.send_changed(transport_, Clock::now(), true);
        const auto mid = transport_.publish(topics_.availability(), availability_offline, true);
        if (mid) {
            goodbye_mid_ = *mid;
            pump_while([this] { return state_ == State::Connected && !goodbye_acknowledged_; },
                offline_wait);
        }
        // A clean DISCONNECT: the broker then keeps the last will to itself.
        if (state_ == State::Connected)
            transport_.disconnect();
        pump_while([this] { return transport_.open(); }, disconnect_wait);
        state_ = State::Idle;
    }

    template <typename Condition> void pump_while(Condition&& condition, milliseconds longest)
    {
        const auto deadline = Clock::now() + longest;
        while (condition()) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return;
            transport_.wait(
                static_cast<int>(std::min<long long>(left.count(), 100)), wake_fd_.get());
            transport_.step();
        }
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

    MqttSettings settings_;
    MqttTopics topics_;
    Log log_;
    std::function<void()> refused_callback_;
    RecordQueue queue_;
    MqttLedger ledger_;
    MqttCounts counts_;
    MqttTransport transport_;
    UniqueFd wake_fd_;
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
    bool carried_ = false; // this connection's greeting was acknowledged
    bool lookup_said_ = false;
    bool counting_ = false; // the ledger knows the first record
    Clock::time_point next_attempt_ {};
    Clock::time_point attempt_start_ {};
    milliseconds retry_delay_ {};
    std::string last_reason_;
    std::vector<RecordEntry> batch_;
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
void MqttPublisher::publish_counts(const std::array<std::uint64_t, 8>& totals)
{
    sender_->publish_counts(totals);
}
void MqttPublisher::stop() { sender_->stop(); }
std::optional<std::string> MqttPublisher::refusal() const { return sender_->refusal(); }
bool MqttPublisher::connected() const noexcept { return sender_->connected(); }
std::size_t MqttPublisher::waiting() const noexcept { return sender_->waiting(); }
std::uint64_t MqttPublisher::dropped() const noexcept { return sender_->dropped(); }

} // namespace watch
