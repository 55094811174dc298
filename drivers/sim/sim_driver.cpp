// SPDX-License-Identifier: MIT
// libdlportio.so for the simulator: the C entry points over the shared PortSpace.
#include "drivers/driver_status.h"
#include "drivers/kept_open.h"
#include "drivers/port_space.h"
#include "port/dlportio.h"

#include <memory>
#include <string>

using namespace drivers;

namespace drivers {

namespace {

// Never destroyed: another thread may still read while the process ends.
KeptOpen<PortSpace>& kept_space()
{
    static auto& space = *new KeptOpen<PortSpace>;
    return space;
}

// The port space, opened at the first use; a fault put right (a folder made, a file given
// back) needs no restart, since a failed open is tried again. Throws std::runtime_error naming
// the file when it can't be opened.
PortSpace* reachable(unsigned long port, std::string& reason)
{
    if (port > driver_status::highest_port) {
        reason = driver_status::outside_io_space(port);
        return nullptr;
    }
    return kept_space().get([] { return std::make_unique<PortSpace>(PortSpace::default_path()); });
}

// Runs access on the port space; a file truncated under us fails this access and is mapped
// afresh at the next one. The reason is the port space's own, with no program name before it.
template <typename Access> bool on_space(unsigned long port, std::string& reason, Access access)
{
    const auto space = reachable(port, reason);
    if (!space)
        return false;
    try {
        access(*space, static_cast<std::uint16_t>(port));
        return true;
    } catch (...) {
        kept_space().let_go(space);
        throw;
    }
}

} // namespace

} // namespace drivers

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    unsigned char value = 0xFF;
    const bool read = driver_status::run([&](std::string& reason) {
        return on_space(
            port, reason, [&](PortSpace& space, std::uint16_t at) { value = space.read(at); });
    });
    return read ? value : 0xFF;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    (void)driver_status::run([&](std::string& reason) {
        return on_space(
            port, reason, [&](PortSpace& space, std::uint16_t at) { space.write(at, value); });
    });
}

} // extern "C"

