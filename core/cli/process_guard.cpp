// SPDX-License-Identifier: MIT
// Start-up guards on POSIX systems; on Windows there is nothing to guard.
#include "core/process_guard.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/auxv.h>
#endif

namespace core {

namespace process_guard {

void ensure_standard_descriptors() noexcept
{
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        // open() takes the lowest free slot, which is fd itself.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened > 2)
            close(opened);
    }
#endif
}

void ignore_sigpipe() noexcept
{
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

const char* raised_privileges() noexcept
{
#ifndef _WIN32
    if (geteuid() != getuid() || getegid() != getgid())
        return "setuid or setgid";
#endif
#ifdef __linux__
    // File capabilities raise privileges as setuid does without changing an id.
    if (getauxval(AT_SECURE) != 0)
        return "with raised privileges (file capabilities)";
#endif
    return nullptr;
}

} // namespace process_guard

} // namespace core
