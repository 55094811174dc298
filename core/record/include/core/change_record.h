// SPDX-License-Identifier: MIT
// The change record: every entry's value and wall-clock time, compactly, append-only.
#pragma once

#include "core/record_entry.h"
#include "core/record_sink.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace core {

namespace change_record_detail {

// Entries in chunks of 65,536: a value byte and a 16-bit microsecond step from the entry
// before, with the absolute time of every 256th entry, about 3.04 bytes an entry. A step
// that does not fit (65.5 ms or more, or backwards) is an escape: its absolute time goes
// into a log of its own. A chunk is never moved or resized once made, so a reader on
// another thread may read the entries it was given while more are appended after them.
inline constexpr std::size_t chunk_size = std::size_t { 1 } << 16;
inline constexpr std::size_t group_size = 256;
inline constexpr std::size_t escape_block_size = 4096;
inline constexpr std::uint16_t escape = 0xFFFF;

struct Chunk {
    std::uint8_t values[chunk_size];
    std::uint16_t steps_us[chunk_size]; // unused for a group's first entry
    std::int64_t group_time_us[chunk_size / group_size];
    // Escapes in this chunk before each group; fits: at most 255 of each 256 entries escape.
    std::uint16_t escapes_before[chunk_size / group_size];
    std::uint64_t first_escape; // in the escape log
};

struct Blocks {
    std::vector<std::shared_ptr<Chunk>> chunks;
    std::vector<std::shared_ptr<std::int64_t[]>> escapes;
    std::size_t size = 0;

    [[nodiscard]] std::uint8_t value(std::size_t row) const noexcept
    {
        return chunks[row / chunk_size]->values[row % chunk_size];
    }
    // At most 255 steps of the row's group are added up.
    [[nodiscard]] std::int64_t time_us(std::size_t row) const noexcept;
    // Entries from row first on, as many as out holds; all must exist.
    void read(std::size_t first, std::span<RecordEntry> out) const noexcept;
};

} // namespace change_record_detail

// "The first N entries": what a saver on another thread reads while the record grows or is
// cleared. It keeps the chunks it needs alive by itself.
class RecordSnapshot {
public:
    RecordSnapshot() = default;

    [[nodiscard]] std::size_t size() const noexcept { return blocks_.size; }
    // row below size().
    [[nodiscard]] RecordEntry operator[](std::size_t row) const noexcept
    {
        return { blocks_.value(row), blocks_.time_us(row) };
    }
    // Entries from row first on into out, as many as fit; first + out.size() <= size().
    void read(std::size_t first, std::span<RecordEntry> out) const noexcept
    {
        blocks_.read(first, out);
    }

private:
    friend class ChangeRecord;
    explicit RecordSnapshot(change_record_detail::Blocks blocks)
        : blocks_(std::move(blocks))
    {
    }

    change_record_detail::Blocks blocks_;
};

// Appended and cleared on one thread; snapshots go to any. As a sink of a polling run it
// keeps every record it is given.
class ChangeRecord final : public RecordSink {
public:
    void add(const RecordEntry& entry) override { append(entry.value, entry.time_us); }

    // time_us: wall-clock microseconds of the read.
    void append(std::uint8_t value, std::int64_t time_us)
    {
        namespace detail = change_record_detail;
        const std::size_t slot = blocks_.size % detail::chunk_size;
        if (slot == 0)
            add_chunk();
        detail::Chunk& chunk = *tail_;
        chunk.values[slot] = value;
        if (slot % detail::group_size == 0) {
            chunk.group_time_us[slot / detail::group_size] = time_us;
            chunk.escapes_before[slot / detail::group_size] = tail_escapes_;
        } else {
            const std::int64_t step = time_us - last_time_us_;
            if (step >= 0 && step < detail::escape) {
                chunk.steps_us[slot] = static_cast<std::uint16_t>(step);
            } else {
                chunk.steps_us[slot] = detail::escape;
                add_escape(time_us);
            }
        }
        last_time_us_ = time_us;
        ++blocks_.size;
    }

    // Removes every entry and gives the memory back (snapshots keep theirs).
    void clear() noexcept;

    [[nodiscard]] std::size_t size() const noexcept { return blocks_.size; }
    [[nodiscard]] bool empty() const noexcept { return blocks_.size == 0; }

    // Unchecked: row must be below size().
    [[nodiscard]] std::uint8_t operator[](std::size_t row) const noexcept
    {
        return blocks_.value(row);
    }
    // Throws std::out_of_range for a row at or past size().
    [[nodiscard]] std::uint8_t at(std::size_t row) const;
    // Unchecked: row must be below size().
    [[nodiscard]] std::int64_t time_us(std::size_t row) const noexcept
    {
        return blocks_.time_us(row);
    }

    [[nodiscard]] RecordSnapshot snapshot() const { return RecordSnapshot(blocks_); }

    // Bytes held for entries and their times, in whole chunks.
    [[nodiscard]] std::size_t storage_bytes() const noexcept;

private:
    void add_chunk();
    void add_escape(std::int64_t time_us);

    change_record_detail::Blocks blocks_;
    change_record_detail::Chunk* tail_ = nullptr;
    std::uint64_t escapes_ = 0;
    std::uint16_t tail_escapes_ = 0;
    std::int64_t last_time_us_ = 0;
};

} // namespace core
