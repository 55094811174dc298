// SPDX-License-Identifier: MIT
// Reads a port through the process-wide binding and says which libdlportio.so it loaded.
#include "core/runtime_error.h"
#include "port/port_io.h"

#include <cstdio>
#include <cstring>
#include <link.h>

using namespace core;
using namespace port;

int main()
{
    try {
        std::printf("value %u\n", unsigned { port_io::read(70000) });
    } catch (const RuntimeError& error) {
        std::printf("error %d %s\n", error.number(), error.what());
    }
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            if (std::strstr(info->dlpi_name, "libdlportio.so") != nullptr)
                std::printf("loaded %s\n", info->dlpi_name);
            return 0;
        },
        nullptr);
    return 0;
}
