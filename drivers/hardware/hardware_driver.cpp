// libdlportio.so for real hardware: the C entry points over HardwarePorts.
#include "dlportio.h"
#include "driver_status.h"
#include "hardware_ports.h"

namespace {

HardwarePorts& ports()
{
    static HardwarePorts instance(HardwarePorts::system_paths());
    return instance;
}

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    std::uint8_t value = 0xFF;
    driver_status::finish(ports().read(port, value, driver_status::reason()));
    return value;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    driver_status::finish(ports().write(port, value, driver_status::reason()));
}

} // extern "C"
