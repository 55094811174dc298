// SPDX-License-Identifier: MIT
// One thing a driver opens at its first use and keeps, tried again after a failure.
#pragma once

#include <memory>
#include <mutex>

// A device, a mapped file or a GPIO line request, opened at its first use and then kept.
// An open that fails is tried again at the next use, so that a permission granted, a module
// loaded or a part plugged in needs no restart; one that stopped working is let go and opened
// afresh at the next use. Callers hold what get() gave them for the length of one access, so
// letting go never closes it under another thread's feet.
template <typename T> class KeptOpen {
public:
    // open() gives a std::unique_ptr to the new thing (a derived type is destroyed as such),
    // or nullptr once it has set its reason, or throws; nullptr and the exception are passed
    // on, and the next get() opens again.
    template <typename Open> [[nodiscard]] std::shared_ptr<T> get(Open&& open)
    {
        const std::lock_guard lock(mutex_);
        if (!kept_)
            kept_ = open();
        return kept_;
    }

    // Only the one that failed: another caller may already have opened a new one.
    void let_go(const std::shared_ptr<T>& broken)
    {
        const std::lock_guard lock(mutex_);
        if (kept_ == broken)
            kept_.reset();
    }

private:
    std::mutex mutex_;
    std::shared_ptr<T> kept_;
};
