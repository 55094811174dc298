// SPDX-License-Identifier: MIT
// The records waiting for the broker: filled by the poll thread, emptied by the sender.
// Bounded: when full, the oldest record makes room and is counted as dropped.
#pragma once

#include "core/record_entry.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace watch {

class RecordQueue {
public:
    explicit RecordQueue(std::size_t capacity) noexcept
        : capacity_(capacity < 1 ? 1 : capacity)
    {
    }

    // Takes the lock only as long as a deque append lasts: the poll thread never waits for
    // the sender's network work.
    void push(const core::RecordEntry& entry);
    // Moves up to max records from the front to the end of out, oldest first.
    void take(std::vector<core::RecordEntry>& out, std::size_t max);

    [[nodiscard]] std::size_t size() const;
    // The first record ever pushed, also once it was dropped.
    [[nodiscard]] std::optional<core::RecordEntry> first() const;
    // Records dropped since the start.
    [[nodiscard]] std::uint64_t dropped() const;

private:
    mutable std::mutex mutex_;
    std::deque<core::RecordEntry> entries_;
    std::size_t capacity_;
    std::uint64_t dropped_ = 0;
    std::optional<core::RecordEntry> first_;
};

} // namespace watch
