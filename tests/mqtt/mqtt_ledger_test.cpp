// SPDX-License-Identifier: MIT
// The MQTT ledger without a broker: what goes out for each record and after each reconnect,
// which acknowledgements move the retained baseline, and from when elapsed_us counts.
#include "watch/mqtt_counts.h"
#include "watch/mqtt_ledger.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace core;
using namespace watch;

namespace {

// Publishes into a log, one word per message: "change=5@3000" (value and elapsed_us of a
// record's JSON), "state=5@3000!", "b0+!" (bit 0 ON), "availability=online!"; '!' marks
// retained; "c3=7!" (counter 3's total). Message ids count from 1 over the whole test.
class LogChannel final : public MqttChannel {
public:
    std::optional<int> publish(
        const std::string& topic, std::string_view payload, bool retain) override
    {
        if (failing)
            return std::nullopt;
        std::string word = topic.substr(topic.find('/') + 1);
        if (word.starts_with("bit/"))
            word = "b" + word.substr(4) + (payload == "ON" ? "+" : "-");
        else if (word.starts_with("count/"))
            word = "c" + word.substr(6) + "=" + std::string(payload);
        else if (payload.starts_with("{\"time\""))
            word += "=" + member(payload, "value") + "@" + member(payload, "elapsed_us");
        else if (!payload.starts_with('{'))
            word += "=" + std::string(payload);
        log += (log.empty() ? "" : " ") + word + (retain ? "!" : "");
        return ++last_mid;
    }

    std::string log;
    int last_mid = 0;
    bool failing = false;

private:
    static std::string member(std::string_view json, const std::string& name)
    {
        const auto start = json.find("\"" + name + "\":") + name.size() + 3;
        return std::string(json.substr(start, json.find_first_of(",}", start) - start));
    }
};

// One step of a row: "greet", "add V@T" (value V at microsecond T), "first T" (the watcher's
// first record was at T), "ack A-B" (message ids A to B), "drop" (the connection is gone),
// "fail" (every publish fails from now on), "mark" (the log starts again).
void apply(MqttLedger& ledger, LogChannel& channel, const std::string& step)
{
    std::istringstream words(step);
    std::string verb;
    words >> verb;
    if (verb == "greet") {
        channel.failing = false;
        (void)ledger.greet(channel);
    } else if (verb == "add" || verb == "first") {
        int value = 0;
        char at = 0;
        std::int64_t time = 0;
        if (verb == "add")
            words >> value >> at;
        words >> time;
        const RecordEntry entry { static_cast<std::uint8_t>(value), time };
        if (verb == "add")
            (void)ledger.add(channel, entry);
        else
            ledger.count_from(entry);
    } else if (verb == "ack") {
        int first = 0;
        int last = 0;
        char dash = 0;
        words >> first >> dash >> last;
        for (int mid = first; mid <= last; ++mid)
            ledger.acknowledged(mid);
    } else if (verb == "drop") {
        ledger.disconnected();
    } else if (verb == "fail") {
        channel.failing = true;
    } else if (verb == "mark") {
        channel.log.clear();
    } else {
        FAIL() << "unknown step " << step;
    }
}

TEST(MqttLedger, PublishesAndSendsAgainWhatTheBrokerLacks)
{
    const struct {
        const char* what;
        std::vector<std::string> steps;
        const char* log; // since the last "mark"
        std::size_t in_flight;
        bool greeted;
    } rows[] = {
        { "a first connect: online, the configs, a record with all eight bits",
            { "greet", "add 5@1000" },
            "availability=online! ha! change=5@0 state=5@0! b0+! b1-! b2+! b3-! b4-! b5-! b6-! "
            "b7-!",
            1, false },
        { "a second record sends only the bits that changed",
            { "greet", "add 5@1000", "mark", "add 6@1500" }, "change=6@500 state=6@500! b0-! b1+!",
            2, false },
        { "a reconnect: the acknowledged record as the baseline, the unacknowledged one again",
            { "greet", "add 5@1000", "ack 1-12", "add 4@2000", "drop", "mark", "greet" },
            "availability=online! ha! state=5@0! b0+! b1-! b2+! b3-! b4-! b5-! b6-! b7-! "
            "change=4@1000 state=4@1000! b0-!",
            1, false },
        { "acknowledged out of order: the baseline waits for the older record",
            { "greet", "add 5@1000", "add 4@2000", "ack 13-15", "drop", "mark", "greet" },
            "availability=online! ha! change=5@0 state=5@0! b0+! b1-! b2+! b3-! b4-! b5-! b6-! "
            "b7-! change=4@1000 state=4@1000! b0-!",
            2, false },
        { "a failed publish: the records wait for the next connect, none is lost",
            { "greet", "fail", "add 5@1000", "add 6@2000", "drop", "mark", "greet" },
            "availability=online! ha! change=5@0 state=5@0! b0+! b1-! b2+! b3-! b4-! b5-! b6-! "
            "b7-! change=6@1000 state=6@1000! b0-! b1+!",
            2, false },
        { "elapsed_us counts from the watcher's first record, though the queue dropped it",
            { "first 1000", "greet", "mark", "add 7@4000" },
            "change=7@3000 state=7@3000! b0+! b1+! b2+! b3-! b4-! b5-! b6-! b7-!", 1, false },
        { "greeted once online and the configs are acknowledged", { "greet", "ack 1-2" },
            "availability=online! ha!", 0, true },
        { "a new connection must carry its greeting again", { "greet", "ack 1-2", "drop", "greet" },
            "availability=online! ha! availability=online! ha!", 0, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MqttLedger ledger(MqttTopics("p"), { { "config/ha", "{}" } }, 128);
        LogChannel channel;
        for (const std::string& step : row.steps)
            apply(ledger, channel, step);
        EXPECT_EQ(channel.log, row.log);
        EXPECT_EQ(ledger.in_flight(), row.in_flight);
        EXPECT_EQ(ledger.greeted(), row.greeted);
    }
}

TEST(MqttCounts, ChangedTotalsAtMostOnceASecondAllAtEveryConnectAndAtTheEnd)
{
    const struct {
        int total; // counter 0's new total (the others stay 0); -1: none set
        const char* action; // greet, send or end
        int at_ms;
        const char* log; // what this row sent
        int due_ms; // next_due() afterwards; -1: none
    } rows[] = {
        { -1, "greet", 0, "", -1 },
        { 1, "send", 0, "c0=1! c1=0! c2=0! c3=0! c4=0! c5=0! c6=0! c7=0!", -1 },
        { 2, "send", 500, "", 1000 },
        { -1, "send", 1000, "c0=2!", -1 },
        { 3, "end", 1200, "c0=3!", -1 },
        { -1, "greet", 1300, "c0=3! c1=0! c2=0! c3=0! c4=0! c5=0! c6=0! c7=0!", -1 },
    };
    MqttCounts counts(MqttTopics("p"));
    LogChannel channel;
    const MqttCounts::Clock::time_point start {};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.action) + " at " + std::to_string(row.at_ms));
        if (row.total >= 0)
            counts.set({ static_cast<std::uint64_t>(row.total) });
        const auto at = start + std::chrono::milliseconds(row.at_ms);
        channel.log.clear();
        const std::string action = row.action;
        EXPECT_TRUE(action == "greet" ? counts.greet(channel, at)
                                      : counts.send_changed(channel, at, action == "end"));
        EXPECT_EQ(channel.log, row.log);
        const auto due = counts.next_due();
        EXPECT_EQ(due ? (*due - start) / std::chrono::milliseconds(1) : -1, row.due_ms);
    }
}

} // namespace
