// SPDX-License-Identifier: MIT
// The paced sleep on Windows: a one-shot waitable timer for each sleep, high-resolution where
// Windows has one (else with the system's timer resolution raised to 1 ms), waited on together
// with the stop event.
#include "watch/pacer.h"

#include "core/record_clock.h"

#include <windows.h>

#include <mmsystem.h>

#include <new>

using namespace core;

namespace watch {

namespace {

// Windows 10 1803 and later; older ones refuse the flag, and the mingw headers may lack it.
constexpr DWORD high_resolution_flag = 0x00000002; // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

HANDLE stop_event(int stop_fd) noexcept { return stop_fd == -1 ? nullptr : LongToHandle(stop_fd); }

} // namespace

// A pipe whose reader has gone is seen by the write that fails: the output is not watched.
Pacer::Wake check_stop(int stop_fd, int /*output_fd*/) noexcept
{
    const HANDLE stop = stop_event(stop_fd);
    return stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0 ? Pacer::Wake::Stop
                                                                            : Pacer::Wake::Poll;
}

Pacer::Timer Pacer::make_timer() noexcept
{
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, high_resolution_flag, TIMER_ALL_ACCESS);
    if (timer == nullptr) {
        // For as long as the process runs: it ends soon after its polls do.
        static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
        (void)raised;
        timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    if (timer == nullptr)
        return {};
    try {
        return Timer(timer, [](void* handle) { CloseHandle(handle); });
    } catch (const std::bad_alloc&) {
        CloseHandle(timer);
        return {};
    }
}

Pacer::Wake Pacer::sleep_until(std::int64_t wake_ns)
{
    const std::int64_t left_ns = wake_ns - monotonic_ns();
    if (left_ns <= 0) {
        if (++unslept_ < unslept_check_every)
            return Wake::Poll;
        unslept_ = 0;
        return check_stop(stop_fd_, output_fd_);
    }
    unslept_ = 0;
    // Relative, in 100 ns units (negative), rounded up so as never to wake before wake_ns.
    LARGE_INTEGER due;
    due.QuadPart = -((left_ns + 99) / 100);
    if (!timer_ || !SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
        // Without a timer, a stop is seen after the sleep.
        Sleep(static_cast<DWORD>((left_ns + 999'999) / 1'000'000));
        return check_stop(stop_fd_, output_fd_);
    }
    const HANDLE stop = stop_event(stop_fd_);
    const HANDLE waited[2] = { timer_.get(), stop };
    const DWORD woken = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waited, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 + 1)
        return Wake::Stop;
    return Wake::Poll; // the timer, or the wait itself failed: go on awake rather than hang
}

} // namespace watch
