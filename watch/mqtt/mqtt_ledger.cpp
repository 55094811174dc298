// SPDX-License-Identifier: MIT
// The MQTT publisher's bookkeeping of records in flight.
#include "watch/mqtt_ledger.h"

using namespace core;

namespace watch {

MqttLedger::MqttLedger(MqttTopics topics, std::vector<MqttMessage> retained, std::size_t window)
    : topics_(std::move(topics))
    , retained_(std::move(retained))
    , window_(window < 1 ? 1 : window)
{
}

void MqttLedger::count_from(const RecordEntry& first) { (void)json_(first); }

bool MqttLedger::greet(MqttChannel& channel)
{
    greeting_.clear();
    greet_sent_ = false;
    failed_ = false;
    published_bits_ = -1;
    if (!send(channel, topics_.availability(), availability_online, true, nullptr, true))
        return false;
    for (const MqttMessage& message : retained_) {
        if (!send(channel, message.topic, message.payload, true, nullptr, true))
            return false;
    }
    if (baseline_) {
        if (!send(channel, topics_.state(), baseline_->json, true, nullptr, true)
            || !send_bits(channel, baseline_->entry.value, nullptr, true))
            return false;
    }
    greet_sent_ = true;
    for (Record& record : flight_)
        record.sent = false;
    for (Record& record : flight_) {
        if (!send_record(channel, record))
            return false;
    }
    return true;
}

std::size_t MqttLedger::room() const noexcept
{
    return flight_.size() >= window_ ? 0 : window_ - flight_.size();
}

bool MqttLedger::add(MqttChannel& channel, const RecordEntry& entry)
{
    flight_.push_back({ entry, json_(entry) });
    return !failed_ && send_record(channel, flight_.back());
}

bool MqttLedger::send_record(MqttChannel& channel, Record& record)
{
    record.sent = true;
    record.unacknowledged = 0;
    return send(channel, topics_.change(), record.json, false, &record)
        && send(channel, topics_.state(), record.json, true, &record)
        && send_bits(channel, record.entry.value, &record);
}

// The bits that differ from the ones last published, or all eight when none were.
bool MqttLedger::send_bits(MqttChannel& channel, std::uint8_t value, Record* record, bool greeting)
{
    const unsigned changed = published_bits_ < 0 ? 0xFFU : (unsigned(published_bits_) ^ value);
    for (int bit = 0; bit < 8; ++bit) {
        if (((changed >> bit) & 1U) == 0)
            continue;
        if (!send(channel, topics_.bit(bit), ((value >> bit) & 1) != 0 ? "ON" : "OFF", true, record,
                greeting))
            return false;
    }
    published_bits_ = value;
    return true;
}

bool MqttLedger::send(MqttChannel& channel, const std::string& topic, std::string_view payload,
    bool retain, Record* record, bool greeting)
{
    const std::optional<int> mid = channel.publish(topic, payload, retain);
    if (!mid) {
        failed_ = true;
        return false;
    }
    if (greeting)
        greeting_.insert(*mid);
    if (record != nullptr) {
        acknowledging_[*mid] = record;
        ++record->unacknowledged;
    }
    return true;
}

void MqttLedger::acknowledged(int mid)
{
    greeting_.erase(mid);
    const auto found = acknowledging_.find(mid);
    if (found == acknowledging_.end())
        return;
    --found->second->unacknowledged;
    acknowledging_.erase(found);
    // In record order: the baseline never skips a record the broker still lacks.
    while (!flight_.empty() && flight_.front().sent && flight_.front().unacknowledged == 0) {
        baseline_ = std::move(flight_.front());
        flight_.pop_front();
    }
}

void MqttLedger::disconnected()
{
    acknowledging_.clear();
    greeting_.clear();
    greet_sent_ = false;
    failed_ = false;
    for (Record& record : flight_) {
        record.sent = false;
        record.unacknowledged = 0;
    }
}

} // namespace watch
