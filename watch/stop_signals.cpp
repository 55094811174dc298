// SPDX-License-Identifier: MIT
// The stop signals through a signalfd (Linux).
#include "stop_signals.h"

#include <csignal>
#include <initializer_list>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// A signal ignored when we were started stays ignored (nohup's SIGHUP, SIGINT of a job
// started in the background by a shell without job control).
sigset_t stop_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        struct sigaction action { };
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
            sigaddset(&set, signal);
    }
    return set;
}

} // namespace

StopSignals::StopSignals() noexcept
{
    const sigset_t set = stop_set();
    const int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd == -1)
        return;
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
}

void StopSignals::request() const noexcept
{
    // Blocked in every thread, the signal waits for the signalfd.
    if (fd_ != -1)
        kill(getpid(), SIGTERM);
}

StopSignals::~StopSignals()
{
    if (fd_ != -1)
        close(fd_);
}
