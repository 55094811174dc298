// libdlportio.so for the simulator: the C entry points over the shared PortSpace.
#include "dlportio.h"
#include "driver_status.h"
#include "kept_open.h"
#include "port_space.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace {

std::unique_ptr<PortSpace> open_space(std::string& reason)
{
    try {
        return std::make_unique<PortSpace>(PortSpace::default_path());
    } catch (const std::exception& failure) {
        reason = std::string("movanta-portsim: ") + failure.what();
        return nullptr;
    }
}

// A fault put right (a folder made, a file given back) needs no restart.
std::shared_ptr<PortSpace> reachable(unsigned long port)
{
    std::string& reason = driver_status::reason();
    if (port > driver_status::highest_port) {
        reason = driver_status::outside_io_space(port);
        driver_status::finish(false);
        return nullptr;
    }
    // Never destroyed: another thread may still read while the process ends.
    static auto& space = *new KeptOpen<PortSpace>;
    auto opened = space.get([&] { return open_space(reason); });
    driver_status::finish(opened != nullptr);
    return opened;
}

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    const auto space = reachable(port);
    return space ? space->read(static_cast<std::uint16_t>(port)) : 0xFF;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    if (const auto space = reachable(port))
        space->write(static_cast<std::uint16_t>(port), value);
}

} // extern "C"
