// SPDX-License-Identifier: MIT
// The per-thread copies behind KeptOpen: which threads hold one, and dropping them.
#include "drivers/kept_open.h"

#include <algorithm>
#include <vector>

namespace drivers {

namespace kept_open_detail {

struct Registry {
    std::mutex mutex;
    std::vector<Copy*> copies; // one a thread; under mutex
    bool gone = false; // the KeptOpen has been destroyed; under mutex
};

} // namespace kept_open_detail

namespace {

using kept_open_detail::Copy;
using kept_open_detail::last_copy;
using kept_open_detail::Registry;

// One thread's copies; at the thread's end each is dropped and taken off its registry.
class ThreadCopies {
public:
    ThreadCopies() = default;
    ThreadCopies(const ThreadCopies&) = delete;
    ThreadCopies& operator=(const ThreadCopies&) = delete;
    ~ThreadCopies()
    {
        last_copy = nullptr;
        for (const auto& copy : copies_)
            unlist(*copy);
    }

    [[nodiscard]] Copy* find(std::uint64_t owner) noexcept
    {
        for (const auto& copy : copies_) {
            if (copy->owner == owner)
                return copy.get();
        }
        return nullptr;
    }

    [[nodiscard]] Copy& add(std::uint64_t owner, const std::shared_ptr<Registry>& registry)
    {
        // Copies of KeptOpens that have gone are cleared out first, so that a thread using
        // one after another (a test, a port opened again) keeps no more than it uses.
        last_copy = nullptr;
        std::erase_if(copies_, [](const std::unique_ptr<Copy>& copy) {
            const std::lock_guard lock(copy->registry->mutex);
            return copy->registry->gone;
        });
        auto copy = std::make_unique<Copy>();
        copy->owner = owner;
        copy->registry = registry;
        copies_.reserve(copies_.size() + 1);
        {
            const std::lock_guard lock(registry->mutex);
            registry->copies.push_back(copy.get());
        }
        copies_.push_back(std::move(copy));
        return *copies_.back();
    }

private:
    static void unlist(Copy& copy) noexcept
    {
        const std::lock_guard lock(copy.registry->mutex);
        if (!copy.registry->gone)
            std::erase(copy.registry->copies, &copy);
        copy.held.reset();
    }

    std::vector<std::unique_ptr<Copy>> copies_;
};

ThreadCopies& this_thread() noexcept
{
    thread_local ThreadCopies copies;
    return copies;
}

} // namespace

namespace kept_open_detail {

std::uint64_t next_number() noexcept
{
    static std::atomic<std::uint64_t> next { 1 };
    return next.fetch_add(1, std::memory_order_relaxed);
}

std::shared_ptr<Registry> new_registry() { return std::make_shared<Registry>(); }

std::mutex& lock_of(Registry& registry) noexcept { return registry.mutex; }

Copy* find_copy(std::uint64_t owner) noexcept
{
    Copy* copy = this_thread().find(owner);
    if (copy != nullptr)
        last_copy = copy;
    return copy;
}

Copy& make_copy(std::uint64_t owner, const std::shared_ptr<Registry>& registry)
{
    Copy* copy = find_copy(owner);
    if (copy == nullptr) {
        copy = &this_thread().add(owner, registry);
        last_copy = copy;
    }
    return *copy;
}

void forget_copies(Registry& registry) noexcept
{
    const std::lock_guard lock(registry.mutex);
    for (Copy* copy : registry.copies)
        copy->held.reset();
    registry.copies.clear();
    registry.gone = true;
}

} // namespace kept_open_detail

} // namespace drivers
