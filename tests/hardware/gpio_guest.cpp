// SPDX-License-Identifier: MIT
// Runs inside the QEMU guest: checks the hardware driver's GPIO ports against the test module's
// chip (label movanta-test, 16 lines whose inputs a module parameter sets), one phase per run.
// Each phase writes the ports file and names it in MOVANTA_PORTS while still root.
//
// Usage: gpio-guest LIBRARY PHASE
//   gpio          root: values, line order, active-low, writes, a busy line, the chip removed
//                 and added again, the time per read
//   gpio-denied   uid 65534 without groups; the chip is group gpio (997), mode 0660
//   gpio-group    uid 65534 in group gpio
#include "guest_support.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char* chip_label = "movanta-test";
constexpr const char* parameters = "/sys/module/movanta_gpio_test/parameters/";
constexpr const char* ports_file = "/tmp/movanta-ports.conf";
constexpr gid_t gpio_group = 997;

// The ports file maps these, and gpio_guest writes it so:
constexpr unsigned long all_eight = 0x300; // label:movanta-test 0 1 2 3 4 5 6 7
constexpr unsigned long three_low = 0x301; // /dev/gpiochipN 10 9 8 active-low bias=pull-up
constexpr unsigned long held_line = 0x302; // gpiochipN 12
constexpr std::uint32_t held_offset = 12;

std::string find_chip()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        if (!entry.path().filename().string().starts_with("gpiochip"))
            continue;
        const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        gpiochip_info info {};
        const bool ours = fd >= 0 && ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0
            && std::strcmp(info.label, chip_label) == 0;
        if (fd >= 0)
            close(fd);
        if (ours)
            return entry.path().string();
    }
    return {};
}

Step set_parameter(const char* name, unsigned value)
{
    return act([name, value](std::string& why_not) -> std::string {
        std::ofstream(std::string(parameters) + name) << value << '\n' << std::flush;
        std::ifstream back(std::string(parameters) + name);
        std::string text;
        back >> text;
        if (text != std::to_string(value)) {
            why_not = std::string("could not set ") + parameters + name + " to "
                + std::to_string(value) + ": " + std::strerror(errno);
            return {};
        }
        return std::string(name) + "=" + hex(value);
    });
}

Step inputs(unsigned value) { return set_parameter("values", value); }

// Another program's hold on a line, for the busy check.
int holder = -1;

Step hold(const std::string& chip)
{
    return act([chip](std::string& why_not) -> std::string {
        gpio_v2_line_request request {};
        request.offsets[0] = held_offset;
        request.num_lines = 1;
        request.config.flags = GPIO_V2_LINE_FLAG_INPUT;
        std::strcpy(request.consumer, "holder");
        const int fd = open(chip.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ioctl(fd, GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
            why_not = "could not hold line 12 of " + chip + ": " + std::strerror(errno);
            return {};
        }
        close(fd);
        holder = request.fd;
        return "line 12 held by another consumer";
    });
}

Step let_go()
{
    return act([](std::string&) -> std::string {
        close(holder);
        return "line 12 let go";
    });
}

// What the kernel says of a line: who holds it and how.
Step line_is(const std::string& chip, std::uint32_t offset, std::uint64_t flags)
{
    return act([=](std::string& why_not) -> std::string {
        gpio_v2_line_info info {};
        info.offset = offset;
        const int fd = open(chip.c_str(), O_RDONLY | O_CLOEXEC);
        const bool asked = fd >= 0 && ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &info) == 0;
        if (fd >= 0)
            close(fd);
        const std::string seen = "line " + std::to_string(offset) + " consumer " + info.consumer
            + " flags " + hex(info.flags);
        if (!asked || std::strcmp(info.consumer, "movanta") != 0 || (info.flags & flags) != flags) {
            why_not = seen + ", expected consumer movanta and flags " + hex(flags);
            return {};
        }
        return seen;
    });
}

Step time_reads(const Driver& driver)
{
    return act([&driver](std::string& why_not) -> std::string {
        constexpr int reads = 20000;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < reads; ++i) {
            driver.read(all_eight);
            if (driver.last_error() != nullptr) {
                why_not = std::string("read failed: ") + driver.last_error();
                return {};
            }
        }
        const std::chrono::duration<double, std::micro> spent
            = std::chrono::steady_clock::now() - start;
        std::printf("INFO gpio read of a mapped port: %.2f us per read (%d reads of 0x%lX, "
                    "one GPIO_V2_LINE_GET_VALUES_IOCTL each, under TCG emulation)\n",
            spent.count() / reads, reads, all_eight);
        return std::to_string(reads) + " reads";
    });
}

