// SPDX-License-Identifier: MIT
// The window's poll timer (timer1): a periodic waitable timer, high-resolution where Windows
// has one. The window's message loop waits on it beside the messages (one wake per tick); while
// a menu, a dialog or a message box runs a loop of its own, a thread of the timer's waits on it
// instead and posts each tick to the window, so that ticks still arrive on the window's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace win32 {

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

    // What the message loop waits on beside the messages; signalled when a tick is due.
    [[nodiscard]] HANDLE handle() const noexcept { return timer_; }
    // For the message loop when handle() was signalled: whether that is a tick to run.
    [[nodiscard]] bool take_signal() const noexcept { return enabled_ && interval_ > 0; }
    // For the window, with a posted tick's wParam: whether the message is a tick to run. Ticks
    // that could not run in time make one tick, not several.
    [[nodiscard]] bool take_tick(WPARAM generation) noexcept;

    // While one lives, a loop other than the window's runs (a menu, a dialog, a message box):
    // ticks come as posted messages. They nest.
    class Modal {
    public:
        explicit Modal(TickPacer& pacer) noexcept;
        ~Modal();
        Modal(const Modal&) = delete;
        Modal& operator=(const Modal&) = delete;

    private:
        TickPacer& pacer_;
    };

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
    HANDLE modal_ = nullptr; // set while a Modal lives
    int modal_depth_ = 0;
    bool high_resolution_ = false;
    bool raised_resolution_ = false;
    int interval_ = 10;
    bool enabled_ = false;
    std::atomic<std::uintptr_t> generation_ { 0 };
    // A tick posted and not yet taken: no second one is posted behind it.
    std::atomic<bool> posted_ { false };
    std::thread thread_;
};

} // namespace win32
