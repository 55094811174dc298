// SPDX-License-Identifier: MIT
// Growing, reading and clearing the change record's chunks.
#include "change_record.h"

#include <stdexcept>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace change_record_detail {

std::int64_t Blocks::time_us(std::size_t row) const noexcept
{
    const Chunk& chunk = *chunks[row / chunk_size];
    const std::size_t slot = row % chunk_size;
    const std::size_t group = slot / group_size;
    std::int64_t time = chunk.group_time_us[group];
    std::uint64_t next_escape = chunk.first_escape + chunk.escapes_before[group];
    for (std::size_t i = group * group_size + 1; i <= slot; ++i) {
        const std::uint16_t step = chunk.steps_us[i];
        if (step == escape) {
            time = escapes[next_escape / escape_block_size][next_escape % escape_block_size];
            ++next_escape;
        } else {
            time += step;
        }
    }
    return time;
}

void Blocks::read(std::size_t first, std::span<RecordEntry> out) const noexcept
{
    if (out.empty())
        return;
    std::int64_t time = time_us(first);
    out[0] = { value(first), time };
    // The escape log's position of the next escape after first.
    const Chunk* chunk = chunks[first / chunk_size].get();
    std::size_t slot = first % chunk_size;
    std::uint64_t next_escape = chunk->first_escape + chunk->escapes_before[slot / group_size];
    for (std::size_t i = slot / group_size * group_size + 1; i <= slot; ++i)
        next_escape += chunk->steps_us[i] == escape ? 1 : 0;
    for (std::size_t n = 1; n < out.size(); ++n) {
        if (++slot == chunk_size) {
            slot = 0;
            chunk = chunks[(first + n) / chunk_size].get();
        }
        if (slot % group_size == 0) {
            time = chunk->group_time_us[slot / group_size];
        } else if (const std::uint16_t step = chunk->steps_us[slot]; step == escape) {
            time = escapes[next_escape / escape_block_size][next_escape % escape_block_size];
            ++next_escape;
        } else {
            time += step;
        }
        out[n] = { chunk->values[slot], time };
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
