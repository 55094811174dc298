// SPDX-License-Identifier: MIT
// The periodic waitable timer behind the window's ticks.
#include "win32/tick_pacer.h"

#include "core/runtime_error.h"

#include <mmsystem.h>

#include <system_error>

using namespace core;

namespace win32 {

namespace {

// Windows 10 1803 and later; older ones refuse the flag, and the mingw headers may lack it.
constexpr DWORD high_resolution_flag = 0x00000002; // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

std::system_error last_error(const char* what)
{
    return { static_cast<int>(GetLastError()), std::system_category(), what };
}

} // namespace

TickPacer::TickPacer(HWND window, UINT message)
    : window_(window)
    , message_(message)
{
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, high_resolution_flag, TIMER_ALL_ACCESS);
    high_resolution_ = timer_ != nullptr;
    if (timer_ == nullptr)
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (timer_ == nullptr)
        throw last_error("CreateWaitableTimerExW");
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    modal_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    try {
        if (stop_ == nullptr || modal_ == nullptr)
            throw last_error("CreateEventW");
        thread_ = std::thread([this] { wait_for_ticks(); });
    } catch (...) {
        for (const HANDLE handle : { modal_, stop_, timer_ }) {
            if (handle != nullptr)
                CloseHandle(handle);
        }
        throw;
    }
}

TickPacer::~TickPacer()
{
    disarm();
    SetEvent(stop_);
    thread_.join();
    CloseHandle(modal_);
    CloseHandle(stop_);
    CloseHandle(timer_);
}

TickPacer::Modal::Modal(TickPacer& pacer) noexcept
    : pacer_(pacer)
{
    if (pacer_.modal_depth_++ == 0)
        SetEvent(pacer_.modal_);
}

TickPacer::Modal::~Modal()
{
    if (--pacer_.modal_depth_ == 0)
        ResetEvent(pacer_.modal_);
}

void TickPacer::set_interval(int milliseconds)
{
    if (milliseconds < 0)
        throw RuntimeError::invalid_property_value();
    interval_ = milliseconds;
    if (enabled_)
        arm();
}

void TickPacer::set_enabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled)
        arm();
    else
        disarm();
}

bool TickPacer::take_tick(WPARAM generation) noexcept
{
    posted_.store(false, std::memory_order_release);
    return enabled_ && interval_ > 0 && generation == generation_.load(std::memory_order_relaxed);
}

void TickPacer::arm()
{
    disarm();
    if (interval_ == 0)
        return;
    if (!high_resolution_ && !raised_resolution_)
        raised_resolution_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    // Due one interval from now, in 100 ns units; negative: relative to now.
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(interval_) * 10'000;
    if (!SetWaitableTimer(timer_, &due, interval_, nullptr, nullptr, FALSE))
        throw RuntimeError::invalid_property_value();
}

void TickPacer::disarm() noexcept
{
    CancelWaitableTimer(timer_);
    // Ticks posted before this are no longer taken.
    generation_.fetch_add(1, std::memory_order_relaxed);
    if (raised_resolution_) {
        timeEndPeriod(1);
        raised_resolution_ = false;
    }
}

void TickPacer::wait_for_ticks() noexcept
{
    // Only while a modal loop runs; otherwise the window's own loop takes the ticks. The
    // modal flag is looked at again every 50 ms: a tick taken here just after the modal loop
    // ended is posted and runs all the same.
    const HANDLE idle[2] = { stop_, modal_ };
    const HANDLE ticking[2] = { stop_, timer_ };
    for (;;) {
        if (WaitForMultipleObjects(2, idle, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        while (WaitForSingleObject(modal_, 0) == WAIT_OBJECT_0) {
            const DWORD woken = WaitForMultipleObjects(2, ticking, FALSE, 50);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
                return;
            if (woken != WAIT_OBJECT_0 + 1 || posted_.exchange(true, std::memory_order_acq_rel))
                continue;
            const WPARAM generation = generation_.load(std::memory_order_relaxed);
            if (!PostMessageW(window_, message_, generation, 0))
                posted_.store(false, std::memory_order_release);
        }
    }
}

} // namespace win32
