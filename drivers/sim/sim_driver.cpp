// libdlportio.so for the simulator: the C entry points over the shared PortSpace.
#include "dlportio.h"
#include "port_space.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

thread_local std::string last_reason;
thread_local bool last_failed = false;

// Opened at the first access. An access that finds it unopened tries again and, when that
// fails, reports why: a fault put right (a folder made, a file given back) needs no restart.
std::atomic<PortSpace*> opened { nullptr };
std::mutex opening;

PortSpace* shared_space(std::string& error)
{
    if (PortSpace* space = opened.load(std::memory_order_acquire))
        return space;
    const std::lock_guard lock(opening);
    if (PortSpace* space = opened.load(std::memory_order_relaxed))
        return space;
    try {
        // Kept until the process ends, as the library itself is.
        auto* space = new PortSpace(PortSpace::default_path());
        opened.store(space, std::memory_order_release);
        return space;
    } catch (const std::exception& failure) {
        error = std::string("movanta-portsim: ") + failure.what();
        return nullptr;
    }
}

PortSpace* reachable(unsigned long port)
{
    if (port >= PortSpace::port_count) {
        last_reason = "port " + std::to_string(port) + " is outside the I/O space 0-65535";
        last_failed = true;
        return nullptr;
    }
    PortSpace* space = shared_space(last_reason);
    last_failed = space == nullptr;
    return space;
}

} // namespace

extern "C" {

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    PortSpace* space = reachable(port);
    try {
        return space != nullptr ? space->read(static_cast<std::uint16_t>(port)) : 0xFF;
    } catch (const std::exception& failure) { // the file was truncated under us
        last_reason = std::string("movanta-portsim: ") + failure.what();
        last_failed = true;
        return 0xFF;
    }
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    try {
        if (PortSpace* space = reachable(port))
            space->write(static_cast<std::uint16_t>(port), value);
    } catch (const std::exception& failure) { // the file was truncated under us
        last_reason = std::string("movanta-portsim: ") + failure.what();
        last_failed = true;
    }
}

const char* DLPORTIO_CALL DlPortLastError(void)
{
    return last_failed ? last_reason.c_str() : nullptr;
}

} // extern "C"
