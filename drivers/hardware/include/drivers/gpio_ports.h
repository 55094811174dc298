// SPDX-License-Identifier: MIT
// Ports read from GPIO lines, as the ports file maps them.
#pragma once

#include "drivers/gpio_kernel.h"
#include "drivers/gpio_ports_file.h"
#include "drivers/kept_open.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace drivers {

// A mapped port's lines are requested as inputs at its first access and the request is kept;
// each read asks for all of them at once. A request that fails, or whose chip has gone, is
// made afresh at the next access. Writes change nothing: the lines are inputs.
class GpioPorts {
public:
    enum class Access {
        NotMapped, // the port is not in the ports file: another way must reach it
        Done,
        Failed, // reason says why
    };

    // load gives the ports file; it runs once, at the first access.
    GpioPorts(std::unique_ptr<GpioKernel> kernel, std::function<PortsFile()> load);
    ~GpioPorts();
    GpioPorts(const GpioPorts&) = delete;
    GpioPorts& operator=(const GpioPorts&) = delete;

    // A bad ports file fails every access, mapped or not: which ports it meant is unknown.
    // A failed read gives 255.
    [[nodiscard]] Access read(unsigned long port, std::uint8_t& value, std::string& reason);
    [[nodiscard]] Access write(unsigned long port, std::string& reason);

private:
    struct Lines;
    struct Port {
        GpioMapping mapping;
        KeptOpen<Lines> lines;
    };

    // nullptr when the port is not mapped or the file is bad (then reason is set).
    [[nodiscard]] Port* find(unsigned long port, std::string& reason);
    [[nodiscard]] std::unique_ptr<Lines> request(const GpioMapping& mapping, std::string& reason);
    // The chip's device, or "" with reason set.
    [[nodiscard]] std::filesystem::path chip_device(
        const std::string& chip, GpioKernel::ChipInfo& info, std::string& reason);
    [[nodiscard]] std::string failure(const std::filesystem::path& chip, int error);

    std::unique_ptr<GpioKernel> kernel_; // first: the kept requests are its own, gone before it
    std::function<PortsFile()> load_;
    std::once_flag loaded_;
    std::string file_error_;
    std::deque<Port> ports_; // a deque: Port cannot move
};

} // namespace drivers
