// SPDX-License-Identifier: MIT
// movanta-portsim: the outside world of the simulated port space.
#include "core/process_guard.h"
#include "drivers/portsim_cli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

using namespace core;
using namespace drivers;

namespace {

constexpr int output_error = 1;
constexpr int usage_error = 2;

// What was printed must have arrived: a full disk or a closed pipe is a failure.
int finish_output(int status)
{
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
        return status;
    std::fprintf(stderr, "movanta-portsim: cannot write the output: %s\n", std::strerror(errno));
    return output_error;
}

} // namespace

int main(int argc, char** argv)
{
    process_guard::ensure_standard_descriptors();
    process_guard::ignore_sigpipe();
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return finish_output(run_portsim_command(parse_portsim_arguments(args), stdout));
    } catch (const PortsimUsageError& error) {
        std::fprintf(stderr, "movanta-portsim: %s\n%s", error.what(), portsim_usage);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "movanta-portsim: %s\n", error.what());
    }
    return usage_error;
}
