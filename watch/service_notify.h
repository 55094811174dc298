// SPDX-License-Identifier: MIT
// Telling systemd how the watcher is (sd_notify): READY=1 after the first poll, WATCHDOG=1
// from the poll thread (a driver call that hangs stops the pings), a STATUS= line of figures
// now and then, STOPPING=1 at the end. Without NOTIFY_SOCKET in the environment it does
// nothing, and is no hook of the run.
#pragma once

#include "poll_hook.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace watch {

class ServiceNotify final : public PollHook {
public:
    // waiting: the records that wait in queues (MQTT, --exec), for the status line; called on
    // the poll thread. The clock is looked at once per polls_per_look polls (1 when paced; a
    // few thousand free-running, where a poll takes well under a microsecond).
    ServiceNotify(std::function<std::size_t()> waiting, std::uint64_t polls_per_look);

    [[nodiscard]] bool active() const noexcept { return active_; }
    // The watchdog's time (WATCHDOG_USEC) in ns; 0 when systemd wants no pings.
    [[nodiscard]] std::int64_t watchdog_ns() const noexcept { return watchdog_ns_; }

    void polled(std::uint8_t value, bool recorded) override;
    void stopping();

private:
    void look();
    void status();

    std::function<std::size_t()> waiting_;
    std::uint64_t polls_per_look_;
    std::uint64_t samples_ = 0;
    std::uint64_t records_ = 0;
    bool active_ = false;
    bool ready_ = false;
    std::int64_t watchdog_ns_ = 0;
    std::int64_t last_ping_ns_ = 0;
    std::int64_t last_status_ns_ = 0;
};

} // namespace watch
