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

volatile std::sig_atomic_t caught = 0;

void remember(int) { caught = 1; }

void set_action(const sigset_t& set, void (*handler)(int)) noexcept
{
    struct sigaction action { };
    action.sa_handler = handler; // no SA_RESTART: a blocking call returns EINTR
    sigemptyset(&action.sa_mask);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        if (sigismember(&set, signal) == 1)
            sigaction(signal, &action, nullptr);
    }
}

} // namespace

void catch_stop_signals_early() noexcept { set_action(stop_set(), remember); }

bool stop_signal_caught() noexcept { return caught != 0; }

StopSignals::StopSignals() noexcept
{
    const sigset_t set = stop_set();
    const int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd != -1 && pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0)
        fd_ = fd;
    else if (fd != -1)
        close(fd);
    // Without a signalfd, the signals end the program as they did before it caught them.
    set_action(set, SIG_DFL);
    if (stop_signal_caught()) {
        if (fd_ != -1)
            request();
        else
            raise(SIGTERM);
    }
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
