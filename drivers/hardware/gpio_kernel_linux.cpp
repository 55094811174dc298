// SPDX-License-Identifier: MIT
// GpioKernel over the GPIO character devices, with the v2 uAPI of <linux/gpio.h>.
#include "core/unique_fd.h"
#include "drivers/gpio_kernel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <utility>

using namespace core;

namespace drivers {

namespace {

// A line request's own descriptor: closing it gives the lines back.
struct LineRequest final : GpioKernel::Held {
    explicit LineRequest(UniqueFd held)
        : fd(std::move(held))
    {
    }
    UniqueFd fd;
};

class LinuxGpioKernel final : public GpioKernel {
public:
    std::vector<std::filesystem::path> chips() override
    {
        std::vector<std::filesystem::path> found;
        // The error_code increment: a listing that fails half-way ends, no throw.
        std::error_code error;
        for (std::filesystem::directory_iterator entry("/dev", error), end; !error && entry != end;
             entry.increment(error)) {
            if (entry->path().filename().string().starts_with("gpiochip"))
                found.push_back(entry->path());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    // A path under /dev that is no chip (a serial port waiting for its carrier, a FIFO) must
    // fail at the ioctl, not block the open: hence O_NONBLOCK, which a chip ignores.
    int chip_info(const std::filesystem::path& chip, ChipInfo& info) override
    {
        const UniqueFd device(open(chip.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        gpiochip_info answer {};
        if (device.get() < 0 || ioctl(device.get(), GPIO_GET_CHIPINFO_IOCTL, &answer) != 0)
            return errno;
        info.label.assign(answer.label, strnlen(answer.label, sizeof answer.label));
        info.lines = answer.lines;
        return 0;
    }

    std::unique_ptr<Held> request(
        const std::filesystem::path& chip, const Request& lines, int& error) override
    {
        gpio_v2_line_request request {};
        if (lines.offsets.size() > GPIO_V2_LINES_MAX) {
            error = EINVAL;
            return nullptr;
        }
        std::copy(lines.offsets.begin(), lines.offsets.end(), request.offsets);
        request.num_lines = static_cast<std::uint32_t>(lines.offsets.size());
        request.config.flags = lines.flags;
        lines.consumer.copy(request.consumer, sizeof request.consumer - 1);
        // The request lives on in its own descriptor; the chip's is not needed after it.
        const UniqueFd device(open(chip.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (device.get() < 0 || ioctl(device.get(), GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
            error = errno;
            return nullptr;
        }
        UniqueFd held(request.fd); // owned before anything else can fail
        return std::make_unique<LineRequest>(std::move(held));
    }

    int values(Held& lines, std::uint64_t mask, std::uint64_t& bits) override
    {
        gpio_v2_line_values values { 0, mask };
        const int fd = static_cast<LineRequest&>(lines).fd.get();
        if (ioctl(fd, GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != 0)
            return errno;
        bits = values.bits;
        return 0;
    }

    std::string granting_group(const std::filesystem::path& chip) override
    {
        struct stat info { };
        if (stat(chip.c_str(), &info) != 0 || (info.st_mode & S_IRGRP) == 0 || info.st_gid == 0)
            return {};
        const group* owner = getgrgid(info.st_gid);
        return owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
    }
};

} // namespace

std::unique_ptr<GpioKernel> linux_gpio_kernel() { return std::make_unique<LinuxGpioKernel>(); }

} // namespace drivers
