// SPDX-License-Identifier: MIT
// The few calls the GPIO ports make on the kernel's GPIO character devices (v2 uAPI).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace drivers {

// The narrow seam between the GPIO ports and the kernel, so that a test can put a fake chip
// in its place. Errors are errno values.
class GpioKernel {
public:
    struct ChipInfo {
        std::string label;
        std::uint32_t lines = 0;
    };

    struct Request {
        std::vector<std::uint32_t> offsets;
        std::uint64_t flags = 0; // GPIO_V2_LINE_FLAG_*, for every line
        std::string consumer;
    };

    // Lines requested from a chip, held until destroyed.
    class Held {
    public:
        virtual ~Held() = default;
    };

    virtual ~GpioKernel() = default;

    // The chip devices there are now, e.g. /dev/gpiochip0.
    [[nodiscard]] virtual std::vector<std::filesystem::path> chips() = 0;
    // 0, or the errno of opening or asking the chip.
    [[nodiscard]] virtual int chip_info(const std::filesystem::path& chip, ChipInfo& info) = 0;
    // The lines, or nullptr with error set to the errno.
    [[nodiscard]] virtual std::unique_ptr<Held> request(
        const std::filesystem::path& chip, const Request& lines, int& error)
        = 0;
    // Bit i of bits is the value of offsets[i] where mask has bit i; 0 or errno. lines is one
    // that this kernel's request() gave.
    [[nodiscard]] virtual int values(Held& lines, std::uint64_t mask, std::uint64_t& bits) = 0;
    // The group that may open the chip (its group may read it), or "" if none.
    [[nodiscard]] virtual std::string granting_group(const std::filesystem::path& chip) = 0;
};

// The real one, over /dev/gpiochip* and <linux/gpio.h>.
[[nodiscard]] std::unique_ptr<GpioKernel> linux_gpio_kernel();

} // namespace drivers
