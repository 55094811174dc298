// SPDX-License-Identifier: MIT
// One thing a driver opens at its first use and keeps, tried again after a failure.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace drivers {

namespace kept_open_detail {

struct Registry;

// One thread's copy of what one KeptOpen keeps. Only its thread writes generation and thing;
// held is also dropped by the KeptOpen's destructor, which no access may overlap.
struct Copy {
    std::uint64_t owner = 0; // the KeptOpen's number; no number is given twice
    std::uint64_t generation = 0; // the KeptOpen's generation it was taken in; 0: none
    void* thing = nullptr; // held's thing, as the KeptOpen's T*
    std::shared_ptr<void> held;
    std::shared_ptr<Registry> registry; // outlives the KeptOpen while this thread lists it
};

// The copy the calling thread used last: most drivers keep one thing, so this is the hit.
inline thread_local Copy* last_copy = nullptr;

// A number for a new KeptOpen.
[[nodiscard]] std::uint64_t next_number() noexcept;
// A registry for a new KeptOpen: its lock and which threads hold copies.
[[nodiscard]] std::shared_ptr<Registry> new_registry();
[[nodiscard]] std::mutex& lock_of(Registry& registry) noexcept;
// The calling thread's copy for owner, or nullptr when it has none yet.
[[nodiscard]] Copy* find_copy(std::uint64_t owner) noexcept;
// The calling thread's copy for owner, made and listed in registry when it has none.
[[nodiscard]] Copy& make_copy(std::uint64_t owner, const std::shared_ptr<Registry>& registry);
// Drops every thread's copy; the KeptOpen is going.
void forget_copies(Registry& registry) noexcept;

} // namespace kept_open_detail

// A device, a mapped file or a GPIO line request, opened at its first use and then kept.
// An open that fails is tried again at the next use, so that a permission granted, a module
// loaded or a part plugged in needs no restart; one that stopped working is let go and opened
// afresh at the next use.
//
// Each thread keeps a copy of the shared pointer and a generation, which let_go counts up, so
// that the usual access (open and working) takes no lock and touches no shared count: a copy
// and a lock cost a free-running simulator a third of its reads once a process has a second
// thread. A thing let go stays open while another thread's copy holds it: that thread drops
// the copy at its next get() (before opening anything), when it ends, or when the KeptOpen
// goes. So what get() gave is never closed under a caller's feet by another thread; it is good
// until the same thread's next get() or let_go().
template <typename T> class KeptOpen {
public:
    KeptOpen()
        : number_(kept_open_detail::next_number())
        , registry_(kept_open_detail::new_registry())
    {
    }
    // No thread may be in get() or let_go(), nor use what get() gave, while it goes.
    ~KeptOpen() { kept_open_detail::forget_copies(*registry_); }
    KeptOpen(const KeptOpen&) = delete;
    KeptOpen& operator=(const KeptOpen&) = delete;

    // The kept thing, opened first when nothing is kept; nullptr when that open failed.
    // open() gives a std::unique_ptr to the new thing (a derived type is destroyed as such),
    // or nullptr once it has set its reason, or throws; nullptr and the exception are passed
    // on, and the next get() opens again.
    template <typename Open> [[nodiscard]] T* get(Open&& open)
    {
        using kept_open_detail::last_copy;
        const std::uint64_t generation = generation_.load(std::memory_order_acquire);
        if (last_copy != nullptr && last_copy->owner == number_
            && last_copy->generation == generation)
            return static_cast<T*>(last_copy->thing);
        if (const auto* copy = kept_open_detail::find_copy(number_);
            copy != nullptr && copy->generation == generation)
            return static_cast<T*>(copy->thing);
        return refresh(open);
    }

    // Only the one that failed: another caller may already have opened a new one. The
    // calling thread's copy goes too, so broken is closed here unless another thread is still
    // holding it; the caller does not use it afterwards.
    void let_go(const T* broken)
    {
        if (auto* copy = kept_open_detail::find_copy(number_);
            copy != nullptr && copy->thing == broken)
            drop(*copy);
        const std::lock_guard lock(kept_open_detail::lock_of(*registry_));
        if (kept_ && kept_.get() == broken) {
            kept_.reset();
            generation_.fetch_add(1, std::memory_order_release);
        }
    }

private:
    static void drop(kept_open_detail::Copy& copy) noexcept
    {
        copy.generation = 0;
        copy.thing = nullptr;
        copy.held.reset();
    }

    template <typename Open> [[nodiscard]] T* refresh(Open& open)
    {
        kept_open_detail::Copy& copy = kept_open_detail::make_copy(number_, registry_);
        // An outdated thing goes before the lock is waited for or a new one opened: another
        // thread opening may wait for it (a parallel port claimed once at a time).
        drop(copy);
        const std::lock_guard lock(kept_open_detail::lock_of(*registry_));
        if (!kept_)
            kept_ = open();
        if (!kept_)
            return nullptr;
        copy.held = kept_;
        copy.thing = kept_.get();
        copy.generation = generation_.load(std::memory_order_relaxed);
        return kept_.get();
    }

    const std::uint64_t number_;
    std::atomic<std::uint64_t> generation_ { 1 }; // counted up by each let_go that drops kept_
    std::shared_ptr<kept_open_detail::Registry> registry_;
    std::shared_ptr<T> kept_; // under the registry's lock
};

} // namespace drivers
