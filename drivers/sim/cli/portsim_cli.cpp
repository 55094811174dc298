// SPDX-License-Identifier: MIT
// movanta-portsim's command line: parsing the arguments and running the commands.
#include "drivers/portsim_cli.h"

#include "core/strict_number.h"
#include "drivers/port_space.h"
#include "drivers/shown_text.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

using namespace core;

namespace drivers {

const char* const portsim_usage = "usage: movanta-portsim set PORT VALUE\n"
                                  "       movanta-portsim get PORT\n"
                                  "       movanta-portsim log [--clear]\n"
                                  "       movanta-portsim reset\n"
                                  "       movanta-portsim demo PORT\n"
                                  "PORT 0-65535 and VALUE 0-255: decimal, hex after 0x or &H, "
                                  "octal after &O.\n"
#ifdef _WIN32
                                  "The port space file: %MOVANTA_PORTSIM%, else "
                                  "%LOCALAPPDATA%\\Movanta\\portsim.\n";
#else
                                  "The port space file: $MOVANTA_PORTSIM, else "
                                  "$XDG_RUNTIME_DIR/movanta-portsim, else\n"
                                  "movanta-<uid>/portsim under $TMPDIR or /tmp.\n";
#endif

namespace {

unsigned long number_argument(std::string_view text, const char* what, unsigned long highest)
{
    const auto number = strict_number::whole(text, UINT64_MAX);
    if (!number)
        throw PortsimUsageError(std::string(what) + " \"" + shown_text::plain(text)
            + "\" is not a number (decimal, hex after 0x or &H, octal after &O)");
    if (*number > highest)
        throw PortsimUsageError(std::string(what) + " " + shown_text::plain(text) + " is outside 0-"
            + std::to_string(highest));
    return static_cast<unsigned long>(*number);
}

std::uint16_t port_argument(std::string_view text)
{
    return static_cast<std::uint16_t>(number_argument(text, "port", PortSpace::port_count - 1));
}

std::uint8_t value_argument(std::string_view text)
{
    return static_cast<std::uint8_t>(number_argument(text, "value", 255));
}

volatile std::sig_atomic_t stopped = 0;

void stop(int) { stopped = 1; }

// A running light over the eight lamps, four steps a second, then all lamps at once.
int demo(PortSpace& space, std::uint16_t port, std::FILE* out)
{
    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    std::fprintf(out, "Driving the input of port %u; Ctrl+C stops.\n", unsigned { port });
    std::fflush(out);
    for (unsigned step = 0; stopped == 0; step = (step + 1) % 10) {
        // The tool shows 255 minus what it reads: a line pulled low lights its lamp.
        const unsigned pulled = step < 8 ? 1u << step : step == 8 ? 0xFFu : 0u;
        space.set_input(port, static_cast<std::uint8_t>(0xFFu & ~pulled));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    space.set_input(port, 0xFF);
    return 0;
}

} // namespace

PortsimCommand parse_portsim_arguments(std::span<const std::string_view> args)
{
    using Kind = PortsimCommand::Kind;
    if (args.empty())
        throw PortsimUsageError("no command given");
    const std::string_view command = args[0];
    const auto expect = [&](std::size_t count) {
        if (args.size() != count + 1)
            throw PortsimUsageError(std::string(command) + " takes " + std::to_string(count)
                + (count == 1 ? " argument" : " arguments"));
    };
    if (command == "set") {
        expect(2);
        const auto port = port_argument(args[1]);
        return { Kind::Set, port, value_argument(args[2]) };
    }
    if (command == "get") {
        expect(1);
        return { Kind::Get, port_argument(args[1]) };
    }
    if (command == "log") {
        if (args.size() == 2 && args[1] == "--clear")
            return { Kind::ClearLog };
        if (args.size() == 2)
            throw PortsimUsageError(
                "log takes no argument but --clear, not \"" + shown_text::plain(args[1]) + "\"");
        expect(0);
        return { Kind::Log };
    }
    if (command == "reset") {
        expect(0);
        return { Kind::Reset };
    }
    if (command == "demo") {
        expect(1);
        return { Kind::Demo, port_argument(args[1]) };
    }
    if (command == "--help" || command == "-h") {
        expect(0);
        return { Kind::Help };
    }
    throw PortsimUsageError("unknown command \"" + shown_text::plain(command) + "\"");
}

int run_portsim_command(const PortsimCommand& command, std::FILE* out)
{
    using Kind = PortsimCommand::Kind;
    switch (command.kind) {
    case Kind::Set:
        PortSpace(PortSpace::default_path()).set_input(command.port, command.value);
        break;
    case Kind::Get:
        std::fprintf(
            out, "%u\n", unsigned { PortSpace(PortSpace::default_path()).value(command.port) });
        break;
    case Kind::Log:
        for (const auto& entry : PortSpace(PortSpace::default_path()).log())
            std::fprintf(out, "%llu %c %u %u\n",
                static_cast<unsigned long long>(entry.microseconds), entry.write ? 'W' : 'R',
                unsigned { entry.port }, unsigned { entry.value });
        break;
    case Kind::ClearLog:
        PortSpace(PortSpace::default_path()).clear_log();
        break;
    case Kind::Reset:
        PortSpace(PortSpace::default_path()).reset();
        break;
    case Kind::Demo: {
        PortSpace space(PortSpace::default_path());
        return demo(space, command.port, out);
    }
    case Kind::Help:
        std::fputs(portsim_usage, out);
        break;
    }
    return 0;
}

} // namespace drivers
