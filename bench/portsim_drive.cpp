// SPDX-License-Identifier: MIT
// portsim_drive PORT SECONDS MICROSECONDS: drives the simulated input of a port with a
// new byte every MICROSECONDS for SECONDS, counting up, so that reads further apart than
// that never see the same byte twice in a row (unless 256 steps lie between them).
#include "drivers/port_space.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

using namespace drivers;

namespace {

long argument(const char* text, long lowest, long highest)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < lowest || number > highest) {
        std::fprintf(stderr, "portsim_drive: \"%s\" is not a number from %ld to %ld\n", text,
            lowest, highest);
        std::exit(2);
    }
    return number;
}

void advance(timespec& at, long nanoseconds)
{
    at.tv_nsec += nanoseconds;
    while (at.tv_nsec >= 1'000'000'000L) {
        at.tv_nsec -= 1'000'000'000L;
        ++at.tv_sec;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("usage: portsim_drive PORT SECONDS MICROSECONDS\n", stderr);
        return 2;
    }
    const auto port = static_cast<std::uint16_t>(argument(argv[1], 0, 65535));
    const long seconds = argument(argv[2], 1, 3600);
    const long step_ns = argument(argv[3], 1, 1'000'000) * 1000L;
    try {
        PortSpace space(PortSpace::default_path());
        timespec at {};
        clock_gettime(CLOCK_MONOTONIC, &at);
        const time_t end = at.tv_sec + seconds;
        for (unsigned step = 0; at.tv_sec < end; ++step) {
            space.set_input(port, static_cast<std::uint8_t>(step));
            advance(at, step_ns);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) { }
        }
        space.set_input(port, 0xFF);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "portsim_drive: %s\n", error.what());
        return 1;
    }
    return 0;
}
