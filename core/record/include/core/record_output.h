// SPDX-License-Identifier: MIT
// Where a record writer's bytes go. Every failure throws std::system_error carrying the
// system's error code (ENOSPC for a full disk, EPIPE for a closed pipe).
#pragma once

#include <string_view>

namespace core {

class RecordOutput {
public:
    virtual ~RecordOutput() = default;
    virtual void write(std::string_view bytes) = 0;
    // Hands everything written so far to the system.
    virtual void flush() = 0;
};

} // namespace core
