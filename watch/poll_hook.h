// SPDX-License-Identifier: MIT
// Something that sees every poll of a movanta-watch run, recorded or not (a pulse counter, a
// health check): called on the poll thread after each poll step, never after the run ended.
#pragma once

#include <cstdint>

namespace watch {

class PollHook {
public:
    virtual ~PollHook() = default;
    // value: what the poll showed (255 minus the byte read); recorded: whether it went to the
    // sinks. A hook that throws ends the run as a failing sink does.
    virtual void polled(std::uint8_t value, bool recorded) = 0;
};

} // namespace watch
