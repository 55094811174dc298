// libdlportio.so for the simulator: the C entry points over the shared PortSpace.
#include "dlportio.h"
#include "port_space.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace {

thread_local std::string last_reason;
thread_local bool last_failed = false;

// Opened at the first access; when that fails, every access reports why.
struct Space {
    std::unique_ptr<PortSpace> space;
    std::string error;
};

Space& shared_space()
{
    static Space instance = [] {
        Space opened;
        try {
            opened.space = std::make_unique<PortSpace>(PortSpace::default_path());
        } catch (const std::exception& error) {
            opened.error = std::string("movanta-portsim: ") + error.what();
        }
        return opened;
    }();
    return instance;
}

PortSpace* reachable(unsigned long port)
{
    if (port >= PortSpace::port_count) {
        last_reason = "port " + std::to_string(port) + " is outside the I/O space 0-65535";
        last_failed = true;
        return nullptr;
    }
    Space& shared = shared_space();
    if (!shared.space) {
        last_reason = shared.error;
        last_failed = true;
        return nullptr;
    }
    last_failed = false;
    return shared.space.get();
}

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    PortSpace* space = reachable(port);
    return space != nullptr ? space->read(static_cast<std::uint16_t>(port)) : 0xFF;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    if (PortSpace* space = reachable(port))
        space->write(static_cast<std::uint16_t>(port), value);
}

const char* DLPORTIO_CALL DlPortLastError(void)
{
    return last_failed ? last_reason.c_str() : nullptr;
}

} // extern "C"
