#include "hardware_ports.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr unsigned long highest_port = 0xFFFF;

std::string system_reason(const std::filesystem::path& device, const char* what, int error)
{
    std::string text = device.string() + ": ";
    if (what != nullptr) {
        text += what;
        text += ": ";
    }
    return text + std::strerror(error);
}

} // namespace

HardwarePorts::Paths HardwarePorts::system_paths()
{
    return { { "/proc/sys/dev/parport", "/sys/class/parport" }, "/dev", "/dev/port" };
}

HardwarePorts::HardwarePorts(Paths paths)
    : paths_(std::move(paths))
{
}

HardwarePorts::~HardwarePorts()
{
    for (std::size_t i = 0; i < map_.ports().size(); ++i) {
        if (parports_[i].fd >= 0) {
            ioctl(parports_[i].fd, PPRELEASE);
            close(parports_[i].fd);
        }
    }
    if (dev_port_.fd >= 0)
        close(dev_port_.fd);
}

bool HardwarePorts::read(unsigned long port, std::uint8_t& value, std::string& reason)
{
    value = 0xFF;
    return access(port, false, value, reason);
}

bool HardwarePorts::write(unsigned long port, std::uint8_t value, std::string& reason)
{
    return access(port, true, value, reason);
}

bool HardwarePorts::access(unsigned long port, bool writing, std::uint8_t& value,
    std::string& reason)
{
    if (port > highest_port) {
        reason = "port " + std::to_string(port) + " is outside the I/O space 0-65535";
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

int HardwarePorts::parport(std::size_t index, std::string& reason)
{
    Device& device = parports_[index];
    if (const int fd = device.fd.load(std::memory_order_acquire); fd >= 0)
        return fd;
    const std::lock_guard lock(device.opening);
    if (const int fd = device.fd.load(std::memory_order_relaxed); fd >= 0)
        return fd;
    const auto& path = map_.ports()[index].device;
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = system_reason(path, nullptr, errno);
        return -1;
    }
    // Waits while another driver (lp) holds the port; shared, never PPEXCL.
    if (ioctl(fd, PPCLAIM) != 0) {
        reason = system_reason(path, "PPCLAIM", errno);
        close(fd);
        return -1;
    }
    device.fd.store(fd, std::memory_order_release);
    return fd;
}

int HardwarePorts::dev_port(std::string& reason)
{
    if (const int fd = dev_port_.fd.load(std::memory_order_acquire); fd >= 0)
        return fd;
    const std::lock_guard lock(dev_port_.opening);
    if (const int fd = dev_port_.fd.load(std::memory_order_relaxed); fd >= 0)
        return fd;
    const int fd = open(paths_.dev_port.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = system_reason(paths_.dev_port, nullptr, errno);
        return -1;
    }
    dev_port_.fd.store(fd, std::memory_order_release);
    return fd;
}

bool HardwarePorts::parport_access(
    const ParportMap::Location& at, bool writing, std::uint8_t& value, std::string& reason)
{
    const int fd = parport(at.index, reason);
    if (fd < 0)
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
    if (ioctl(fd, request, &byte) != 0) {
        reason = system_reason(map_.ports()[at.index].device, name, errno);
        value = 0xFF;
        return false;
    }
    value = byte;
    return true;
}

bool HardwarePorts::dev_port_access(
    unsigned long port, bool writing, std::uint8_t& value, std::string& reason)
{
    const int fd = dev_port(reason);
    if (fd < 0) {
        value = 0xFF;
        return false;
    }
    unsigned char byte = value;
    const auto offset = static_cast<off_t>(port);
    const ssize_t done
        = writing ? pwrite(fd, &byte, 1, offset) : pread(fd, &byte, 1, offset);
    if (done == 1) {
        value = byte;
        return true;
    }
    // 0 means the device ended before this port: no errno to go by, and never worth a retry.
    reason = done == 0 ? paths_.dev_port.string() + ": no port " + std::to_string(port)
                       : system_reason(paths_.dev_port, writing ? "write" : "read", errno);
    value = 0xFF;
    return false;
}
