// SPDX-License-Identifier: MIT
// Reads mapped ports from GPIO lines and says what stands in the way when it can't.
#include "drivers/gpio_ports.h"

#include "drivers/shown_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/gpio.h>
#include <utility>

namespace drivers {

namespace {

constexpr std::string_view label_prefix = "label:";
constexpr std::string_view numbered_prefix = "gpiochip";
// What other programs (gpioinfo) show as the lines' holder.
constexpr const char* consumer = "movanta";

std::uint64_t request_flags(const GpioMapping& mapping)
{
    std::uint64_t flags = GPIO_V2_LINE_FLAG_INPUT;
    if (mapping.active_low)
        flags |= GPIO_V2_LINE_FLAG_ACTIVE_LOW;
    switch (mapping.bias) {
    case GpioBias::AsIs:
        break;
    case GpioBias::PullUp:
        flags |= GPIO_V2_LINE_FLAG_BIAS_PULL_UP;
        break;
    case GpioBias::PullDown:
        flags |= GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN;
        break;
    case GpioBias::Disabled:
        flags |= GPIO_V2_LINE_FLAG_BIAS_DISABLED;
        break;
    }
    return flags;
}

std::string line_list(const std::vector<std::uint32_t>& lines)
{
    std::string text = lines.size() == 1 ? "line" : "lines";
    for (const auto line : lines)
        text += " " + std::to_string(line);
    return text;
}

} // namespace

struct GpioPorts::Lines {
    std::unique_ptr<GpioKernel::Held> held;
    std::string name; // the device and its label, for messages
};

GpioPorts::GpioPorts(std::unique_ptr<GpioKernel> kernel, std::function<PortsFile()> load)
    : kernel_(std::move(kernel))
    , load_(std::move(load))
{
}

GpioPorts::~GpioPorts() = default;

GpioPorts::Access GpioPorts::read(unsigned long port, std::uint8_t& value, std::string& reason)
{
    value = 0xFF;
    Port* at = find(port, reason);
    if (at == nullptr)
        return file_error_.empty() ? Access::NotMapped : Access::Failed;
    const auto lines = at->lines.get([&] { return request(at->mapping, reason); });
    if (!lines)
        return Access::Failed;
    const std::uint64_t mask = (std::uint64_t { 1 } << at->mapping.lines.size()) - 1;
    std::uint64_t bits = 0;
    if (const int error = kernel_->values(*lines->held, mask, bits); error != 0) {
        reason = lines->name + ": reading " + line_list(at->mapping.lines) + ": "
            + std::strerror(error);
        if (error == ENODEV)
            reason += ": the chip has gone; it is looked for again at the next access";
        at->lines.let_go(lines);
        return Access::Failed;
    }
    // Bits without a line read 1, as an open input does.
    value = static_cast<std::uint8_t>((bits & mask) | (0xFF & ~mask));
    return Access::Done;
}

GpioPorts::Access GpioPorts::write(unsigned long port, std::string& reason)
{
    if (find(port, reason) != nullptr)
        return Access::Done;
    return file_error_.empty() ? Access::NotMapped : Access::Failed;
}

GpioPorts::Port* GpioPorts::find(unsigned long port, std::string& reason)
{
    // Built aside and swapped in: a load that throws half-way (memory running out) leaves
    // nothing behind, and call_once runs it again at the next access.
    std::call_once(loaded_, [this] {
        PortsFile file = load_();
        std::deque<Port> loaded;
        for (auto& mapping : file.ports)
            loaded.emplace_back().mapping = std::move(mapping);
        ports_.swap(loaded);
        file_error_.swap(file.error);
    });
    if (!file_error_.empty()) {
        reason = file_error_;
        return nullptr;
    }
    const auto at = std::find_if(ports_.begin(), ports_.end(),
        [&](const Port& known) { return known.mapping.port == port; });
    return at != ports_.end() ? &*at : nullptr;
}

std::unique_ptr<GpioPorts::Lines> GpioPorts::request(
    const GpioMapping& mapping, std::string& reason)
{
    GpioKernel::ChipInfo info;
    const auto device = chip_device(mapping.chip, info, reason);
    if (device.empty())
        return nullptr;
    // The label is the chip driver's: a USB part's may hold anything.
    const std::string name = shown_text::plain(device.string())
        + (info.label.empty() ? "" : " (label " + shown_text::plain(info.label) + ")");
    for (const auto line : mapping.lines) {
        if (line >= info.lines) {
            reason = name + ": line " + std::to_string(line) + " is out of range: the chip has "
                + (info.lines == 0 ? std::string("no lines")
                                   : "lines 0-" + std::to_string(info.lines - 1));
            return nullptr;
        }
    }
    int error = 0;
    auto held
        = kernel_->request(device, { mapping.lines, request_flags(mapping), consumer }, error);
    if (!held) {
        reason = failure(device, error);
        if (error == EBUSY)
            reason = name + ": " + std::strerror(EBUSY) + ": another program holds "
                + (mapping.lines.size() == 1 ? "" : "one of ") + line_list(mapping.lines);
        return nullptr;
    }
    return std::make_unique<Lines>(Lines { std::move(held), name });
}

std::filesystem::path GpioPorts::chip_device(
    const std::string& chip, GpioKernel::ChipInfo& info, std::string& reason)
{
    if (chip.starts_with(label_prefix)) {
        const std::string label = chip.substr(label_prefix.size());
        std::string refused; // why a chip could not be asked for its label
        for (const auto& device : kernel_->chips()) {
            GpioKernel::ChipInfo candidate;
            if (const int error = kernel_->chip_info(device, candidate); error != 0) {
                if (refused.empty())
                    refused = failure(device, error);
                continue;
            }
            if (candidate.label == label) {
                info = candidate;
                return device;
            }
        }
        reason = "no GPIO chip has the label " + shown_text::plain(label);
        if (!refused.empty())
            reason += " (not every chip could be asked: " + refused + ")";
        return {};
    }
    const std::filesystem::path device = chip.starts_with(numbered_prefix) ? "/dev/" + chip : chip;
    if (const int error = kernel_->chip_info(device, info); error != 0) {
        reason = failure(device, error);
        return {};
    }
    return device;
}

std::string GpioPorts::failure(const std::filesystem::path& chip, int error)
{
    const std::string shown = shown_text::plain(chip.string());
    std::string text = shown + ": " + std::strerror(error);
    if (error == ENOENT || error == ENODEV) {
        text = shown + ": no such GPIO chip (" + std::strerror(error) + ")";
    } else if (error == EACCES || error == EPERM) {
        const std::string group = kernel_->granting_group(chip);
        if (!group.empty())
            text += ": group " + group + " may open it; add the user to it (usermod -aG " + group
                + " USER) and log in again";
        else
            text += ": only root may open it; a udev rule can give it to a group such as gpio "
                    "(see docs/gpio.md)";
    }
    return text;
}

} // namespace drivers
