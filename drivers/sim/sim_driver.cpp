// SPDX-License-Identifier: MIT
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

// Never destroyed: another thread may still read while the process ends.
KeptOpen<PortSpace>& kept_space()
{
    static auto& space = *new KeptOpen<PortSpace>;
    return space;
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
    auto opened = kept_space().get([&] { return open_space(reason); });
    driver_status::finish(opened != nullptr);
    return opened;
}

// The file was truncated under us: the access fails, and the next one maps the file afresh.
void lost(const std::shared_ptr<PortSpace>& space, const std::exception& failure)
{
    driver_status::reason() = std::string("movanta-portsim: ") + failure.what();
    driver_status::finish(false);
    kept_space().let_go(space);
}

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    const auto space = reachable(port);
    try {
        return space ? space->read(static_cast<std::uint16_t>(port)) : 0xFF;
    } catch (const std::exception& failure) {
        lost(space, failure);
        return 0xFF;
    }
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    const auto space = reachable(port);
    try {
        if (space)
            space->write(static_cast<std::uint16_t>(port), value);
    } catch (const std::exception& failure) {
        lost(space, failure);
    }
}

} // extern "C"
