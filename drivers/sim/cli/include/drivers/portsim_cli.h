// SPDX-License-Identifier: MIT
// movanta-portsim's command line, apart from main so that tests and the fuzzer reach it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string_view>

namespace drivers {

// The command line of movanta-portsim, parsed apart from running it so that every argument
// list can be tried without touching a port space.
struct PortsimCommand {
    enum class Kind { Set, Get, Log, ClearLog, Reset, Demo, Help };
    Kind kind = Kind::Help;
    std::uint16_t port = 0;
    std::uint8_t value = 0;
};

// A command line that does not fit: what is wrong with it, shown above the usage.
struct PortsimUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

extern const char* const portsim_usage;

// The arguments after the program name. Throws PortsimUsageError.
[[nodiscard]] PortsimCommand parse_portsim_arguments(std::span<const std::string_view> args);

// Runs a command on the port space file PortSpace::default_path(), printing to out.
// Demo runs until SIGINT or SIGTERM. Throws std::runtime_error when the file can't be used.
int run_portsim_command(const PortsimCommand& command, std::FILE* out);

} // namespace drivers
