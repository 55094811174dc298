// SPDX-License-Identifier: MIT
// The outcome of a thread's last driver call, which DlPortLastError reports, for every driver.
#pragma once

#include <exception>
#include <string>

namespace drivers {

namespace driver_status {

// The x86 I/O space ends here; no driver reaches a port above it.
inline constexpr unsigned long highest_port = 0xFFFF;

// "port N is outside the I/O space 0-65535", the same from every driver.
[[nodiscard]] std::string outside_io_space(unsigned long port);

// The calling thread's reason slot: a call writes into it before it finishes with a failure.
[[nodiscard]] std::string& reason();

// Ends a call: afterwards DlPortLastError gives reason() if it failed, else NULL.
void finish(bool succeeded) noexcept;

// Ends a call that threw: what() becomes its reason, without needing memory to say so.
void finish(const char* what) noexcept;

// The body of every extern "C" entry point. body(reason()) says whether the call succeeded;
// an exception it lets out (a folder that can't be read, memory running out) is that call's
// failure with its what() as the reason, and never crosses the C boundary.
template <typename Body> bool run(Body&& body) noexcept
{
    try {
        const bool succeeded = body(reason());
        finish(succeeded);
        return succeeded;
    } catch (const std::exception& failure) {
        finish(failure.what());
    } catch (...) {
        finish("the driver failed for a reason it cannot name");
    }
    return false;
}

} // namespace driver_status

} // namespace drivers
