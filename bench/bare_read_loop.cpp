// SPDX-License-Identifier: MIT
// bare_read_loop PORT SECONDS: the limit for movanta-watch's free-running rate. Loads
// libdlportio.so as the program does (LD_LIBRARY_PATH selects the simulator) and calls its
// read entry point in a loop and nothing else; prints "reads=N seconds=S rate=R".
#include "dlportio.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

namespace {

double now_seconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fputs("usage: bare_read_loop PORT SECONDS\n", stderr);
        return 2;
    }
    const unsigned long port = std::strtoul(argv[1], nullptr, 10);
    const double seconds = std::strtod(argv[2], nullptr);
    void* library = dlopen("libdlportio.so", RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "bare_read_loop: %s\n", dlerror());
        return 1;
    }
    const auto read
        = reinterpret_cast<DlPortReadPortUcharFn>(dlsym(library, "DlPortReadPortUchar"));
    if (read == nullptr) {
        std::fputs("bare_read_loop: no DlPortReadPortUchar\n", stderr);
        return 1;
    }

    // The clock once per 4096 reads, as movanta-watch looks at it when free-running.
    unsigned long long reads = 0;
    unsigned sink = 0;
    const double start = now_seconds();
    double elapsed = 0;
    do {
        for (int i = 0; i < 4096; ++i)
            sink += read(port);
        reads += 4096;
        elapsed = now_seconds() - start;
    } while (elapsed < seconds);
    std::printf("reads=%llu seconds=%.3f rate=%.1f\n", reads, elapsed,
        static_cast<double>(reads) / elapsed);
    return sink == 1 ? 3 : 0; // keeps the reads from being optimised away
}
