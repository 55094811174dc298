// movanta-portsim: the outside world of the simulated port space.
#include "portsim_cli.h"

#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

namespace {

constexpr int usage_error = 2;

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return run_portsim_command(parse_portsim_arguments(args), stdout);
    } catch (const PortsimUsageError& error) {
        std::fprintf(stderr, "movanta-portsim: %s\n%s", error.what(), portsim_usage);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "movanta-portsim: %s\n", error.what());
    }
    return usage_error;
}
