// SPDX-License-Identifier: MIT
// Growing, reading and clearing the change record's chunks.
#include "core/change_record.h"

#include <stdexcept>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace core {

namespace change_record_detail {

namespace {

    // Walks the entries from a row on, each time worked out from the one before: a group's
    // first entry has its own, any other adds its step or, for an escape, takes the next
    // time of the escape log.
    class Walk {
    public:
        // At row, which must exist: at most 255 steps of its group are added up.
        Walk(const Blocks& blocks, std::size_t row) noexcept
            : blocks_(blocks)
            , chunk_index_(row / chunk_size)
            , chunk_(blocks.chunks[chunk_index_].get())
            , slot_(row % chunk_size / group_size * group_size)
            , time_(chunk_->group_time_us[slot_ / group_size])
            , next_escape_(chunk_->first_escape + chunk_->escapes_before[slot_ / group_size])
        {
            for (const std::size_t end = row % chunk_size; slot_ < end;) {
                ++slot_;
                add_step();
            }
        }

        [[nodiscard]] RecordEntry entry() const noexcept
        {
            return { chunk_->values[slot_], time_ };
        }
        [[nodiscard]] std::int64_t time_us() const noexcept { return time_; }

        // To the next row, which must exist.
        void next() noexcept
        {
            if (++slot_ == chunk_size) {
                chunk_ = blocks_.chunks[++chunk_index_].get();
                slot_ = 0;
            }
            if (slot_ % group_size == 0)
                time_ = chunk_->group_time_us[slot_ / group_size];
            else
                add_step();
        }

    private:
        // The time of slot_, not a group's first, from the time of the slot before it.
        void add_step() noexcept
        {
            const std::uint16_t step_us = chunk_->steps_us[slot_];
            if (step_us != escape) {
                time_ += step_us;
                return;
            }
            time_ = blocks_.escapes[next_escape_ / escape_block_size]
                                   [next_escape_ % escape_block_size];
            ++next_escape_;
        }

        const Blocks& blocks_;
        std::size_t chunk_index_;
        const Chunk* chunk_;
        std::size_t slot_;
        std::int64_t time_;
        std::uint64_t next_escape_;
    };

} // namespace

std::int64_t Blocks::time_us(std::size_t row) const noexcept { return Walk(*this, row).time_us(); }

void Blocks::read(std::size_t first, std::span<RecordEntry> out) const noexcept
{
    if (out.empty())
        return;
    Walk walk(*this, first);
    out[0] = walk.entry();
    for (std::size_t n = 1; n < out.size(); ++n) {
        walk.next();
        out[n] = walk.entry();
    }
}

} // namespace change_record_detail

using namespace change_record_detail;

void ChangeRecord::clear() noexcept
{
    blocks_ = {};
    tail_ = nullptr;
    escapes_ = 0;
    tail_escapes_ = 0;
#if defined(__GLIBC__)
    // glibc keeps freed blocks of this size in its heap, where anything allocated later
    // pins them; this hands their pages back to the system.
    malloc_trim(0);
#endif
}

std::uint8_t ChangeRecord::at(std::size_t row) const
{
    if (row >= blocks_.size)
        throw std::out_of_range("change record row " + std::to_string(row) + " of "
            + std::to_string(blocks_.size) + " entries");
    return blocks_.value(row);
}

std::size_t ChangeRecord::storage_bytes() const noexcept
{
    return blocks_.chunks.size() * sizeof(Chunk)
        + blocks_.escapes.size() * escape_block_size * sizeof(std::int64_t);
}

// Out of line: runs once per 65,536 appends and keeps append() small enough to inline.
// Left uninitialised, so that a chunk's pages are touched only as entries come.
void ChangeRecord::add_chunk()
{
    auto chunk = std::shared_ptr<Chunk>(new Chunk);
    chunk->first_escape = escapes_;
    tail_ = chunk.get();
    tail_escapes_ = 0;
    blocks_.chunks.push_back(std::move(chunk));
}

void ChangeRecord::add_escape(std::int64_t time_us)
{
    if (escapes_ % escape_block_size == 0)
        blocks_.escapes.push_back(
            std::make_shared_for_overwrite<std::int64_t[]>(escape_block_size));
    blocks_.escapes.back()[escapes_ % escape_block_size] = time_us;
    ++escapes_;
    ++tail_escapes_;
}

} // namespace core
