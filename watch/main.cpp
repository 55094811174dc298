// SPDX-License-Identifier: MIT
// movanta-watch: the window's watch of one port, as a command.
#include "core/process_guard.h"
#include "watch/stop_signals.h"
#include "watch/watch_options.h"
#include "watch/watch_program.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

using namespace core;
using namespace watch;

namespace {

// --help and --version: what was printed must have arrived (a full disk, a closed pipe: 1).
int show(const std::string& text, int status)
{
    std::FILE* out = status == 0 ? stdout : stderr;
    if (std::fputs(text.c_str(), out) >= 0 && std::fflush(out) == 0 && std::ferror(out) == 0)
        return status;
    if (status != 0)
        return status;
    const int error = errno;
    std::fprintf(stderr, "movanta-watch: standard output: %s\n", std::strerror(error));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything else: a stop signal from here on waits for the run to take it.
    block_stop_signals();
#ifdef _WIN32
    const bool standard_output_closed = _get_osfhandle(1) == -1;
    // The records' bytes as on Linux: no CR put before each LF.
    if (!standard_output_closed)
        _setmode(1, _O_BINARY);
#else
    const bool standard_output_closed = fcntl(STDOUT_FILENO, F_GETFD) == -1;
#endif
    process_guard::ensure_standard_descriptors();
    process_guard::ignore_sigpipe();
#ifdef SIGXFSZ
    // A file size limit makes a write fail (EFBIG) as a full disk does, rather than kill us.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    if (const char* reason = process_guard::raised_privileges()) {
        std::fprintf(stderr, "movanta-watch: refusing to run %s\n", reason);
        return 1;
    }

    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = parse_watch_options(arguments);
    if (!parsed.run)
        return show(parsed.message, parsed.status);
    return run_watch_program(*parsed.run, standard_output_closed);
}
