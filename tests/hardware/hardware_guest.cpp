// SPDX-License-Identifier: MIT
// Runs inside the QEMU guest: loads a port driver library by path and checks it against the
// emulated ISA parallel port at 0x378, one phase per run. Prints one line per check,
// "OK phase/name: ..." or "FAIL phase/name: ...", then "SUMMARY phase: N ok, M failed";
// the host script fails on any FAIL line or a missing summary.
//
// Usage: hardware-guest LIBRARY PHASE
//   ppdev           root, ppdev loaded: 0x378-0x37A go through /dev/parport0
//   devport         root, parport modules unloaded: every port goes through /dev/port
//   denied-ppdev    ppdev loaded; started as root, drops to uid 65534 before loading
//   group-lp        ppdev loaded, /dev/parport0 and /dev/port group lp (7), mode 0660;
//                   drops to uid 65534 with the supplementary group lp
//   denied-devport  parport modules unloaded; drops to uid 65534
#include "guest_support.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr unsigned long data_port = 0x378;
constexpr unsigned long status_port = 0x379;
constexpr unsigned long control_port = 0x37A;
constexpr unsigned long unused_port = 0x37B; // QEMU decodes only base..base+2
constexpr unsigned long last_port = 0xFFFF;
constexpr unsigned long past_last_port = 0x10000;
constexpr unsigned long minus_one = 4294967295; // how the tool passes the port number -1

// QEMU's port with nothing attached: BUSY, ACK, SELECT and ERROR read high.
constexpr unsigned char idle_status = 0xD8;
// QEMU plays a printer's handshake after a strobe: it takes the byte (BUSY low), acknowledges
// on the next status read (ACK low), and is busy again on the one after.
constexpr unsigned char taken_status = 0x58;
constexpr unsigned char acknowledged_status = 0x18;
// Control is written as nInit and SELECT-IN (0x0C) or nInit alone (0x04). ppdev answers
// PPRCONTROL from the kernel's copy of those four output lines; the register itself reads
// its two unused bits high.
struct ControlReadback {
    unsigned char both;
    unsigned char init_only;
};
constexpr ControlReadback ppdev_control = { 0x0C, 0x04 };
constexpr ControlReadback register_control = { 0xCC, 0xC4 };
constexpr unsigned char empty_bus = 0xFF;
// Strobed out to the host's file, one per root phase, so that the host sees real writes.
constexpr unsigned char ppdev_strobed = 0xA5;
constexpr unsigned char devport_strobed = 0x5A;

const std::string permission_denied = "Permission denied";
// A reason of any wording: the driver only has to say that the port was out of reach.
const std::vector<std::string> any_reason = { "" };

std::vector<Check> checks_with_access(ControlReadback control, unsigned char strobed)
{
    return {
        { "data_255", { out(data_port, 0xFF), in(data_port, 0xFF) } },
        // 255 alone could be an empty bus or a failed read: two patterns prove the latch.
        { "data_5A", { out(data_port, 0x5A), in(data_port, 0x5A) } },
        { "data_A5", { out(data_port, 0xA5), in(data_port, 0xA5) } },
        { "status", { in(status_port, idle_status) } },
        { "status_read_only", { out(status_port, 0x00), in(status_port, idle_status) } },
        { "control",
            { out(control_port, 0x0C), in(control_port, control.both), out(control_port, 0x04),
                in(control_port, control.init_only), out(control_port, 0x0C),
                in(control_port, control.both) } },
        // Reads the status until the port is idle again, so that the checks' order is free.
        { "strobe",
            { out(data_port, strobed), out(control_port, 0x0D), out(control_port, 0x0C),
                in(data_port, strobed), in(status_port, taken_status),
                in(status_port, acknowledged_status), in(status_port, idle_status),
                in(status_port, idle_status) } },
        { "unused_port", { in(unused_port, empty_bus) } },
        { "last_port", { in(last_port, empty_bus) } },
        { "read_past_last_port", { in(past_last_port, empty_bus, any_reason) } },
        { "write_past_last_port",
            { out(data_port, 0x5A), out(past_last_port, 0xA5, any_reason), in(data_port, 0x5A) } },
        { "read_minus_one", { in(minus_one, empty_bus, any_reason) } },
        // A failure must not stick to the next call.
        { "error_cleared",
            { in(past_last_port, empty_bus, any_reason), in(status_port, idle_status) } },
    };
}

