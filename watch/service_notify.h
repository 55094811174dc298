// SPDX-License-Identifier: MIT
// Telling systemd how the watcher is (sd_notify): READY=1 after the first poll, WATCHDOG=1
// from the poll loop, a STATUS= line of figures now and then, STOPPING=1 at the end. Without
// NOTIFY_SOCKET in the environment it does nothing.
#pragma once

#include "poll_observer.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class ServiceNotify final : public PollObserver {
public:
    // waiting: the records that wait in queues (MQTT, --exec), for the status line.
    explicit ServiceNotify(std::function<std::size_t()> waiting);

    [[nodiscard]] bool active() const noexcept { return active_; }
    // The watchdog's time (WATCHDOG_USEC) in ns; 0 when systemd wants no pings.
    [[nodiscard]] std::int64_t watchdog_ns() const noexcept { return watchdog_ns_; }

    void polled(const WatchStats& stats) override;
    void stopping();

private:
    void status(const WatchStats& stats);

    std::function<std::size_t()> waiting_;
    bool active_ = false;
    bool ready_ = false;
    std::int64_t watchdog_ns_ = 0;
    std::int64_t last_ping_ns_ = 0;
    std::int64_t last_status_ns_ = 0;
};