std::vector<Check> checks_as_root(const std::string& chip, const Driver& driver)
{
    const std::string named = chip + " (label movanta-test)";
    constexpr std::uint64_t input = GPIO_V2_LINE_FLAG_USED | GPIO_V2_LINE_FLAG_INPUT;
    return {
        { "values",
            { inputs(0x00), in(all_eight, 0x00), inputs(0xFF), in(all_eight, 0xFF), inputs(0x5A),
                in(all_eight, 0x5A), inputs(0xA5), in(all_eight, 0xA5), inputs(0x01),
                in(all_eight, 0x01), inputs(0x80), in(all_eight, 0x80) } },
        { "requested_as_inputs", { line_is(chip, 0, input), line_is(chip, 7, input) } },
        // Bit 0 is line 10, bit 2 line 8, each inverted; bits 3-7 have no line and read 1.
        { "order_active_low_unmapped_bits",
            { inputs(0x000), in(three_low, 0xFF), inputs(0x100), in(three_low, 0xFB), inputs(0x400),
                in(three_low, 0xFE), inputs(0x700), in(three_low, 0xF8),
                line_is(chip, 10,
                    input | GPIO_V2_LINE_FLAG_ACTIVE_LOW | GPIO_V2_LINE_FLAG_BIAS_PULL_UP) } },
        { "write_changes_nothing", { inputs(0x5A), out(all_eight, 0x00), in(all_eight, 0x5A) } },
        { "busy",
            { hold(chip),
                in(held_line, 0xFF,
                    { named, "Device or resource busy", "another program holds line 12" }),
                let_go(), inputs(0x1000), in(held_line, 0xFF), inputs(0), in(held_line, 0xFE) } },
        { "time_per_read", { time_reads(driver) } },
        // Last: Debian 12's kernel never frees a removed chip whose lines were requested, so the
        // chip comes back under another number than the one the ports file names. Every port
        // on it reports the loss at its next read and lets its request go.
        { "chip_gone_and_back",
            { inputs(0xA5), in(all_eight, 0xA5), set_parameter("present", 0),
                in(all_eight, 0xFF, { named, "No such device", "the chip has gone" }),
                in(three_low, 0xFF, { named, "No such device" }),
                in(held_line, 0xFF, { named, "No such device" }),
                in(all_eight, 0xFF, { "no GPIO chip has the label movanta-test" }),
                in(three_low, 0xFF, { chip, "no such GPIO chip" }), set_parameter("present", 1),
                inputs(0x3C), in(all_eight, 0x3C) } },
    };
}

std::vector<Check> checks_denied(const std::string& chip)
{
    return {
        { "by_label",
            { in(all_eight, 0xFF,
                { "no GPIO chip has the label movanta-test", chip, "Permission denied",
                    "gpio" }) } },
        { "by_path",
            { in(three_low, 0xFF, { chip, "Permission denied", "group gpio may open it" }) } },
        { "write_changes_nothing", { out(all_eight, 0x00) } },
    };
}

std::vector<Check> checks_in_group()
{
    return {
        { "values",
            { inputs(0x5A), in(all_eight, 0x5A), inputs(0xA5), in(all_eight, 0xA5), inputs(0x00),
                in(all_eight, 0x00), inputs(0xFF), in(all_eight, 0xFF) } },
        { "order_active_low_unmapped_bits",
            { inputs(0x100), in(three_low, 0xFB), inputs(0x400), in(three_low, 0xFE) } },
    };
}

// Empty when the file is written and named.
std::string write_ports_file(const std::string& chip)
{
    const std::string number = std::filesystem::path(chip).filename().string();
    std::ofstream file(ports_file);
    file << "# The test chip's lines as the guest's checks read them.\n"
         << "0x300 = label:movanta-test 0 1 2 3 4 5 6 7\n"
         << "0x301 = " << chip << " 10 9 8 active-low bias=pull-up\n"
         << "0x302 = " << number << " 12  # held by another consumer in the busy check\n";
    if (!file.flush())
        return std::string("could not write ") + ports_file;
    setenv("MOVANTA_PORTS", ports_file, 1);
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    const std::string phase = argc == 3 ? argv[2] : "";
    if (phase != "gpio" && phase != "gpio-denied" && phase != "gpio-group") {
        std::fprintf(stderr, "usage: %s LIBRARY gpio|gpio-denied|gpio-group\n", argv[0]);
        return 2;
    }
    GuestReport report(phase);
    const std::string chip = find_chip();
    std::string problem = chip.empty() ? "no chip has the label movanta-test" : "";
    if (problem.empty() && geteuid() != 0)
        problem = "must start as root";
    if (problem.empty())
        problem = write_ports_file(chip);
    if (problem.empty() && phase != "gpio")
        problem = drop_privileges(
            phase == "gpio-group" ? std::vector<gid_t> { gpio_group } : std::vector<gid_t> {});
    report.check("setup", problem, chip + ", uid " + std::to_string(geteuid()));

    Driver driver;
    const std::string unloaded = load_driver(argv[1], driver);
    report.check("load", unloaded, argv[1]);
    if (problem.empty() && unloaded.empty()) {
        run_checks(driver,
            phase == "gpio"             ? checks_as_root(chip, driver)
                : phase == "gpio-group" ? checks_in_group()
                                        : checks_denied(chip),
            report);
    }
    return report.finish();
}
