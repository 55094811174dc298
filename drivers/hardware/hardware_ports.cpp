// SPDX-License-Identifier: MIT
// Real ports through ppdev or /dev/port, each device kept open while it works.
#include "drivers/hardware_ports.h"
#include "drivers/driver_status.h"
#include "drivers/shown_text.h"
#include "core/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

using namespace core;

namespace drivers {

namespace {

std::string system_reason(const std::filesystem::path& device, const char* what, int error)
{
    std::string text = shown_text::plain(device.string()) + ": ";
    if (what != nullptr) {
        text += what;
        text += ": ";
    }
    return text + std::strerror(error);
}

// Released before it is closed, so that lp or another program can claim the port.
struct ClaimedParport : UniqueFd {
    using UniqueFd::UniqueFd;
    ~ClaimedParport() { ioctl(get(), PPRELEASE); }
    ClaimedParport(const ClaimedParport&) = delete;
    ClaimedParport& operator=(const ClaimedParport&) = delete;
};

} // namespace

HardwarePorts::Paths HardwarePorts::system_paths()
{
    return { { "/proc/sys/dev/parport", "/sys/class/parport" }, "/dev", "/dev/port" };
}

HardwarePorts::HardwarePorts(Paths paths)
    : paths_(std::move(paths))
{
}

HardwarePorts::~HardwarePorts() = default;

bool HardwarePorts::read(unsigned long port, std::uint8_t& value, std::string& reason)
{
    value = 0xFF;
    return access(port, false, value, reason);
}

bool HardwarePorts::write(unsigned long port, std::uint8_t value, std::string& reason)
{
    return access(port, true, value, reason);
}

bool HardwarePorts::access(
    unsigned long port, bool writing, std::uint8_t& value, std::string& reason)
{
    if (port > driver_status::highest_port) {
        reason = driver_status::outside_io_space(port);
        return false;
    }
    if (const auto at = map().find(static_cast<std::uint32_t>(port)))
        return parport_access(*at, writing, value, reason);
    return dev_port_access(port, writing, value, reason);
}

const ParportMap& HardwarePorts::map()
{
    std::call_once(mapped_, [this] {
        map_ = ParportMap::scan(paths_.parport_roots, paths_.dev_dir);
        parports_ = std::make_unique<Device[]>(map_.ports().size());
    });
    return map_;
}

UniqueFd* HardwarePorts::parport(std::size_t index, std::string& reason)
{
    return parports_[index].get([&]() -> std::unique_ptr<UniqueFd> {
        const auto& path = map_.ports()[index].device;
        UniqueFd device(open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (device.get() < 0) {
            reason = system_reason(path, nullptr, errno);
            return nullptr;
        }
        // Waits while another driver (lp) holds the port; shared, never PPEXCL.
        if (ioctl(device.get(), PPCLAIM) != 0) {
            reason = system_reason(path, "PPCLAIM", errno);
            return nullptr;
        }
        return std::make_unique<ClaimedParport>(device.release());
    });
}

UniqueFd* HardwarePorts::dev_port(std::string& reason)
{
    return dev_port_.get([&]() -> std::unique_ptr<UniqueFd> {
        auto device
            = std::make_unique<UniqueFd>(open(paths_.dev_port.c_str(), O_RDWR | O_CLOEXEC));
        if (device->get() < 0) {
            reason = system_reason(paths_.dev_port, nullptr, errno);
            return nullptr;
        }
        return device;
    });
}

bool HardwarePorts::parport_access(
    const ParportMap::Location& at, bool writing, std::uint8_t& value, std::string& reason)
{
    const auto device = parport(at.index, reason);
    if (!device)
        return false;
    unsigned long request = 0;
    const char* name = nullptr;
    switch (at.reg) {
    case ParportMap::Register::Data:
        request = writing ? PPWDATA : PPRDATA;
        name = writing ? "PPWDATA" : "PPRDATA";
        break;
    case ParportMap::Register::Status:
        // Read-only on the port itself: a write there changes nothing.
        if (writing)
            return true;
        request = PPRSTATUS;
        name = "PPRSTATUS";
        break;
    case ParportMap::Register::Control:
        request = writing ? PPWCONTROL : PPRCONTROL;
        name = writing ? "PPWCONTROL" : "PPRCONTROL";
        break;
    }
    unsigned char byte = value;
    if (ioctl(device->get(), request, &byte) != 0) {
        reason = system_reason(map_.ports()[at.index].device, name, errno);
        // A port that went (a USB adapter unplugged) is opened and claimed afresh next time.
        parports_[at.index].let_go(device);
        value = 0xFF;
        return false;
    }
    value = byte;
    return true;
}

bool HardwarePorts::dev_port_access(
    unsigned long port, bool writing, std::uint8_t& value, std::string& reason)
{
    const auto device = dev_port(reason);
    if (!device) {
        value = 0xFF;
        return false;
    }
    const int fd = device->get();
    unsigned char byte = value;
    const auto offset = static_cast<off_t>(port);
    const ssize_t done = writing ? pwrite(fd, &byte, 1, offset) : pread(fd, &byte, 1, offset);
    if (done == 1) {
        value = byte;
        return true;
    }
    // 0 means the device ended before this port: no errno to go by, and the device itself
    // works. A failure of the device is let go, so that the next access opens it afresh.
    if (done == 0) {
        reason = shown_text::plain(paths_.dev_port.string()) + ": no port " + std::to_string(port);
    } else {
        reason = system_reason(paths_.dev_port, writing ? "write" : "read", errno);
        dev_port_.let_go(device);
    }
    value = 0xFF;
    return false;
}

} // namespace drivers
