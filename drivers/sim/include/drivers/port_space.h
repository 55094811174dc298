// SPDX-License-Identifier: MIT
// The simulated I/O space that the simulator library and movanta-portsim share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace drivers {

// A simulated I/O space of 65,536 byte-wide ports, shared between processes through one
// memory-mapped file. Each port has a latch (the last byte written) and an input (what the
// outside world drives); both start at 255. A read gives latch AND input, as an open-collector
// port does. Reads and writes made through access() are logged in a ring of the last 65,536.
// Any number of processes may read, write and log at once. A file cut short by someone else
// while mapped makes every later call throw std::runtime_error naming it, never a signal.
class PortSpace {
public:
    static constexpr std::uint32_t port_count = 65536;
    static constexpr std::uint32_t log_capacity = 65536;

    struct LogEntry {
        std::uint64_t microseconds = 0; // CLOCK_MONOTONIC (QueryPerformanceCounter on Windows)
        bool write = false;
        std::uint16_t port = 0;
        std::uint8_t value = 0;
    };

    // $MOVANTA_PORTSIM, else $XDG_RUNTIME_DIR/movanta-portsim, else portsim in a folder
    // movanta-<uid> of mode 0700 under $TMPDIR or /tmp, made when missing. Throws
    // std::runtime_error when that folder is not the user's own and private.
    // On Windows: %MOVANTA_PORTSIM%, else %LOCALAPPDATA%\Movanta\portsim (folder made).
    [[nodiscard]] static std::filesystem::path default_path();

    // Maps the file, creating it with all its blocks reserved and initialising it when it is
    // new. A file of another user or not a plain file is refused before its lock is asked
    // for; the lock is waited for up to a second. Throws std::runtime_error with the path
    // and the reason when it can't.
    explicit PortSpace(const std::filesystem::path& path);
    ~PortSpace();
    PortSpace(const PortSpace&) = delete;
    PortSpace& operator=(const PortSpace&) = delete;

    // What a driver sees, logged.
    [[nodiscard]] std::uint8_t read(std::uint16_t port);
    void write(std::uint16_t port, std::uint8_t value);

    // The outside world, not logged.
    void set_input(std::uint16_t port, std::uint8_t value);
    [[nodiscard]] std::uint8_t input(std::uint16_t port) const;
    [[nodiscard]] std::uint8_t latch(std::uint16_t port) const;
    [[nodiscard]] std::uint8_t value(std::uint16_t port) const; // latch AND input

    // Oldest first; entries being overwritten while this reads are left out.
    [[nodiscard]] std::vector<LogEntry> log() const;
    void clear_log();
    // Latches and inputs back to 255 and the log emptied.
    void reset();

private:
    struct Layout;
    // Runs access(context) over the mapping. Where a mapped file can be cut short (POSIX),
    // that fault becomes std::runtime_error naming the file. One per system's mapping file.
    void guard(void (*access)(void*), void* context) const;
    // guard() for a lambda; its result, if any, is passed back.
    template <class Access> auto mapped_access(Access access) const;
    // Initialises a new mapped file; throws std::runtime_error when it is not a port space
    // file of this version.
    void adopt();
    // Claims the next log entry and publishes it; called inside a guarded access.
    void append(
        std::uint64_t microseconds, bool write, std::uint16_t port, std::uint8_t value) noexcept;

    Layout* layout_ = nullptr;
    std::string path_; // named in the errors of later calls
};

} // namespace drivers
