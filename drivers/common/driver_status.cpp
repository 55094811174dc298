// SPDX-License-Identifier: MIT
// The thread's last outcome and the DlPortLastError entry point that every driver exports.
#include "drivers/driver_status.h"

#include "port/dlportio.h"

using namespace drivers;

namespace drivers {

namespace {

thread_local std::string last_reason;
// A reason that needs no memory, when copying what() into last_reason failed.
thread_local const char* last_fixed_reason = nullptr;
thread_local bool last_failed = false;

} // namespace

namespace driver_status {

std::string outside_io_space(unsigned long port)
{
    return "port " + std::to_string(port) + " is outside the I/O space 0-"
        + std::to_string(highest_port);
}

std::string& reason() { return last_reason; }

void finish(bool succeeded) noexcept
{
    last_failed = !succeeded;
    last_fixed_reason = nullptr;
}

void finish(const char* what) noexcept
{
    last_failed = true;
    try {
        last_reason = what;
        last_fixed_reason = nullptr;
    } catch (...) {
        last_fixed_reason = "the driver ran out of memory";
    }
}

} // namespace driver_status

} // namespace drivers

extern "C" const char* DLPORTIO_CALL DlPortLastError(void)
{
    if (!last_failed)
        return nullptr;
    return last_fixed_reason != nullptr ? last_fixed_reason : last_reason.c_str();
}

