// SPDX-License-Identifier: MIT
// What a port space does with its mapped file, on every system: the ports, the log, a reset.
#include "core/record_clock.h"
#include "drivers/port_space.h"
#include "port_space_layout.h"

#include <atomic>
#include <cstring>
#include <type_traits>
#include <utility>

using namespace core;

namespace drivers {

using port_space_file::Slot;

namespace {

constexpr std::uint64_t bits(unsigned count) { return (std::uint64_t { 1 } << count) - 1; }

std::uint64_t now_microseconds() { return static_cast<std::uint64_t>(monotonic_us()); }

} // namespace

std::runtime_error port_space_file::not_ours(
    const std::string& shown_path, std::uint64_t first_word)
{
    if ((first_word & bits(56)) == (magic & bits(56)))
        return std::runtime_error(shown_path
            + ": a port simulator file of another version: remove it, and the next use makes a "
              "new one");
    return std::runtime_error(shown_path + ": not a port simulator file");
}

// Access owns nothing with a destructor and gives a trivially destructible result: on POSIX
// a truncated file leaves it by a jump.
template <class Access> auto PortSpace::mapped_access(Access access) const
{
    if constexpr (std::is_void_v<decltype(access())>) {
        guard([](void* context) { (*static_cast<Access*>(context))(); }, &access);
    } else {
        decltype(access()) result {};
        auto keep = [&result, &access] { result = access(); };
        guard([](void* context) { (*static_cast<decltype(keep)*>(context))(); }, &keep);
        return result;
    }
}

void PortSpace::adopt()
{
    const std::uint64_t found = mapped_access([layout = layout_] {
        const std::uint64_t magic_found = layout->magic_number.load(std::memory_order_acquire);
        if (magic_found == 0) {
            // New, or a creator that died half-way: the zeroed log is already valid.
            std::memset(layout->latches, 0xFF, sizeof layout->latches);
            std::memset(layout->inputs, 0xFF, sizeof layout->inputs);
            layout->magic_number.store(port_space_file::magic, std::memory_order_release);
        }
        return magic_found;
    });
    if (found != 0 && found != port_space_file::magic)
        throw port_space_file::not_ours(path_, found);
}

std::uint8_t PortSpace::read(std::uint16_t port)
{
    const std::uint64_t microseconds = now_microseconds();
    return mapped_access([this, port, microseconds] {
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
    mapped_access([this, port, byte, microseconds] {
        std::atomic_ref(layout_->latches[port]).store(byte, std::memory_order_relaxed);
        append(microseconds, true, port, byte);
    });
}

void PortSpace::set_input(std::uint16_t port, std::uint8_t byte)
{
    mapped_access([this, port, byte] {
        std::atomic_ref(layout_->inputs[port]).store(byte, std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::input(std::uint16_t port) const
{
    return mapped_access([this, port] {
        return std::atomic_ref(layout_->inputs[port]).load(std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::latch(std::uint16_t port) const
{
    return mapped_access([this, port] {
        return std::atomic_ref(layout_->latches[port]).load(std::memory_order_relaxed);
    });
}

std::uint8_t PortSpace::value(std::uint16_t port) const
{
    return mapped_access([this, port] {
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
    const auto range = mapped_access([this] {
        const std::uint64_t last = layout_->appended.load(std::memory_order_acquire);
        std::uint64_t first = layout_->log_start.load(std::memory_order_acquire);
        if (last - first > log_capacity || first > last)
            first = last > log_capacity ? last - log_capacity : 0;
        return std::pair { first, last };
    });
    entries.reserve(range.second - range.first);
    mapped_access([&] {
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
    mapped_access([this] {
        layout_->log_start.store(
            layout_->appended.load(std::memory_order_acquire), std::memory_order_release);
    });
}

void PortSpace::reset()
{
    mapped_access([this] {
        for (std::uint32_t port = 0; port < port_count; ++port) {
            std::atomic_ref(layout_->latches[port]).store(0xFF, std::memory_order_relaxed);
            std::atomic_ref(layout_->inputs[port]).store(0xFF, std::memory_order_relaxed);
        }
    });
    clear_log();
}

} // namespace drivers
