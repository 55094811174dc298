// SPDX-License-Identifier: MIT
// The outcome of a thread's last driver call, which DlPortLastError reports, for every driver.
#pragma once

#include <string>

namespace driver_status {

// The x86 I/O space ends here; no driver reaches a port above it.
inline constexpr unsigned long highest_port = 0xFFFF;

// "port N is outside the I/O space 0-65535", the same from every driver.
[[nodiscard]] std::string outside_io_space(unsigned long port);

// The calling thread's reason slot: a call writes into it before it finishes with a failure.
[[nodiscard]] std::string& reason();

// Ends a call: afterwards DlPortLastError gives reason() if it failed, else NULL.
void finish(bool succeeded);

} // namespace driver_status
