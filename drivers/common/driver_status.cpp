// SPDX-License-Identifier: MIT
// The thread's last outcome and the DlPortLastError entry point that every driver exports.
#include "driver_status.h"

#include "dlportio.h"

namespace {

thread_local std::string last_reason;
thread_local bool last_failed = false;

} // namespace

namespace driver_status {

std::string outside_io_space(unsigned long port)
{
    return "port " + std::to_string(port) + " is outside the I/O space 0-"
        + std::to_string(highest_port);
}

std::string& reason() { return last_reason; }

void finish(bool succeeded) { last_failed = !succeeded; }

} // namespace driver_status

extern "C" const char* DLPORTIO_CALL DlPortLastError(void)
{
    return last_failed ? last_reason.c_str() : nullptr;
}
