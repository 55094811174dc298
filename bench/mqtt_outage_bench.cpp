// SPDX-License-Identifier: MIT
// The MQTT publisher through a broker outage: what a record costs the poll thread, the memory
// of each waiting record, what a full queue drops, and how fast the backlog drains to a real
// Mosquitto once it is back.
#include "bench_support.h"

#include "watch/mqtt_publisher.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace core;
using namespace watch;

namespace {

// A loopback port nobody listens on: connecting to it is refused at once.
int closed_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

MqttSettings settings_for(int port)
{
    MqttSettings settings;
    settings.url = { false, "", "127.0.0.1", port };
    settings.client_id = "movanta-bench-" + std::to_string(::getpid());
    settings.topic_prefix = "movanta/bench/888";
    settings.drain_time = std::chrono::milliseconds(0); // what waits at the end is not measured
    return settings;
}

RecordEntry entry(std::int64_t i)
{
    return { static_cast<std::uint8_t>(i * 37 % 256), 1'700'000'000'000'000 + i * 1000 };
}

void wait_for(const std::function<bool()>& condition)
{
    while (!condition())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// range(0) records published while the broker is away; the queue holds 100,000.
void BM_OutageQueue(benchmark::State& state)
{
    const auto records = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        std::atomic<bool> refused_once { false };
        MqttPublisher publisher(settings_for(closed_port()), [&](const std::string& line) {
            if (line.find("cannot connect") != std::string::npos)
                refused_once = true;
        });
        wait_for([&] { return refused_once.load(); });
        const std::size_t before = bench_support::resident_bytes();
        state.ResumeTiming();
        for (std::int64_t i = 0; i < records; ++i)
            publisher.publish(entry(i));
        state.PauseTiming();
        const std::size_t after = bench_support::resident_bytes();
        state.counters["waiting"] = static_cast<double>(publisher.waiting());
        state.counters["dropped"] = static_cast<double>(publisher.dropped());
        state.counters["bytes_per_waiting_record"]
            = (static_cast<double>(after) - static_cast<double>(before))
            / static_cast<double>(publisher.waiting());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_OutageQueue)->Arg(100'000)->Arg(150'000)->Iterations(3)->Unit(benchmark::kMillisecond);

// From the connection to the last of range(0) waiting records acknowledged.
void BM_OutageDrain(benchmark::State& state)
{
    const auto records = state.range(0);
    const std::filesystem::path folder = std::filesystem::temp_directory_path()
        / ("movanta-bench-broker-" + std::to_string(::getpid()));
    const std::string script = std::string("bash ") + MQTT_BROKER_SCRIPT + " ";
    for (auto _ : state) {
        std::filesystem::remove_all(folder);
        if (std::system((script + "port " + folder.string() + " >/dev/null").c_str()) != 0) {
            state.SkipWithError("no port for the broker");
            break;
        }
        int port = 0;
        std::ifstream(folder / "port") >> port;
        MqttPublisher publisher(settings_for(port), [](const std::string&) {});
        for (std::int64_t i = 0; i < records; ++i)
            publisher.publish(entry(i));
        if (std::system((script + "start " + folder.string() + " >/dev/null").c_str()) != 0) {
            state.SkipWithError("mosquitto did not start");
            break;
        }
        // Timed from the connection on: the wait for the next try is the backoff's, not the
        // drain's.
        wait_for([&] { return publisher.connected(); });
        const auto start = std::chrono::steady_clock::now();
        wait_for([&] { return publisher.waiting() == 0; });
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        publisher.stop();
        std::system((script + "stop " + folder.string()).c_str());
    }
    std::filesystem::remove_all(folder);
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_OutageDrain)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
