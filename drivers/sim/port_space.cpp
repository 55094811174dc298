// SPDX-License-Identifier: MIT
// The port space's file on POSIX systems: mapped with mmap, its truncation caught as SIGBUS.
#include "port_space.h"
#include "port_space_layout.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace {

[[noreturn]] void fail(const std::string& path, const char* what, int error)
{
    std::string text = path + ": ";
    if (what != nullptr)
        text += std::string(what) + ": ";
    throw std::runtime_error(text + std::strerror(error));
}

// Closes the descriptor on every way out of the constructor; the mapping outlives it.
struct Descriptor {
    int fd;
    ~Descriptor() { close(fd); }
};

// A mapped access to a page the file no longer has raises SIGBUS. While a thread is inside
// guarded() the handler jumps back there instead; SIGBUS of anything else goes on to the
// handler that was there before, or ends the process as it would have.
struct Guard {
    sigjmp_buf jump;
    const char* begin;
    const char* end;
};
// Initial-exec: the handler must not make the loader allocate the variable.
thread_local Guard* active_guard __attribute__((tls_model("initial-exec"))) = nullptr;
struct sigaction bus_before { };

void on_bus_error(int signal, siginfo_t* info, void* context)
{
    const Guard* guard = active_guard;
    const auto* address = static_cast<const char*>(info->si_addr);
    if (guard != nullptr && address >= guard->begin && address < guard->end)
        siglongjmp(active_guard->jump, 1);
    if ((bus_before.sa_flags & SA_SIGINFO) != 0) {
        bus_before.sa_sigaction(signal, info, context);
    } else if (bus_before.sa_handler != SIG_DFL && bus_before.sa_handler != SIG_IGN) {
        bus_before.sa_handler(signal);
    } else {
        std::signal(SIGBUS, SIG_DFL);
        raise(SIGBUS);
    }
}

void install_signal_handling()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        // SA_NODEFER: the jump out of the handler leaves SIGBUS unblocked for the next time.
        struct sigaction action { };
        action.sa_sigaction = on_bus_error;
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &bus_before);
        // Past the file size limit (ulimit -f), growing the file is then an error, EFBIG,
        // rather than the end of the process. A handler someone installed stays.
        struct sigaction size_limit { };
        if (sigaction(SIGXFSZ, nullptr, &size_limit) == 0 && size_limit.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

// Runs access, which touches only the mapping [begin, begin + size) and has no object with a
// destructor, turning the signal of a truncated file into an exception naming it.
template <class Access>
auto guarded(const void* begin, std::size_t size, const std::string& path, Access access)
{
    Guard guard;
    guard.begin = static_cast<const char*>(begin);
    guard.end = guard.begin + size;
    Guard* const outer = active_guard;
    if (sigsetjmp(guard.jump, 0) != 0) {
        active_guard = outer;
        throw std::runtime_error(path + ": the file was truncated while in use");
    }
    active_guard = &guard;
    if constexpr (std::is_void_v<decltype(access())>) {
        access();
        active_guard = outer;
    } else {
        auto result = access();
        active_guard = outer;
        return result;
    }
}

// The lock is held only while a file is checked and initialised: a holder for longer is
// not one of us.
void lock_within_a_second(int fd, const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            fail(path, "lock", errno);
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error(path + ": locked by another process");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

std::filesystem::path PortSpace::default_path()
{
    if (const char* path = std::getenv("MOVANTA_PORTSIM"); path != nullptr && *path != '\0')
        return path;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0')
        return std::filesystem::path(runtime) / "movanta-portsim";
    // A shared /tmp: a folder that only its owner can enter, so nobody else can plant, lock
    // or fill the file.
    const char* temporary = std::getenv("TMPDIR");
    const std::filesystem::path base
        = temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
    const std::string folder = (base / ("movanta-" + std::to_string(geteuid()))).string();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        fail(folder, "make folder", errno);
    struct stat info { };
    if (lstat(folder.c_str(), &info) != 0)
        fail(folder, nullptr, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0)
        throw std::runtime_error(folder + ": not a folder of this user's own with mode 0700");
    return std::filesystem::path(folder) / "portsim";
}

PortSpace::PortSpace(const std::filesystem::path& path)
    : path_(path.string())
{
    install_signal_handling();
    // O_NOFOLLOW: a planted link must not redirect the file; O_NONBLOCK: a planted FIFO
    // must not hold the open.
    const Descriptor file { open(
        path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600) };
    if (file.fd < 0)
        fail(path_, nullptr, errno);
    struct stat info { };
    if (fstat(file.fd, &info) != 0)
        fail(path_, nullptr, errno);
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error(path_ + ": not a plain file");
    if (info.st_uid != geteuid())
        throw std::runtime_error(path_ + ": belongs to another user");
    lock_within_a_second(file.fd, path_);
    if (fstat(file.fd, &info) != 0)
        fail(path_, nullptr, errno);
    const auto size = static_cast<off_t>(sizeof(Layout));
    if (info.st_size != 0 && info.st_size != size)
        throw std::runtime_error(path_ + ": not a port simulator file");
    // Every block is reserved now, so that a full disk is this error and not SIGBUS at
    // some later access (also for a file another version made sparse).
    if (const int error = posix_fallocate(file.fd, 0, size); error != 0) {
        // A new file is left empty rather than part-sized, so that the next try starts afresh.
        if (info.st_size == 0) {
            [[maybe_unused]] const int ignored = ftruncate(file.fd, 0);
        }
        fail(path_, "reserve space", error);
    }
    void* mapped = mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, file.fd, 0);
    if (mapped == MAP_FAILED)
        fail(path_, "map", errno);
    layout_ = static_cast<Layout*>(mapped);
    bool ours = false;
    try {
        ours = adopt();
    } catch (const std::runtime_error&) {
        munmap(mapped, sizeof(Layout));
        throw;
    }
    if (!ours) {
        munmap(mapped, sizeof(Layout));
        throw std::runtime_error(path_ + ": not a port simulator file");
    }
    flock(file.fd, LOCK_UN);
}

PortSpace::~PortSpace() { munmap(layout_, sizeof(Layout)); }

void PortSpace::guard(void (*access)(void*), void* context) const
{
    guarded(layout_, sizeof(Layout), path_, [access, context] { access(context); });
}
