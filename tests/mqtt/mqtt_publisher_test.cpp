// SPDX-License-Identifier: MIT
// The publisher against a real Mosquitto on loopback, read back with mosquitto_sub.
#include "ha_discovery.h"
#include "mqtt_peers.h"
#include "mqtt_publisher.h"
#include "mqtt_topics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace {

class Log {
public:
    MqttPublisher::Log sink()
    {
        return [this](const std::string& line) {
            const std::lock_guard lock(mutex_);
            text_ += line + "\n";
        };
    }
    bool has(const std::string& part) const
    {
        const std::lock_guard lock(mutex_);
        return text_.find(part) != std::string::npos;
    }
    std::string text() const
    {
        const std::lock_guard lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

std::string prefix_for(const char* test) { return std::string("movanta/test/") + test; }

MqttSettings settings_for(const TestBroker& broker, const char* test)
{
    MqttSettings settings;
    settings.url = { false, "", "127.0.0.1", broker.port() };
    settings.client_id = std::string("movanta-test-") + test + "-" + std::to_string(::getpid());
    settings.topic_prefix = prefix_for(test);
    return settings;
}

RecordEntry entry(int i)
{
    // Consecutive values always differ, as the record's do.
    return { static_cast<std::uint8_t>(i * 37 % 256), 1'700'000'000'000'000 + i * 1500 };
}

// The "value" of each JSON payload.
std::vector<int> values_of(const Lines& payloads)
{
    std::vector<int> values;
    for (const std::string& payload : payloads) {
        const auto at = payload.find("\"value\":");
        values.push_back(at == std::string::npos ? -1 : std::stoi(payload.substr(at + 8)));
    }
    return values;
}

// QoS 1 delivers at least once: across a broker restart a message may come twice (each
// record's time makes it unique). What counts is that each comes, in order.
Lines first_arrivals(const Lines& payloads)
{
    Lines first;
    for (const std::string& payload : payloads) {
        if (std::find(first.begin(), first.end(), payload) == first.end())
            first.push_back(payload);
    }
    return first;
}

std::vector<int> values_of_entries(int first, int end)
{
    std::vector<int> values;
    for (int i = first; i < end; ++i)
        values.push_back(entry(i).value);
    return values;
}

// What the retained topics must hold after value, as mosquitto_sub -v prints them, sorted.
Lines retained_after(const std::string& prefix, std::uint8_t value, const std::string& state,
    const char* availability)
{
    Lines lines { prefix + "/availability " + availability, prefix + "/state " + state };
    for (int bit = 0; bit < 8; ++bit)
        lines.push_back(
            prefix + "/bit/" + std::to_string(bit) + (((value >> bit) & 1) != 0 ? " ON" : " OFF"));
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(MqttPublisher, EveryChangeInOrderAndTheRetainedTopics)
{
    TestBroker broker;
    broker.start();
    const std::string prefix = prefix_for("order");
    TestSubscriber subscriber(broker, prefix + "/#");
    subscriber.wait_subscribed();
    Log log;
    MqttSettings settings = settings_for(broker, "order");
    settings.retained = ha_discovery_messages("ha", MqttTopics(prefix), { "h", "888", "0.05" });
    MqttPublisher publisher(settings, log.sink());
    constexpr int count = 300;
    for (int i = 0; i < count; ++i)
        publisher.publish(entry(i));

    ASSERT_TRUE(wait_until([&] { return subscriber.payloads(prefix + "/change").size() >= count; }))
        << log.text();
    const Lines changes = subscriber.payloads(prefix + "/change");
    EXPECT_EQ(values_of(changes), values_of_entries(0, count));
    // A bit's topic gets its first state and then each of its changes.
    for (int bit = 0; bit < 8; ++bit) {
        Lines expected;
        for (int i = 0; i < count; ++i) {
            const char* now = ((entry(i).value >> bit) & 1) != 0 ? "ON" : "OFF";
            if (expected.empty() || expected.back() != now)
                expected.push_back(now);
        }
        EXPECT_EQ(subscriber.payloads(prefix + "/bit/" + std::to_string(bit)), expected) << bit;
    }
    const Lines running = retained_after(prefix, entry(count - 1).value, changes.back(), "online");
    EXPECT_TRUE(wait_until([&] { return retained_messages(broker, prefix + "/#", 10) == running; }))
        << ::testing::PrintToString(retained_messages(broker, prefix + "/#", 10));
    EXPECT_EQ(retained_messages(broker, "ha/#", 9).size(), 9U);

    publisher.stop();
    EXPECT_EQ(retained_messages(broker, prefix + "/#", 10),
        retained_after(prefix, entry(count - 1).value, changes.back(), "offline"));
}

TEST(MqttPublisher, TheChangesOfAnOutageArriveAfterIt)
{
    TestBroker broker;
    broker.start();
    const std::string prefix = prefix_for("outage");
    TestSubscriber subscriber(
        broker, prefix + "/#", { "-c", "-i", "outage-" + std::to_string(::getpid()), "-q", "1" });
    subscriber.wait_subscribed();
    Log log;
    MqttPublisher publisher(settings_for(broker, "outage"), log.sink());
    for (int i = 0; i < 20; ++i)
        publisher.publish(entry(i));
    ASSERT_TRUE(wait_until([&] { return subscriber.payloads(prefix + "/change").size() >= 20; }));
    ASSERT_TRUE(wait_until([&] { return publisher.waiting() == 0; })) << publisher.waiting();

    broker.stop();
    ASSERT_TRUE(wait_until([&] { return !publisher.connected(); }));
    for (int i = 20; i < 50; ++i)
        publisher.publish(entry(i));
    EXPECT_EQ(publisher.waiting(), 30U);
    broker.start();

    ASSERT_TRUE(wait_until([&] {
        return first_arrivals(subscriber.payloads(prefix + "/change")).size() >= 50;
    })) << log.text();
    EXPECT_EQ(values_of(first_arrivals(subscriber.payloads(prefix + "/change"))),
        values_of_entries(0, 50));
    EXPECT_TRUE(log.has("lost the connection")) << log.text();
    EXPECT_TRUE(log.has("30 records waiting")) << log.text();
}

TEST(MqttPublisher, ABrokerThatStartsLate)
{
    TestBroker broker;
    const std::string prefix = prefix_for("late");
    // A durable subscription made beforehand collects what arrives once the broker is up.
    broker.start();
    const std::string durable = "late-" + std::to_string(::getpid());
    {
        TestSubscriber early(broker, prefix + "/#", { "-c", "-i", durable, "-q", "1" });
        early.wait_subscribed();
    }
    broker.stop();

    Log log;
    MqttPublisher publisher(settings_for(broker, "late"), log.sink());
    for (int i = 0; i < 10; ++i)
        publisher.publish(entry(i));
    ASSERT_TRUE(wait_until([&] { return log.has("cannot connect"); }));
    broker.start();
    TestSubscriber subscriber(broker, prefix + "/#", { "-c", "-i", durable, "-q", "1" });
    ASSERT_TRUE(wait_until([&] {
        return first_arrivals(subscriber.payloads(prefix + "/change")).size() >= 10;
    })) << log.text();
    EXPECT_EQ(values_of(first_arrivals(subscriber.payloads(prefix + "/change"))),
        values_of_entries(0, 10));
    EXPECT_EQ(subscriber.payloads(prefix + "/availability"), Lines { "online" });
}

TEST(MqttPublisher, AFullQueueDropsTheOldestAndSaysSo)
{
    TestBroker broker; // not started yet
    Log log;
    MqttSettings settings = settings_for(broker, "full");
    settings.queue_capacity = 10;
    MqttPublisher publisher(settings, log.sink());
    for (int i = 0; i < 25; ++i)
        publisher.publish(entry(i));
    EXPECT_EQ(publisher.dropped(), 15U);
    broker.start();
    EXPECT_TRUE(wait_until([&] { return publisher.waiting() == 0; })) << log.text();
    EXPECT_TRUE(log.has("15 oldest records dropped")) << log.text();
}

TEST(MqttPublisher, ALoginWithAPassword)
{
    const auto passwords
        = std::filesystem::temp_directory_path() / ("movanta-passwd-" + std::to_string(::getpid()));
    ASSERT_EQ(run_program({ "mosquitto_passwd", "-c", "-b", passwords.string(), "ada", "geheim" },
                  "/dev/null"),
        0);
    TestBroker broker({ "allow_anonymous false", "password_file " + passwords.string() });
    broker.start();
    const struct {
        const char* user;
        const char* password;
        bool refused;
    } cases[]
        = { { "ada", "geheim", false }, { "ada", "falsch", true }, { "bob", "geheim", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        Log log;
        MqttSettings settings = settings_for(broker, "login");
        settings.url.user = c.user;
        settings.password = c.password;
        MqttPublisher publisher(settings, log.sink());
        ASSERT_TRUE(wait_until([&] {
            return publisher.connected() || publisher.refusal().has_value();
        })) << log.text();
        EXPECT_EQ(publisher.refusal().has_value(), c.refused);
        if (c.refused) {
            EXPECT_NE(publisher.refusal()->find("not authorised"), std::string::npos)
                << *publisher.refusal();
        }
    }
    std::filesystem::remove(passwords);
}

} // namespace
