#include "port_space.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t magic = 0x314d495354524f50; // "PORTSIM1"

using Atomic64 = std::atomic<std::uint64_t>;
static_assert(Atomic64::is_always_lock_free, "the shared file needs address-free atomics");

// A slot is valid for a reader when sequence equals the entry's number + 1 before and after
// reading it (the one writer publishes it last, with release).
struct Slot {
    Atomic64 sequence;
    Atomic64 microseconds;
    Atomic64 packed; // port << 16 | write << 8 | value
};

std::uint64_t now_microseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u
        + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

[[noreturn]] void fail(const std::filesystem::path& path, const char* what, int error)
{
    std::string text = path.string() + ": ";
    if (what != nullptr)
        text += std::string(what) + ": ";
    throw std::runtime_error(text + std::strerror(error));
}

} // namespace

struct PortSpace::Layout {
    Atomic64 magic_number;
    Atomic64 appended; // entries ever logged
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
    return "/tmp/movanta-portsim-" + std::to_string(getuid());
}

PortSpace::PortSpace(const std::filesystem::path& path)
{
    // O_NOFOLLOW: in a shared /tmp, a planted link must not redirect the file.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(path, nullptr, errno);
    // Held while the file is checked and initialised, so that a second process waits.
    if (flock(fd, LOCK_EX) != 0) {
        const int error = errno;
        close(fd);
        fail(path, "lock", error);
    }
    struct stat info { };
    fstat(fd, &info);
    const auto size = static_cast<off_t>(sizeof(Layout));
    if (info.st_uid != getuid()) {
        close(fd);
        throw std::runtime_error(path.string() + ": belongs to another user");
    }
    if (info.st_size != 0 && info.st_size != size) {
        close(fd);
        throw std::runtime_error(path.string() + ": not a port simulator file");
    }
    if (info.st_size == 0 && ftruncate(fd, size) != 0) {
        const int error = errno;
        close(fd);
        fail(path, "resize", error);
    }
    void* mapped = mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        const int error = errno;
        close(fd);
        fail(path, "map", error);
    }
    layout_ = static_cast<Layout*>(mapped);
    const std::uint64_t found = layout_->magic_number.load(std::memory_order_acquire);
    if (found == 0) {
        // New, or a creator that died half-way: the zeroed log is already valid.
        std::memset(layout_->latches, 0xFF, sizeof layout_->latches);
        std::memset(layout_->inputs, 0xFF, sizeof layout_->inputs);
        layout_->magic_number.store(magic, std::memory_order_release);
    } else if (found != magic) {
        munmap(mapped, sizeof(Layout));
        close(fd);
        throw std::runtime_error(path.string() + ": not a port simulator file");
    }
    flock(fd, LOCK_UN);
    close(fd); // the mapping stays
}

PortSpace::~PortSpace() { munmap(layout_, sizeof(Layout)); }

std::uint8_t PortSpace::read(std::uint16_t port)
{
    const std::uint8_t result = value(port);
    append(false, port, result);
    return result;
}

void PortSpace::write(std::uint16_t port, std::uint8_t byte)
{
    std::atomic_ref(layout_->latches[port]).store(byte, std::memory_order_relaxed);
    append(true, port, byte);
}

void PortSpace::set_input(std::uint16_t port, std::uint8_t byte)
{
    std::atomic_ref(layout_->inputs[port]).store(byte, std::memory_order_relaxed);
}

std::uint8_t PortSpace::input(std::uint16_t port) const
{
    return std::atomic_ref(layout_->inputs[port]).load(std::memory_order_relaxed);
}

std::uint8_t PortSpace::latch(std::uint16_t port) const
{
    return std::atomic_ref(layout_->latches[port]).load(std::memory_order_relaxed);
}

std::uint8_t PortSpace::value(std::uint16_t port) const
{
    return static_cast<std::uint8_t>(latch(port) & input(port));
}

void PortSpace::append(bool write, std::uint16_t port, std::uint8_t byte)
{
    const std::uint64_t number = layout_->appended.load(std::memory_order_relaxed);
    Slot& slot = layout_->ring[number % log_capacity];
    slot.sequence.store(0, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slot.microseconds.store(now_microseconds(), std::memory_order_relaxed);
    slot.packed.store(std::uint64_t { port } << 16 | std::uint64_t { write } << 8 | byte,
        std::memory_order_relaxed);
    slot.sequence.store(number + 1, std::memory_order_release);
    layout_->appended.store(number + 1, std::memory_order_release);
}

std::vector<PortSpace::LogEntry> PortSpace::log() const
{
    const std::uint64_t end = layout_->appended.load(std::memory_order_acquire);
    std::uint64_t begin = layout_->log_start.load(std::memory_order_acquire);
    if (end - begin > log_capacity || begin > end)
        begin = end > log_capacity ? end - log_capacity : 0;
    std::vector<LogEntry> entries;
    entries.reserve(end - begin);
    for (std::uint64_t number = begin; number < end; ++number) {
        const Slot& slot = layout_->ring[number % log_capacity];
        const std::uint64_t before = slot.sequence.load(std::memory_order_acquire);
        const std::uint64_t microseconds = slot.microseconds.load(std::memory_order_relaxed);
        const std::uint64_t packed = slot.packed.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        const std::uint64_t after = slot.sequence.load(std::memory_order_relaxed);
        if (before != number + 1 || after != before)
            continue;
        entries.push_back({ microseconds, ((packed >> 8) & 1u) != 0,
            static_cast<std::uint16_t>(packed >> 16), static_cast<std::uint8_t>(packed) });
    }
    return entries;
}

void PortSpace::clear_log()
{
    layout_->log_start.store(
        layout_->appended.load(std::memory_order_acquire), std::memory_order_release);
}

void PortSpace::reset()
{
    for (std::uint32_t port = 0; port < port_count; ++port) {
        std::atomic_ref(layout_->latches[port]).store(0xFF, std::memory_order_relaxed);
        std::atomic_ref(layout_->inputs[port]).store(0xFF, std::memory_order_relaxed);
    }
    clear_log();
}
