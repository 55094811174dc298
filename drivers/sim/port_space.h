#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A simulated I/O space of 65,536 byte-wide ports, shared between processes through one
// memory-mapped file. Each port has a latch (the last byte written) and an input (what the
// outside world drives); both start at 255. A read gives latch AND input, as an open-collector
// port does. Reads and writes made through access() are logged in a ring of the last 65,536.
class PortSpace {
public:
    static constexpr std::uint32_t port_count = 65536;
    static constexpr std::uint32_t log_capacity = 65536;

    struct LogEntry {
        std::uint64_t microseconds = 0; // CLOCK_MONOTONIC
        bool write = false;
        std::uint16_t port = 0;
        std::uint8_t value = 0;
    };

    // $MOVANTA_PORTSIM, else $XDG_RUNTIME_DIR/movanta-portsim, else /tmp/movanta-portsim-<uid>.
    [[nodiscard]] static std::filesystem::path default_path();

    // Maps the file, creating and initialising it when it is new. Throws std::runtime_error
    // with the path and the system's reason when it can't.
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
    void append(bool write, std::uint16_t port, std::uint8_t value);

    Layout* layout_ = nullptr;
};
