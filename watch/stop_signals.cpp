// SPDX-License-Identifier: MIT
// The stop signals through a signalfd, and the run's own stop requests through an eventfd,
// both in one epoll set (Linux).
#include "watch/stop_signals.h"

#include <csignal>
#include <cstdint>
#include <initializer_list>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace watch {

namespace {

constexpr std::initializer_list<int> stop_signals = { SIGINT, SIGTERM, SIGHUP };

// A signal ignored when we were started stays ignored (nohup's SIGHUP, SIGINT of a job
// started in the background by a shell without job control).
sigset_t stop_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : stop_signals) {
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
    for (const int signal : stop_signals) {
        if (sigismember(&set, signal) == 1)
            sigaction(signal, &action, nullptr);
    }
}

bool add_to(int set, int fd) noexcept
{
    epoll_event event {};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) == 0;
}

} // namespace

void block_stop_signals() noexcept
{
    const sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void catch_stop_signals_early() noexcept
{
    const sigset_t set = stop_set();
    set_action(set, remember);
    // A signal that came while blocked is delivered here, to remember().
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool stop_signal_caught() noexcept { return caught != 0; }

StopSignals::StopSignals() noexcept
{
    const sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signals_.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    requests_.reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    set_.reset(epoll_create1(EPOLL_CLOEXEC));
    if (!signals_ || !requests_ || !set_ || !add_to(set_.get(), signals_.get())
        || !add_to(set_.get(), requests_.get())) {
        // Without them, the signals end the program as they did before it caught them.
        set_.reset();
        set_action(set, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        if (stop_signal_caught())
            raise(SIGTERM);
        return;
    }
    set_action(set, SIG_DFL);
    if (stop_signal_caught())
        request();
}

void StopSignals::request() const noexcept
{
    // Nobody reads the counter: once written, the set stays readable.
    if (set_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(requests_.get(), &one, sizeof one);
    }
}

} // namespace watch
