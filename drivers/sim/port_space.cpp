// SPDX-License-Identifier: MIT
// The simulated port space: one shared memory-mapped file, guarded against truncation.
#include "port_space.h"

#include "shown_text.h"
#include "unique_fd.h"

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

namespace {

constexpr std::uint64_t magic = 0x324d495354524f50; // "PORTSIM2": two-word log entries

using Atomic64 = std::atomic<std::uint64_t>;
static_assert(Atomic64::is_always_lock_free, "the shared file needs address-free atomics");

// A log entry is two words written by whichever process claimed its number. Each word
// carries the lap of the ring the entry belongs to (lap = number / capacity + 1, so that the
// zeroed ring matches no entry): a reader takes an entry only when both words show its lap,
// so it never sees one half-written, nor halves of two laps.
//   time_word: microseconds bits 0-39 | lap bits 0-23 << 40
//   data_word: value | write << 8 | port << 9 | microseconds bits 40-63 << 25
//              | lap bits 0-14 << 49
struct Slot {
    Atomic64 time_word;
    Atomic64 data_word;
};

constexpr std::uint64_t bits(unsigned count) { return (std::uint64_t { 1 } << count) - 1; }

std::uint64_t now_microseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u
        + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

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

// A file that is not ours. One of another version of the simulator (its magic number starts
// with "PORTSIM" too) is safe to remove; anything else may be a file of value named by mistake.
std::runtime_error not_ours(const std::string& path, std::uint64_t first_word)
{
    if ((first_word & bits(56)) == (magic & bits(56)))
        return std::runtime_error(path
            + ": a port simulator file of another version: remove it, and the next use makes a "
              "new one");
    return std::runtime_error(path + ": not a port simulator file");
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

struct PortSpace::Layout {
    Atomic64 magic_number;
    Atomic64 appended; // log entry numbers ever claimed
    Atomic64 log_start; // the first entry number still shown (raised by clear)
    std::uint8_t latches[port_count];
    std::uint8_t inputs[port_count];
    Slot ring[log_capacity];
};

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
        throw not_ours(path_, first_word);
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
    const std::uint64_t found = guarded(layout.get(), sizeof(Layout), path_, [at = layout.get()] {
        const std::uint64_t magic_found = at->magic_number.load(std::memory_order_acquire);
        if (magic_found == 0) {
            // New, or a creator that died half-way: the zeroed log is already valid.
            std::memset(at->latches, 0xFF, sizeof at->latches);
            std::memset(at->inputs, 0xFF, sizeof at->inputs);
            at->magic_number.store(magic, std::memory_order_release);
        }
        return magic_found;
    });
    if (found != 0 && found != magic)
        throw not_ours(path_, found);
    flock(file.get(), LOCK_UN);
    layout_ = layout.release();
}

PortSpace::~PortSpace() { munmap(layout_, sizeof(Layout)); }

std::uint8_t PortSpace::read(std::uint16_t port)
{
    const std::uint64_t microseconds = now_microseconds();
    return guarded(layout_, sizeof(Layout), path_, [this, port, microseconds] {
        const auto result = static_cast<std::uint8_t>(
            std::atomic_ref(layout_->latches[port]).load(std::memory_order_relaxed)
            & std::atomic_ref(layout_->inputs[port]).load(std::memory_order_relaxed));
        append(microseconds, false, port, result);
        return result;
    });
}

void PortSpace::write(std::uint16_t port, std::uint8_t byte)
{
    const std::uint64_t microseconds = now_microseconds();
    guarded(layout_, sizeof(Layout), path_, [this, port, byte, microseconds] {
        std::atomic_ref(layout_->latches[port]).store(byte, std::memory_order_relaxed);
        append(microseconds, true, port, byte);
    });
}

void PortSpace::set_input(std::uint16_t port, std::uint8_t byte)
{
    guarded(layout_, sizeof(Layout), path_, [this, port, byte] {
        std::atomic_ref(layout_->inputs[port]).store(byte, std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::input(std::uint16_t port) const
{
    return guarded(layout_, sizeof(Layout), path_, [this, port] {
        return std::atomic_ref(layout_->inputs[port]).load(std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::latch(std::uint16_t port) const
{
    return guarded(layout_, sizeof(Layout), path_, [this, port] {
        return std::atomic_ref(layout_->latches[port]).load(std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::value(std::uint16_t port) const
{
    return guarded(layout_, sizeof(Layout), path_, [this, port] {
        return static_cast<std::uint8_t>(
            std::atomic_ref(layout_->latches[port]).load(std::memory_order_relaxed)
            & std::atomic_ref(layout_->inputs[port]).load(std::memory_order_relaxed));
    });
}

void PortSpace::append(
    std::uint64_t microseconds, bool write, std::uint16_t port, std::uint8_t byte) noexcept
{
    const std::uint64_t number = layout_->appended.fetch_add(1, std::memory_order_relaxed);
    const std::uint64_t lap = number / log_capacity + 1;
    Slot& slot = layout_->ring[number % log_capacity];
    slot.time_word.store(
        (microseconds & bits(40)) | (lap & bits(24)) << 40, std::memory_order_relaxed);
    slot.data_word.store(byte | std::uint64_t { write } << 8 | std::uint64_t { port } << 9
            | (microseconds >> 40) << 25 | (lap & bits(15)) << 49,
        std::memory_order_release);
}

std::vector<PortSpace::LogEntry> PortSpace::log() const
{
    std::vector<LogEntry> entries;
    const auto range = guarded(layout_, sizeof(Layout), path_, [this] {
        const std::uint64_t last = layout_->appended.load(std::memory_order_acquire);
        std::uint64_t first = layout_->log_start.load(std::memory_order_acquire);
        if (last - first > log_capacity || first > last)
            first = last > log_capacity ? last - log_capacity : 0;
        return std::pair { first, last };
    });
    entries.reserve(range.second - range.first);
    guarded(layout_, sizeof(Layout), path_, [&] {
        for (std::uint64_t number = range.first; number < range.second; ++number) {
            const Slot& slot = layout_->ring[number % log_capacity];
            const std::uint64_t lap = number / log_capacity + 1;
            const std::uint64_t data = slot.data_word.load(std::memory_order_acquire);
            const std::uint64_t time = slot.time_word.load(std::memory_order_relaxed);
            if (data >> 49 != (lap & bits(15)) || time >> 40 != (lap & bits(24)))
                continue; // being written, or already overwritten by a later lap
            // The capacity was reserved above: push_back neither allocates nor throws.
            entries.push_back(
                { (time & bits(40)) | ((data >> 25) & bits(24)) << 40, ((data >> 8) & 1u) != 0,
                    static_cast<std::uint16_t>(data >> 9), static_cast<std::uint8_t>(data) });
        }
    });
    return entries;
}

void PortSpace::clear_log()
{
    guarded(layout_, sizeof(Layout), path_, [this] {
        layout_->log_start.store(
            layout_->appended.load(std::memory_order_acquire), std::memory_order_release);
    });
}

void PortSpace::reset()
{
    guarded(layout_, sizeof(Layout), path_, [this] {
        for (std::uint32_t port = 0; port < port_count; ++port) {
            std::atomic_ref(layout_->latches[port]).store(0xFF, std::memory_order_relaxed);
            std::atomic_ref(layout_->inputs[port]).store(0xFF, std::memory_order_relaxed);
        }
    });
    clear_log();
}
