// SPDX-License-Identifier: MIT
// libdlportio.so for real hardware: the C entry points over GpioPorts, then HardwarePorts.
#include "drivers/driver_status.h"
#include "drivers/gpio_ports.h"
#include "drivers/hardware_ports.h"
#include "port/dlportio.h"

#include <cstdlib>

using namespace drivers;

namespace drivers {

namespace {

HardwarePorts& ports()
{
    static HardwarePorts instance(HardwarePorts::system_paths());
    return instance;
}

// The ports file is read at the first access and never again in this process.
GpioPorts& gpio()
{
    static GpioPorts instance(linux_gpio_kernel(),
        [] { return load_ports_file(std::getenv, "/etc/movanta/ports.conf"); });
    return instance;
}

bool finished(GpioPorts::Access access) { return access == GpioPorts::Access::Done; }

} // namespace

} // namespace drivers

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    std::uint8_t value = 0xFF;
    const bool read = driver_status::run([&](std::string& reason) {
        const auto access = gpio().read(port, value, reason);
        return access == GpioPorts::Access::NotMapped ? ports().read(port, value, reason)
                                                      : finished(access);
    });
    return read ? value : 0xFF;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    (void)driver_status::run([&](std::string& reason) {
        const auto access = gpio().write(port, reason);
        return access == GpioPorts::Access::NotMapped ? ports().write(port, value, reason)
                                                      : finished(access);
    });
}

} // extern "C"

