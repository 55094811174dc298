// SPDX-License-Identifier: MIT
// The real peers of the MQTT tests: a Mosquitto broker of the test's own (started by
// mqtt_broker.sh) and mosquitto_sub reading what arrives.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

using Lines = std::vector<std::string>;

// Polls condition every 20 ms until it holds or timeout has passed; returns the last result.
bool wait_until(const std::function<bool()>& condition,
    std::chrono::milliseconds timeout = std::chrono::seconds(20));

class TestBroker {
public:
    // config: extra lines of mosquitto.conf (a password_file...). Not started yet.
    explicit TestBroker(std::vector<std::string> config = {});
    ~TestBroker();
    TestBroker(const TestBroker&) = delete;
    TestBroker& operator=(const TestBroker&) = delete;

    // Started again after stop(), it keeps its port and what it had queued.
    void start();
    void stop();
    // Chosen before the first start, so that a client can try it while nothing listens.
    [[nodiscard]] int port() const noexcept { return port_; }
    [[nodiscard]] const std::filesystem::path& folder() const noexcept { return folder_; }

private:
    std::filesystem::path folder_;
    std::vector<std::string> config_;
    int port_ = 0;
};

// mosquitto_sub -v on topic_filter (ending in "/#"), lines "TOPIC PAYLOAD" kept in a file.
class TestSubscriber {
public:
    // extra: more options of mosquitto_sub (-c -i NAME -q 1 for a durable subscriber).
    TestSubscriber(
        const TestBroker& broker, std::string topic_filter, std::vector<std::string> extra = {});
    ~TestSubscriber();
    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;

    // Returns once a message published now reaches it: it is subscribed.
    void wait_subscribed();
    // Every line so far, the readiness probes left out.
    [[nodiscard]] Lines lines() const;
    // The payloads of the lines whose topic is topic.
    [[nodiscard]] Lines payloads(const std::string& topic) const;

private:
    const TestBroker& broker_;
    std::string probe_topic_;
    std::filesystem::path output_;
    pid_t pid_ = -1;
};

// The retained messages under topic_filter as "TOPIC PAYLOAD" lines, sorted; waits until
// there are count of them.
[[nodiscard]] Lines retained_messages(
    const TestBroker& broker, const std::string& topic_filter, int count);

// Runs a program to its end with standard output into a file; its exit status.
int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& output);
// Starts one with standard output (and error) into a file; its pid.
pid_t start_program(const std::vector<std::string>& arguments, const std::filesystem::path& output);
