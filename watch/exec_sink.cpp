// SPDX-License-Identifier: MIT
// Running --exec's command for each record off the poll thread.
#include "exec_sink.h"

#include "core/record_time_text.h"
#include "core/record_writer_kinds.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace core;

namespace watch {

namespace {

// Ours to set, and the service manager's, which speak to the watcher alone.
constexpr std::string_view not_inherited[]
    = { "MOVANTA_PORT=", "MOVANTA_TIME=", "MOVANTA_VALUE=", "MOVANTA_BYTE=", "MOVANTA_BITS=",
          "MOVANTA_ROSE=", "MOVANTA_FELL=", "NOTIFY_SOCKET=", "WATCHDOG_USEC=", "WATCHDOG_PID=" };
// After SIGTERM, a command has this long before SIGKILL.
constexpr std::chrono::milliseconds term_grace { 500 };

std::vector<std::string> environment_without_ours()
{
    std::vector<std::string> kept;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        bool ours = false;
        for (const std::string_view name : not_inherited)
            ours = ours || variable.starts_with(name);
        if (!ours)
            kept.emplace_back(variable);
    }
    return kept;
}

// A descriptor that becomes readable when the process ends; -1 when the kernel has none.
int process_fd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Waits for pid until deadline (steady clock); true when it ended, with its status.
bool wait_until(pid_t pid, int pidfd, std::chrono::steady_clock::time_point deadline, int& status)
{
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done == -1 && errno != EINTR))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        // Without a pidfd, look again every 10 ms.
        pollfd ended { pidfd, POLLIN, 0 };
        const int wait_ms = static_cast<int>(std::min<std::int64_t>(left.count(), 60'000));
        if (pidfd >= 0)
            (void)::poll(&ended, 1, wait_ms);
        else
            (void)::poll(nullptr, 0, std::min(wait_ms, 10));
    }
}

} // namespace

ExecSink::ExecSink(
    std::string command, std::int32_t port, Complaint complain, std::chrono::milliseconds end_wait)
    : command_(std::move(command))
    , port_text_(std::to_string(port))
    , complain_(std::move(complain))
    , end_wait_(end_wait)
    , inherited_(environment_without_ours())
    , worker_([this] { work(); })
{
}

ExecSink::~ExecSink() { close(); }

void ExecSink::add(const RecordEntry& entry)
{
    const Job job { entry.value,
        static_cast<std::uint8_t>(have_previous_ ? entry.value & ~previous_ : 0),
        static_cast<std::uint8_t>(have_previous_ ? previous_ & ~entry.value : 0), entry.time_us };
    have_previous_ = true;
    previous_ = entry.value;
    bool first_drop = false;
    {
        const std::lock_guard lock(mutex_);
        if (waiting_.size() >= max_waiting) {
            waiting_.pop_front();
            first_drop = dropped_++ == 0;
        }
        waiting_.push_back(job);
    }
    wake_.notify_one();
    if (first_drop)
        complain_("--exec falls behind: more than 1000 records wait, the oldest are dropped");
}

void ExecSink::close()
{
    {
        const std::lock_guard lock(mutex_);
        if (finishing_)
            return;
        finishing_ = true;
        give_up_at_ = std::chrono::steady_clock::now() + end_wait_;
    }
    wake_.notify_one();
    if (worker_.joinable())
        worker_.join();
    const std::lock_guard lock(mutex_);
    if (!waiting_.empty()) {
        dropped_ += waiting_.size();
        complain_("--exec: " + std::to_string(waiting_.size()) + " records left unrun at the end");
        waiting_.clear();
    }
}

std::size_t ExecSink::waiting() const
{
    const std::lock_guard lock(mutex_);
    return waiting_.size();
}

std::uint64_t ExecSink::dropped() const
{
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::string ExecSink::stats_suffix() const { return " exec_dropped=" + std::to_string(dropped()); }

void ExecSink::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return finishing_ || !waiting_.empty(); });
        if (waiting_.empty() || (finishing_ && std::chrono::steady_clock::now() >= give_up_at_))
            return;
        const Job job = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        run(job);
        lock.lock();
    }
}

void ExecSink::run(const Job& job)
{
    using namespace record_text;
    IsoTimeText time_text;
    char bits[8];
    put_bits(bits, job.value);
    std::vector<std::string> variables = inherited_;
    variables.push_back("MOVANTA_PORT=" + port_text_);
    variables.push_back("MOVANTA_TIME=" + std::string(time_text(job.time_us)));
    variables.push_back("MOVANTA_VALUE=" + std::to_string(job.value));
    variables.push_back("MOVANTA_BYTE=" + std::to_string(255 - job.value));
    variables.push_back("MOVANTA_BITS=" + std::string(bits, sizeof bits));
    variables.push_back("MOVANTA_ROSE=" + std::to_string(job.rose));
    variables.push_back("MOVANTA_FELL=" + std::to_string(job.fell));
    std::vector<char*> environment;
    for (std::string& variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);

    // Its output to our standard error, nothing to read, the signals as a shell expects them,
    // and a process group of its own so that ending it ends what it started.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : { SIGPIPE, SIGINT, SIGTERM, SIGHUP })
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    char shell[] = "/bin/sh";
    char dash_c[] = "-c";
    char* const arguments[] = { shell, dash_c, command_.data(), nullptr };
    pid_t pid = -1;
    const int spawned
        = posix_spawn(&pid, shell, &actions, &attributes, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        complain_("--exec: cannot start /bin/sh: " + std::string(std::strerror(spawned)));
        return;
    }

    const int pidfd = process_fd(pid);
    int status = 0;
    bool ended = false;
    for (;;) {
        std::chrono::steady_clock::time_point deadline;
        {
            const std::lock_guard lock(mutex_);
            // Not finishing yet: look again now and then whether the end has come.
            deadline = finishing_
                ? give_up_at_
                : std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        }
        if (wait_until(pid, pidfd, deadline, status)) {
            ended = true;
            break;
        }
        const std::lock_guard lock(mutex_);
        if (finishing_ && std::chrono::steady_clock::now() >= give_up_at_)
            break;
    }
    if (!ended) {
        ::kill(-pid, SIGTERM);
        if (!wait_until(pid, pidfd, std::chrono::steady_clock::now() + term_grace, status)) {
            ::kill(-pid, SIGKILL);
            while (!wait_until(
                pid, pidfd, std::chrono::steady_clock::now() + std::chrono::seconds(1), status)) { }
        }
        complain_("--exec: the command still ran at the end and was ended");
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        complain_("--exec: the command failed with status " + std::to_string(WEXITSTATUS(status)));
    } else if (WIFSIGNALED(status)) {
        complain_("--exec: the command died of signal " + std::to_string(WTERMSIG(status)) + " ("
            + strsignal(WTERMSIG(status)) + ")");
    }
    if (pidfd >= 0)
        ::close(pidfd);
}

} // namespace watch