std::vector<Check> checks_denied(std::string_view parport_device)
{
    const std::vector<std::string> parport = { std::string(parport_device), permission_denied };
    const std::vector<std::string> dev_port = { "/dev/port", permission_denied };
    return {
        { "read_data", { in(data_port, empty_bus, parport) } },
        { "write_data", { out(data_port, 0x00, parport) } },
        { "read_status", { in(status_port, empty_bus, parport) } },
        { "read_control", { in(control_port, empty_bus, parport) } },
        { "read_unused_port", { in(unused_port, empty_bus, dev_port) } },
        { "write_unused_port", { out(unused_port, 0x00, dev_port) } },
        // A device that refused once is refused again, not retried into a different answer.
        { "read_data_again", { in(data_port, empty_bus, parport) } },
        { "read_past_last_port", { in(past_last_port, empty_bus, any_reason) } },
    };
}

// Group lp on /dev/parport0 is all the parallel port needs; the same group on /dev/port is
// not enough, as the kernel also wants CAP_SYS_RAWIO there.
std::vector<Check> checks_group_lp()
{
    const std::vector<std::string> no_rawio = { "/dev/port", "Operation not permitted" };
    return {
        // The ppdev phase's last data write is 0x5A (write_past_last_port); the denied phase's
        // write of 0x00 in between must not have reached the port.
        { "denied_write_left_no_trace", { in(data_port, 0x5A) } },
        { "data_5A", { out(data_port, 0x5A), in(data_port, 0x5A) } },
        { "data_A5", { out(data_port, 0xA5), in(data_port, 0xA5) } },
        { "status", { in(status_port, idle_status) } },
        { "control", { out(control_port, 0x0C), in(control_port, ppdev_control.both) } },
        { "read_unused_port", { in(unused_port, empty_bus, no_rawio) } },
    };
}

struct Phase {
    std::string_view name;
    bool parport_loaded;
    bool unprivileged;
    std::vector<gid_t> groups; // the supplementary groups of an unprivileged phase
    std::vector<Check> checks;
};

std::vector<Phase> phases()
{
    constexpr gid_t lp = 7;
    return {
        { "ppdev", true, false, {}, checks_with_access(ppdev_control, ppdev_strobed) },
        { "denied-ppdev", true, true, {}, checks_denied("/dev/parport0") },
        { "group-lp", true, true, { lp }, checks_group_lp() },
        { "devport", false, false, {}, checks_with_access(register_control, devport_strobed) },
        { "denied-devport", false, true, {}, checks_denied("/dev/port") },
    };
}

// What the phase needs around it; empty when it holds.
std::string setup_problem(std::string_view phase, bool parport_loaded, bool unprivileged)
{
    const bool has_parport = access("/dev/parport0", F_OK) == 0;
    if (parport_loaded && !has_parport)
        return "/dev/parport0 is missing";
    if (!parport_loaded && (has_parport || access("/proc/sys/dev/parport", F_OK) == 0))
        return "the parport modules are still loaded";
    if (unprivileged && geteuid() == 0)
        return std::string(phase) + " must run as a user other than root";
    if (!unprivileged && geteuid() != 0)
        return std::string(phase) + " must run as root";
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    const auto all = phases();
    const auto chosen = argc == 3
        ? std::find_if(all.begin(), all.end(), [&](const Phase& p) { return p.name == argv[2]; })
        : all.end();
    if (chosen == all.end()) {
        std::fprintf(stderr, "usage: %s LIBRARY PHASE, where PHASE is one of:", argv[0]);
        for (const auto& p : all)
            std::fprintf(stderr, " %.*s", static_cast<int>(p.name.size()), p.name.data());
        std::fprintf(stderr, "\n");
        return 2;
    }
    const Phase& phase = *chosen;
    GuestReport report(argv[2]);

    std::string problem = phase.unprivileged ? drop_privileges(phase.groups) : std::string();
    if (problem.empty())
        problem = setup_problem(phase.name, phase.parport_loaded, phase.unprivileged);
    report.check("setup", problem, "uid " + std::to_string(geteuid()));

    Driver driver;
    const std::string unloaded = load_driver(argv[1], driver);
    report.check("load", unloaded, argv[1]);

    if (problem.empty() && unloaded.empty())
        run_checks(driver, phase.checks, report);
    return report.finish();
}
