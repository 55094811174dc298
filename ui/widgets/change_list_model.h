#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The entries of the change list: one byte each, formatted only when shown.
// Bytes live in fixed blocks of 64 KiB, so an append never copies the entries
// already stored and the store needs one byte per entry plus at most one
// partly filled block.
class ChangeListModel {
public:
    static constexpr std::size_t block_size = std::size_t { 1 } << 16;

    void append(std::uint8_t value)
    {
        const std::size_t slot = size_ % block_size;
        if (slot == 0)
            add_block();
        blocks_.back()[slot] = value;
        ++size_;
    }

    // Removes every entry and gives the memory back.
    void clear() noexcept;

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }

    // Throws std::out_of_range for a row at or past size().
    [[nodiscard]] std::uint8_t at(std::size_t row) const;
    // Unchecked: row must be below size().
    [[nodiscard]] std::uint8_t operator[](std::size_t row) const noexcept
    {
        return blocks_[row / block_size][row % block_size];
    }

    // Bytes held for entries, in whole blocks.
    [[nodiscard]] std::size_t storage_bytes() const noexcept { return blocks_.size() * block_size; }

private:
    void add_block();

    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::size_t size_ = 0;
};
