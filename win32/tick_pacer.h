// SPDX-License-Identifier: MIT
// The window's poll timer (timer1): a periodic waitable timer, high-resolution where Windows
// has one, waited on by a thread of its own that posts each tick to the window, so that ticks
// arrive as ordinary messages on the window's thread, also while a menu, a dialog or a
// message box runs its own loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

class TickPacer {
public:
    // Each tick posts message to window with the pacer's generation as wParam; the window
    // passes it to take_tick(). Laid out disabled with an interval of 10 ms.
    // Throws std::system_error when no timer or thread can be had.
    TickPacer(HWND window, UINT message);
    ~TickPacer();
    TickPacer(const TickPacer&) = delete;
    TickPacer& operator=(const TickPacer&) = delete;

    // Milliseconds. Throws RuntimeError::invalid_property_value() below 0 and leaves the
    // timer as it was. 0 means enabled but no tick ever comes. Setting it while enabled
    // starts a new period.
    void set_interval(int milliseconds);
    [[nodiscard]] int interval() const noexcept { return interval_; }

    // Enabling an enabled timer changes nothing; disabling drops any tick already posted.
    void set_enabled(bool enabled);
    [[nodiscard]] bool enabled() const noexcept { return enabled_; }

    // For the window, with the message's wParam: whether the message is a tick to run. Ticks
    // that could not run in time make one tick, not several.
    [[nodiscard]] bool take_tick(WPARAM generation) noexcept;

    // Whether the timer is Windows' high-resolution one (Windows 10 1803 and later); elsewhere
    // the system's timer resolution is raised to 1 ms while the timer runs.
    [[nodiscard]] bool high_resolution() const noexcept { return high_resolution_; }

private:
    void arm();
    void disarm() noexcept;
    void wait_for_ticks() noexcept;

    HWND window_;
    UINT message_;
    HANDLE timer_ = nullptr;
    HANDLE stop_ = nullptr;
    bool high_resolution_ = false;
    bool raised_resolution_ = false;
    int interval_ = 10;
    bool enabled_ = false;
    std::atomic<std::uintptr_t> generation_ { 0 };
    // A tick posted and not yet taken: no second one is posted behind it.
    std::atomic<bool> posted_ { false };
    std::thread thread_;
};
