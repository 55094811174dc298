// SPDX-License-Identifier: MIT
// The port space's file on POSIX systems: mapped with mmap, its truncation caught as SIGBUS.
#include "drivers/port_space.h"
#include "port_space_layout.h"

#include "core/unique_fd.h"
#include "drivers/shown_text.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <utility>

using namespace core;

namespace drivers {

namespace {

// path is as shown_text::plain gives it.
[[noreturn]] void fail(const std::string& path, const char* what, int error)
{
    std::string text = path + ": ";
    if (what != nullptr)
        text += std::string(what) + ": ";
    throw std::runtime_error(text + std::strerror(error));
}

// A mapped access to a page the file no longer has raises SIGBUS. While a thread is inside
// guarded() the handler jumps back there instead; SIGBUS of anything else goes on to the
// handler that was there before, or ends the process as it would have.
struct Guard {
    sigjmp_buf jump;
    const char* begin;
    const char* end;
};
// Initial-exec: the handler must not make the loader allocate the variable. An atomic the
// handler reads, with signal fences around the guarded accesses, so that the compiler moves
// neither the arming nor the disarming across them.
thread_local std::atomic<Guard*> active_guard
    __attribute__((tls_model("initial-exec"))) { nullptr };
static_assert(std::atomic<Guard*>::is_always_lock_free, "the signal handler reads the guard");
struct sigaction bus_before { };

void on_bus_error(int signal, siginfo_t* info, void* context)
{
    Guard* const guard = active_guard.load(std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const auto* address = static_cast<const char*>(info->si_addr);
    if (guard != nullptr && address >= guard->begin && address < guard->end)
        siglongjmp(guard->jump, 1);
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
    Guard* const outer = active_guard.load(std::memory_order_relaxed);
    if (sigsetjmp(guard.jump, 0) != 0) {
        active_guard.store(outer, std::memory_order_relaxed);
        throw std::runtime_error(path + ": the file was truncated while in use");
    }
    const auto arm = [&] {
        active_guard.store(&guard, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    };
    const auto disarm = [&] {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        active_guard.store(outer, std::memory_order_relaxed);
    };
    arm();
    if constexpr (std::is_void_v<decltype(access())>) {
        access();
        disarm();
    } else {
        auto result = access();
        disarm();
        return result;
    }
}

// Unmaps the file's layout on every way out of the constructor, until it is kept.
template <typename Mapped> struct Unmap {
    void operator()(Mapped* mapped) const noexcept { munmap(mapped, sizeof(Mapped)); }
};

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
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        fail(shown_text::plain(folder), "make folder", error);
    }
    struct stat info { };
    if (lstat(folder.c_str(), &info) != 0) {
        const int error = errno;
        fail(shown_text::plain(folder), nullptr, error);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0)
        throw std::runtime_error(
            shown_text::plain(folder) + ": not a folder of this user's own with mode 0700");
    return std::filesystem::path(folder) / "portsim";
}

PortSpace::PortSpace(const std::filesystem::path& path)
    : path_(shown_text::plain(path.string()))
{
    install_signal_handling();
    // O_NOFOLLOW: a planted link must not redirect the file; O_NONBLOCK: a planted FIFO
    // must not hold the open.
    const UniqueFd file(
        open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!file)
        fail(path_, nullptr, errno);
    struct stat info { };
    if (fstat(file.get(), &info) != 0)
        fail(path_, nullptr, errno);
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error(path_ + ": not a plain file");
    if (info.st_uid != geteuid())
        throw std::runtime_error(path_ + ": belongs to another user");
    lock_within_a_second(file.get(), path_);
    if (fstat(file.get(), &info) != 0)
        fail(path_, nullptr, errno);
    const auto size = static_cast<off_t>(sizeof(Layout));
    if (info.st_size != 0 && info.st_size != size) {
        std::uint64_t first_word = 0;
        if (pread(file.get(), &first_word, sizeof first_word, 0)
            != static_cast<ssize_t>(sizeof first_word))
            first_word = 0;
        throw port_space_file::not_ours(path_, first_word);
    }
    // Every block is reserved now, so that a full disk is this error and not SIGBUS at
    // some later access (also for a file another version made sparse).
    if (const int error = posix_fallocate(file.get(), 0, size); error != 0) {
        // A new file is left empty rather than part-sized, so that the next try starts afresh.
        if (info.st_size == 0) {
            [[maybe_unused]] const int ignored = ftruncate(file.get(), 0);
        }
        fail(path_, "reserve space", error);
    }
    void* mapped = mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, file.get(), 0);
    if (mapped == MAP_FAILED)
        fail(path_, "map", errno);
    std::unique_ptr<Layout, Unmap<Layout>> layout(static_cast<Layout*>(mapped));
    layout_ = layout.get();
    adopt();
    flock(file.get(), LOCK_UN);
    layout_ = layout.release();
}

PortSpace::~PortSpace() { munmap(layout_, sizeof(Layout)); }

void PortSpace::guard(void (*access)(void*), void* context) const
{
    guarded(layout_, sizeof(Layout), path_, [access, context] { access(context); });
}

} // namespace drivers
