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
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <grp.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using ReadFn = unsigned char (*)(unsigned long port);
using WriteFn = void (*)(unsigned long port, unsigned char value);
using LastErrorFn = const char* (*)();

struct Driver {
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    LastErrorFn last_error = nullptr;
};

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

constexpr std::string_view permission_denied = "Permission denied";
// A reason of any wording: the driver only has to say that the port was out of reach.
const std::vector<std::string_view> any_reason = { "" };

struct Step {
    enum class Kind { Read, Write } kind;
    unsigned long port;
    unsigned char value; // the byte written, or the byte the read must give
    // Empty: the call must succeed. Otherwise the reason must hold each of these texts.
    std::vector<std::string_view> reason {};
};

struct Check {
    std::string_view name;
    std::vector<Step> steps;
};

// Named after the x86 instructions: in reads a port, out writes one.
Step in(unsigned long port, unsigned char expected, std::vector<std::string_view> reason = {})
{
    return { Step::Kind::Read, port, expected, std::move(reason) };
}

Step out(unsigned long port, unsigned char value, std::vector<std::string_view> reason = {})
{
    return { Step::Kind::Write, port, value, std::move(reason) };
}

std::string hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%02lX", value);
    return text;
}

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
            { out(control_port, 0x0C), in(control_port, control.both),
                out(control_port, 0x04), in(control_port, control.init_only),
                out(control_port, 0x0C), in(control_port, control.both) } },
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
            { out(data_port, 0x5A), out(past_last_port, 0xA5, any_reason),
                in(data_port, 0x5A) } },
        { "read_minus_one", { in(minus_one, empty_bus, any_reason) } },
        // A failure must not stick to the next call.
        { "error_cleared",
            { in(past_last_port, empty_bus, any_reason), in(status_port, idle_status) } },
    };
}

std::vector<Check> checks_denied(std::string_view parport_device)
{
    const std::vector<std::string_view> parport = { parport_device, permission_denied };
    const std::vector<std::string_view> dev_port = { "/dev/port", permission_denied };
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
    const std::vector<std::string_view> no_rawio = { "/dev/port", "Operation not permitted" };
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

// Empty when the step behaved; else what went wrong.
std::string run_step(const Driver& driver, const Step& step, std::string& seen)
{
    const bool reading = step.kind == Step::Kind::Read;
    unsigned char value = 0;
    if (reading)
        value = driver.read(step.port);
    else
        driver.write(step.port, step.value);
    const char* raw_reason = driver.last_error();
    const std::string reason = raw_reason != nullptr ? raw_reason : "";
    const std::string call = (reading ? "read " : "write ") + hex(step.port);

    if (step.reason.empty() && !reason.empty())
        return call + " failed: " + reason;
    if (!step.reason.empty() && reason.empty())
        return call + " succeeded, a failure was expected";
    for (const auto part : step.reason) {
        if (reason.find(part) == std::string::npos)
            return call + " gave the reason \"" + reason + "\", which lacks \"" + std::string(part)
                + "\"";
    }
    if (reading && value != step.value)
        return call + " gave " + hex(value) + ", expected " + hex(step.value);

    if (!seen.empty())
        seen += ", ";
    seen += call + (reading ? " = " + hex(value) : " " + hex(step.value));
    if (!reason.empty())
        seen += " (" + reason + ")";
    return {};
}

// The unprivileged phases run as nobody, with only the given supplementary groups and, as a
// side effect of leaving uid 0, no capabilities. Empty when that worked.
std::string drop_privileges(const std::vector<gid_t>& groups)
{
    constexpr uid_t nobody = 65534;
    if (geteuid() != 0)
        return {};
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(nobody) != 0
        || setuid(nobody) != 0)
        return std::string("could not become uid ") + std::to_string(nobody) + ": "
            + std::strerror(errno);
    return {};
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
    // Lines written before a crash must still reach the console.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    int ok = 0;
    int failed = 0;
    const auto report = [&](std::string_view name, const std::string& problem,
                            const std::string& seen) {
        const int length = static_cast<int>(name.size());
        if (problem.empty()) {
            ++ok;
            std::printf("OK %s/%.*s: %s\n", argv[2], length, name.data(), seen.c_str());
        } else {
            ++failed;
            std::printf("FAIL %s/%.*s: %s\n", argv[2], length, name.data(), problem.c_str());
        }
    };

    std::string problem = phase.unprivileged ? drop_privileges(phase.groups) : std::string();
    if (problem.empty())
        problem = setup_problem(phase.name, phase.parport_loaded, phase.unprivileged);
    report("setup", problem, "uid " + std::to_string(geteuid()));

    Driver driver;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        report("load", dlerror(), {});
    } else {
        driver.read = reinterpret_cast<ReadFn>(dlsym(library, "DlPortReadPortUchar"));
        driver.write = reinterpret_cast<WriteFn>(dlsym(library, "DlPortWritePortUchar"));
        driver.last_error = reinterpret_cast<LastErrorFn>(dlsym(library, "DlPortLastError"));
        const bool complete
            = driver.read != nullptr && driver.write != nullptr && driver.last_error != nullptr;
        report("load", complete ? "" : "an entry point is missing", argv[1]);
    }

    if (problem.empty() && driver.last_error != nullptr) {
        for (const auto& check : phase.checks) {
            std::string seen;
            std::string step_problem;
            for (const auto& step : check.steps) {
                step_problem = run_step(driver, step, seen);
                if (!step_problem.empty())
                    break;
            }
            report(check.name, step_problem, seen);
        }
    }

    std::printf("SUMMARY %s: %d ok, %d failed\n", argv[2], ok, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
