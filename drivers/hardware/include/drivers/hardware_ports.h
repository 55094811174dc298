// SPDX-License-Identifier: MIT
// Real ports through ppdev or /dev/port.
#pragma once

#include "drivers/kept_open.h"
#include "drivers/parport_map.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace core { class UniqueFd; }

namespace drivers {

// Byte-wide access to x86 I/O ports the least privileged way that works: the three registers
// of a parallel port the kernel knows go through its ppdev device (group lp is enough), any
// other port through /dev/port (root or CAP_SYS_RAWIO). Each device is opened on first use and
// kept open; a device that could not be opened is tried again at the next access, so that a
// fixed permission or a loaded module needs no restart, and one whose access failed is let go
// and opened afresh at the next access.
class HardwarePorts {
public:
    struct Paths {
        std::vector<std::filesystem::path> parport_roots; // folders holding parportN/base-addr
        std::filesystem::path dev_dir; // where parportN devices live
        std::filesystem::path dev_port;
    };

    // The system's own paths; a normal run never uses anything else.
    [[nodiscard]] static Paths system_paths();

    explicit HardwarePorts(Paths paths);
    ~HardwarePorts();
    HardwarePorts(const HardwarePorts&) = delete;
    HardwarePorts& operator=(const HardwarePorts&) = delete;

    // Both return false and set reason when the port could not be reached; a failed or
    // out-of-range read gives 255, as an empty bus does. reason is left alone on success.
    [[nodiscard]] bool read(unsigned long port, std::uint8_t& value, std::string& reason);
    [[nodiscard]] bool write(unsigned long port, std::uint8_t value, std::string& reason);

private:
    using Device = KeptOpen<core::UniqueFd>;

    [[nodiscard]] const ParportMap& map();
    // Both give the open device, or nullptr with reason set.
    [[nodiscard]] core::UniqueFd* parport(std::size_t index, std::string& reason);
    [[nodiscard]] core::UniqueFd* dev_port(std::string& reason);
    // Either way: a parallel port register through ppdev, any other port through /dev/port.
    [[nodiscard]] bool access(
        unsigned long port, bool writing, std::uint8_t& value, std::string& reason);
    [[nodiscard]] bool parport_access(
        const ParportMap::Location& at, bool writing, std::uint8_t& value, std::string& reason);
    [[nodiscard]] bool dev_port_access(
        unsigned long port, bool writing, std::uint8_t& value, std::string& reason);

    Paths paths_;
    std::once_flag mapped_;
    ParportMap map_;
    std::unique_ptr<Device[]> parports_;
    Device dev_port_;
};

} // namespace drivers
