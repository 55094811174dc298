// SPDX-License-Identifier: MIT
// The pulse counters' totals as retained MQTT messages.
#include "watch/mqtt_counts.h"

#include <string>

namespace watch {

namespace {

// A counter that runs at every poll would otherwise send a message per poll.
constexpr std::chrono::seconds least_between { 1 };

} // namespace

MqttCounts::MqttCounts(MqttTopics topics)
    : topics_(std::move(topics))
{
}

bool MqttCounts::set(const Totals& totals)
{
    const std::lock_guard lock(mutex_);
    if (totals_ == totals)
        return false;
    totals_ = totals;
    return true;
}

std::optional<MqttCounts::Totals> MqttCounts::totals() const
{
    const std::lock_guard lock(mutex_);
    return totals_;
}

bool MqttCounts::greet(MqttChannel& channel, Clock::time_point now)
{
    sent_ = {};
    return send_changed(channel, now, true);
}

bool MqttCounts::send_changed(MqttChannel& channel, Clock::time_point now, bool ending)
{
    const std::optional<Totals> totals = this->totals();
    if (!totals)
        return true;
    for (int bit = 0; bit < 8; ++bit) {
        const std::uint64_t total = (*totals)[bit];
        if (sent_[bit] == total || (!ending && sent_[bit] && now - sent_at_[bit] < least_between))
            continue;
        if (!channel.publish(topics_.count(bit), std::to_string(total), true))
            return false;
        sent_[bit] = total;
        sent_at_[bit] = now;
    }
    return true;
}

std::optional<MqttCounts::Clock::time_point> MqttCounts::next_due() const
{
    const std::optional<Totals> totals = this->totals();
    std::optional<Clock::time_point> due;
    for (int bit = 0; totals && bit < 8; ++bit) {
        if (sent_[bit] == (*totals)[bit])
            continue;
        const Clock::time_point at
            = sent_[bit] ? sent_at_[bit] + least_between : Clock::time_point {};
        due = due ? std::min(*due, at) : at;
    }
    return due;
}

} // namespace watch
