// SPDX-License-Identifier: MIT
// --exec: a command run through /bin/sh -c for each record, in order and one at a time, by a
// thread of its own so that a slow command never holds a poll up. Records wait in a bounded
// queue; beyond it the oldest are dropped and counted.
#pragma once

#include "core/record_sink.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace watch {

class ExecSink final : public core::RecordSink {
public:
    using Complaint = std::function<void(const std::string& line)>;
    static constexpr std::size_t max_waiting = 1000;

    // Start it after the stop signals are blocked: its thread inherits the mask (the commands
    // get the default one).
    ExecSink(std::string command, std::int32_t port, Complaint complain,
        std::chrono::milliseconds end_wait = std::chrono::seconds(5));
    ~ExecSink() override;
    ExecSink(const ExecSink&) = delete;
    ExecSink& operator=(const ExecSink&) = delete;

    void add(const core::RecordEntry& entry) override;
    // After the run (its figures taken): lets the records still waiting run for up to
    // end_wait in all, then ends the running command (SIGTERM, SIGKILL a moment later) and
    // drops the rest.
    void close();
    // The records waiting, for the service manager's status line.
    [[nodiscard]] std::size_t waiting() const;

    [[nodiscard]] std::uint64_t dropped() const;
    // " exec_dropped=N" for --stats.
    [[nodiscard]] std::string stats_suffix() const;

private:
    struct Job {
        std::uint8_t value;
        std::uint8_t rose;
        std::uint8_t fell;
        std::int64_t time_us;
    };
    void work();
    void run(const Job& job);

    std::string command_;
    std::string port_text_;
    Complaint complain_;
    std::chrono::milliseconds end_wait_;
    std::vector<std::string> inherited_; // our environment without the MOVANTA_ variables we set
    bool have_previous_ = false;
    std::uint8_t previous_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> waiting_;
    std::uint64_t dropped_ = 0;
    bool finishing_ = false;
    std::chrono::steady_clock::time_point give_up_at_ {};
    std::thread worker_;
};

} // namespace watch
