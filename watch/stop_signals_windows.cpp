// SPDX-License-Identifier: MIT
// Ctrl+C, Ctrl+Break and closing the console as a request to stop (Windows): a console control
// handler sets the event the run waits on, so that the run ends as on SIGINT, its output
// finished (a VCD closed properly).
#include "watch/stop_signals.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <windows.h>

namespace watch {

namespace {

std::atomic<bool> caught { false };
std::atomic<HANDLE> stop_event { nullptr }; // the StopSignals' event, while there is one
HANDLE ended = nullptr; // set when the process ends by returning from main

void mark_ended() { SetEvent(ended); }

BOOL WINAPI on_control(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    caught.store(true);
    if (const HANDLE stop = stop_event.load(); stop != nullptr)
        SetEvent(stop);
    // Closing the console ends the process as soon as this returns (Windows gives 5 s): the
    // run first finishes its output and returns from main.
    if (type == CTRL_CLOSE_EVENT && ended != nullptr)
        WaitForSingleObject(ended, 4500);
    return TRUE;
}

} // namespace

void block_stop_signals() noexcept
{
    ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ended != nullptr)
        std::atexit(mark_ended);
    // A console that ignores Ctrl+C for us (a program started in a new process group) keeps
    // doing so: the handler is not called for it.
    SetConsoleCtrlHandler(on_control, TRUE);
}

// A stop that comes before the run waits for it is remembered by the handler already.
void catch_stop_signals_early() noexcept { }

bool stop_signal_caught() noexcept { return caught.load(); }

StopSignals::StopSignals() noexcept
{
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return;
    try {
        event_ = std::shared_ptr<void>(event, [](void* handle) {
            HANDLE expected = handle;
            stop_event.compare_exchange_strong(expected, nullptr);
            CloseHandle(handle);
        });
    } catch (const std::bad_alloc&) {
        CloseHandle(event);
        return;
    }
    stop_event.store(event);
    if (stop_signal_caught())
        request();
}

void StopSignals::request() const noexcept
{
    if (event_)
        SetEvent(event_.get());
}

int StopSignals::fd() const noexcept
{
    return event_ ? static_cast<int>(HandleToLong(event_.get())) : -1;
}

} // namespace watch
