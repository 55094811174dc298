// SPDX-License-Identifier: MIT
// movanta-watch: the window's watch of one port, as a command.
#include "process_guard.h"
#include "watch_options.h"
#include "watch_program.h"

#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

int main(int argc, char* argv[])
{
    const bool standard_output_closed = fcntl(STDOUT_FILENO, F_GETFD) == -1;
    process_guard::ensure_standard_descriptors();
    process_guard::ignore_sigpipe();
    if (const char* reason = process_guard::raised_privileges()) {
        std::fprintf(stderr, "movanta-watch: refusing to run %s\n", reason);
        return 1;
    }

    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = parse_watch_options(arguments);
    if (!parsed.run) {
        std::fputs(parsed.message.c_str(), parsed.status == 0 ? stdout : stderr);
        return parsed.status;
    }
    return run_watch_program(*parsed.run, standard_output_closed);
}
