// SPDX-License-Identifier: MIT
// The Linux pacing of the poll timer.
#pragma once

#include "core/unique_fd.h"

namespace ui {

// The Linux pacing of the poll timer: a periodic CLOCK_MONOTONIC timerfd whose
// expirations lie at fixed points (start + k * period), so that a late tick does not
// push the later ones back. Every function returns false on failure and keeps errno.
namespace timerfd_pacing {

// A non-blocking, close-on-exec timer fd, disarmed; none when the system refuses one.
[[nodiscard]] core::UniqueFd open_fd() noexcept;

// Arms fd to expire every period_ms (1 to INT_MAX ms), the first time period_ms from
// now; expirations not yet read are dropped.
[[nodiscard]] bool arm(int fd, int period_ms) noexcept;
// Stops fd; expirations not yet read are dropped. Only a bad fd can make it fail.
void disarm(int fd) noexcept;
// Reads and discards the expirations since the last read; false when there were none.
[[nodiscard]] bool consume(int fd) noexcept;

} // namespace timerfd_pacing

} // namespace ui
