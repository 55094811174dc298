// SPDX-License-Identifier: MIT
// The bounded queue of records waiting for the broker.
#include "watch/record_queue.h"

#include <algorithm>

using namespace core;

namespace watch {

void RecordQueue::push(const RecordEntry& entry)
{
    const std::lock_guard lock(mutex_);
    if (!first_)
        first_ = entry;
    if (entries_.size() >= capacity_) {
        entries_.pop_front();
        ++dropped_;
    }
    entries_.push_back(entry);
}

void RecordQueue::take(std::vector<RecordEntry>& out, std::size_t max)
{
    const std::lock_guard lock(mutex_);
    const std::size_t count = std::min(max, entries_.size());
    out.insert(out.end(), entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
}

std::size_t RecordQueue::size() const
{
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

std::uint64_t RecordQueue::dropped() const
{
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::optional<RecordEntry> RecordQueue::first() const
{
    const std::lock_guard lock(mutex_);
    return first_;
}

} // namespace watch
