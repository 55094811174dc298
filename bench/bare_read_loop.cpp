// SPDX-License-Identifier: MIT
// bare_read_loop PORT SECONDS [threaded]: the limit for movanta-watch's free-running rate.
// Loads libdlportio.so as the program does (LD_LIBRARY_PATH selects the simulator) and calls
// its read entry point in a loop and nothing else; prints "reads=N seconds=S rate=R". With
// "threaded" the loop runs on a thread of its own while the first one waits, as movanta-watch
// polls: a driver's locks and shared pointers cost more once a process has two threads.
#include "port/dlportio.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <string_view>
#include <thread>

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
    const bool threaded = argc == 4 && std::string_view(argv[3]) == "threaded";
    if (argc != 3 && !threaded) {
        std::fputs("usage: bare_read_loop PORT SECONDS [threaded]\n", stderr);
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
    double elapsed = 0;
    const auto loop = [&] {
        const double start = now_seconds();
        do {
            for (int i = 0; i < 4096; ++i)
                sink += read(port);
            reads += 4096;
            elapsed = now_seconds() - start;
        } while (elapsed < seconds);
    };
    if (threaded)
        std::thread(loop).join();
    else
        loop();
    std::printf("reads=%llu seconds=%.3f rate=%.1f\n", reads, elapsed,
        static_cast<double>(reads) / elapsed);
    return sink == 1 ? 3 : 0; // keeps the reads from being optimised away
}
