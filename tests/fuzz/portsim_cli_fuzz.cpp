// SPDX-License-Identifier: MIT
// Any argument list given to movanta-portsim is either a command that does what it says or a
// usage error; nothing else may happen. The arguments are the input split at NUL bytes; the
// port space is a file of the fuzzer's own.
#include "drivers/port_space.h"
#include "drivers/portsim_cli.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace drivers;

namespace {

std::FILE* discard = nullptr;
std::string file;

void remove_file() { std::remove(file.c_str()); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    file = (std::filesystem::temp_directory_path()
        / ("movanta-portsim-fuzz-" + std::to_string(getpid())))
               .string();
    setenv("MOVANTA_PORTSIM", file.c_str(), 1);
    std::atexit(remove_file);
    discard = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> args;
    for (std::size_t begin = 0; begin <= input.size() && args.size() < 8;) {
        const std::size_t end = std::min(input.find('\0', begin), input.size());
        args.push_back(input.substr(begin, end - begin));
        begin = end + 1;
    }
    if (input.empty())
        args.clear();

    PortsimCommand command;
    try {
        command = parse_portsim_arguments(args);
    } catch (const PortsimUsageError&) {
        return 0;
    }
    using Kind = PortsimCommand::Kind;
    // Parsing alone must have checked the count of arguments.
    const std::size_t expected_count[] = { 3, 2, 1, 2, 1, 2, 1 };
    if (args.size() != expected_count[static_cast<int>(command.kind)])
        std::abort();
    if (command.kind == Kind::Demo)
        return 0; // runs until a signal
    try {
        if (run_portsim_command(command, discard) != 0)
            std::abort();
    } catch (...) {
        std::abort(); // the fuzzer's own file is always usable
    }
    if (command.kind == Kind::Set
        && PortSpace(PortSpace::default_path()).input(command.port) != command.value)
        std::abort();
    return 0;
}
