// libdlportio.so for real hardware: the C entry points over HardwarePorts.
#include "dlportio.h"
#include "hardware_ports.h"

#include <string>

namespace {

HardwarePorts& ports()
{
    static HardwarePorts instance(HardwarePorts::system_paths());
    return instance;
}

thread_local std::string last_reason;
thread_local bool last_failed = false;

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    std::uint8_t value = 0xFF;
    last_failed = !ports().read(port, value, last_reason);
    return value;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    last_failed = !ports().write(port, value, last_reason);
}

const char* DLPORTIO_CALL DlPortLastError(void)
{
    return last_failed ? last_reason.c_str() : nullptr;
}

} // extern "C"
