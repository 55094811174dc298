// SPDX-License-Identifier: MIT
// What looks at a run between its polls (the service manager's watchdog and status): called
// after the first poll, then after each poll when paced, or every few thousand polls when
// free-running. It must not take long: the next poll waits for it.
#pragma once

#include "watch_run.h"

class PollObserver {
public:
    virtual ~PollObserver() = default;
    virtual void polled(const WatchStats& stats) = 0;
};
