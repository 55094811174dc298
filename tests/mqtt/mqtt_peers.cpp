// SPDX-License-Identifier: MIT
// The MQTT tests' broker and subscriber, as separate processes.
#include "mqtt_peers.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

Lines read_lines(const std::filesystem::path& path)
{
    Lines lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::filesystem::path fresh_folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "movanta-mqtt-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

int broker_script(const std::string& command, const TestBroker& broker,
    const std::vector<std::string>& config = {})
{
    std::vector<std::string> arguments { "bash", MQTT_BROKER_SCRIPT, command,
        broker.folder().string() };
    arguments.insert(arguments.end(), config.begin(), config.end());
    return run_program(arguments, broker.folder() / "script.out");
}

} // namespace

pid_t start_program(const std::vector<std::string>& arguments, const std::filesystem::path& output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + arguments.front());
    return pid;
}

int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& output)
{
    const pid_t pid = start_program(arguments, output);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TestBroker::TestBroker(std::vector<std::string> config)
    : folder_(fresh_folder())
    , config_(std::move(config))
{
    if (broker_script("port", *this) != 0)
        throw std::runtime_error("mqtt_broker.sh found no port");
    port_ = std::stoi(read_lines(folder_ / "script.out").at(0));
}

TestBroker::~TestBroker()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TestBroker::start()
{
    if (broker_script("start", *this, config_) != 0)
        throw std::runtime_error(
            "mosquitto did not start: see " + (folder_ / "script.out").string());
    // Another port when the chosen one was taken meanwhile.
    port_ = std::stoi(read_lines(folder_ / "script.out").at(0));
}

void TestBroker::stop() { broker_script("stop", *this); }

TestSubscriber::TestSubscriber(
    const TestBroker& broker, std::string topic_filter, std::vector<std::string> extra)
    : broker_(broker)
    , probe_topic_(topic_filter.substr(0, topic_filter.size() - 1) + "probe")
    , output_(broker.folder()
          / ("sub-" + std::to_string(::getpid()) + "-"
              + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".out"))
{
    std::vector<std::string> arguments { "mosquitto_sub", "-h", "127.0.0.1", "-p",
        std::to_string(broker.port()), "-t", topic_filter, "-v" };
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    pid_ = start_program(arguments, output_);
}

TestSubscriber::~TestSubscriber()
{
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

void TestSubscriber::wait_subscribed()
{
    const auto seen = [this] {
        const Lines all = read_lines(output_);
        return std::any_of(all.begin(), all.end(),
            [this](const std::string& line) { return line.starts_with(probe_topic_ + " "); });
    };
    const bool subscribed = wait_until([&] {
        run_program({ "mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.port()),
                        "-t", probe_topic_, "-m", "ready" },
            broker_.folder() / "probe.out");
        return wait_until(seen, std::chrono::milliseconds(300));
    });
    if (!subscribed) {
        std::string said;
        for (const std::string& line : read_lines(output_))
            said += line + "\n";
        throw std::runtime_error("mosquitto_sub did not subscribe to port "
            + std::to_string(broker_.port()) + ":\n" + said);
    }
}

Lines TestSubscriber::lines() const
{
    Lines all = read_lines(output_);
    std::erase_if(
        all, [this](const std::string& line) { return line.starts_with(probe_topic_ + " "); });
    return all;
}

Lines TestSubscriber::payloads(const std::string& topic) const
{
    Lines found;
    for (const std::string& line : lines()) {
        if (line.starts_with(topic + " "))
            found.push_back(line.substr(topic.size() + 1));
    }
    return found;
}

Lines retained_messages(const TestBroker& broker, const std::string& topic_filter, int count)
{
    const auto output = broker.folder() / "retained.out";
    run_program({ "mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-t",
                    topic_filter, "-v", "--retained-only", "-C", std::to_string(count), "-W", "1" },
        output);
    Lines lines = read_lines(output);
    std::erase_if(lines, [](const std::string& line) { return line.starts_with("Timed out"); });
    std::sort(lines.begin(), lines.end());
    return lines;
}
