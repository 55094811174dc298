// SPDX-License-Identifier: MIT
// The periodic waitable timer behind the window's ticks.
#include "tick_pacer.h"

#include "runtime_error.h"

#include <mmsystem.h>

#include <system_error>

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
    if (stop_ == nullptr) {
        const std::system_error error = last_error("CreateEventW");
        CloseHandle(timer_);
        throw error;
    }
    try {
        thread_ = std::thread([this] { wait_for_ticks(); });
    } catch (...) {
        CloseHandle(stop_);
        CloseHandle(timer_);
        throw;
    }
}

TickPacer::~TickPacer()
{
    disarm();
    SetEvent(stop_);
    thread_.join();
    CloseHandle(stop_);
    CloseHandle(timer_);
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
    const HANDLE handles[2] = { stop_, timer_ };
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1)
            return;
        if (!posted_.exchange(true, std::memory_order_acq_rel)) {
            const WPARAM generation = generation_.load(std::memory_order_relaxed);
            if (!PostMessageW(window_, message_, generation, 0))
                posted_.store(false, std::memory_order_release);
        }
    }
}
