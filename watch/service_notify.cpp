// SPDX-License-Identifier: MIT
// The watcher's side of systemd's notification protocol, through libsystemd.
#include "service_notify.h"

#include "core/record_clock.h"

#include <cstdio>
#include <cstdlib>
#include <systemd/sd-daemon.h>

using namespace core;

namespace watch {

namespace {
// The status line changes at most this often: systemctl status is read by people.
constexpr std::int64_t status_every_ns = 5'000'000'000;
} // namespace

ServiceNotify::ServiceNotify(std::function<std::size_t()> waiting, std::uint64_t polls_per_look)
    : waiting_(std::move(waiting))
    , polls_per_look_(polls_per_look == 0 ? 1 : polls_per_look)
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    active_ = socket != nullptr && *socket != '\0';
    std::uint64_t usec = 0;
    if (active_ && sd_watchdog_enabled(0, &usec) > 0)
        watchdog_ns_ = static_cast<std::int64_t>(usec) * 1000;
}

void ServiceNotify::polled(std::uint8_t, bool recorded)
{
    ++samples_;
    records_ += recorded ? 1 : 0;
    if (active_ && (samples_ == 1 || samples_ % polls_per_look_ == 0))
        look();
}

void ServiceNotify::look()
{
    const std::int64_t now = monotonic_ns();
    if (!ready_) {
        ready_ = true;
        last_ping_ns_ = last_status_ns_ = now;
        (void)sd_notify(0, watchdog_ns_ != 0 ? "READY=1\nWATCHDOG=1" : "READY=1");
        status();
        return;
    }
    // A quarter of the watchdog's time: with polls at most a quarter apart, a ping comes
    // within the half systemd asks for.
    if (watchdog_ns_ != 0 && now - last_ping_ns_ >= watchdog_ns_ / 4) {
        last_ping_ns_ = now;
        (void)sd_notify(0, "WATCHDOG=1");
    }
    if (now - last_status_ns_ >= status_every_ns) {
        last_status_ns_ = now;
        status();
    }
}

void ServiceNotify::status()
{
    char line[128];
    std::snprintf(line, sizeof line, "STATUS=samples=%llu records=%llu queue=%zu",
        static_cast<unsigned long long>(samples_), static_cast<unsigned long long>(records_),
        waiting_ ? waiting_() : std::size_t { 0 });
    (void)sd_notify(0, line);
}

void ServiceNotify::stopping()
{
    if (active_)
        (void)sd_notify(0, "STOPPING=1");
}

} // namespace watch
