// SPDX-License-Identifier: MIT
// Not a test: measures Movanta.exe's window under Wine or Windows (docs/performance.md). Makes
// the window, shows it, then polls port 888 through dlportio.dll every 1 ms for a while and
// prints the start-up time and the reads per second; then, for comparison in the same run, how
// often a bare periodic 1 ms waitable timer wakes a thread that does nothing else.
// Usage: win32_window_rate.exe [SECONDS]
#include "port/port_io.h"
#include "win32/form1.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

using namespace port;

namespace {

long long reads = 0;

std::uint8_t counted_read(std::int32_t port)
{
    ++reads;
    return port_io::read(port);
}

double ms_since_process_start()
{
    FILETIME created {}, exited {}, kernel {}, user {}, now {};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10'000.0;
}

void run_messages_for(std::chrono::steady_clock::duration how_long, Form1& form)
{
    const auto until = std::chrono::steady_clock::now() + how_long;
    while (std::chrono::steady_clock::now() < until && form.pump(5)) {
    }
}

double bare_timer_wakes_per_second(int seconds)
{
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, 0x2, TIMER_ALL_ACCESS);
    if (timer == nullptr)
        timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    LARGE_INTEGER due;
    due.QuadPart = -10'000;
    SetWaitableTimer(timer, &due, 1, nullptr, nullptr, FALSE);
    long long wakes = 0;
    const auto from = std::chrono::steady_clock::now();
    const auto until = from + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        WaitForSingleObject(timer, INFINITE);
        ++wakes;
    }
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    CloseHandle(timer);
    return static_cast<double>(wakes) / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
        const auto begin = std::chrono::steady_clock::now();
        Form1 form(PortAccess { &counted_read, &port_io::write });
        ShowWindow(form.window, SW_SHOW);
        UpdateWindow(form.window);
        const double shown_ms
            = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                  .count();
        std::printf("start-up: window shown %.1f ms after main(), %.1f ms after the process "
                    "was created\n",
            shown_ms, ms_since_process_start());

        SetWindowTextW(form.txt_interval, L"1");
        form.btn_start_Click();
        run_messages_for(std::chrono::seconds(1), form); // settling
        const long long before = reads;
        const auto from = std::chrono::steady_clock::now();
        run_messages_for(std::chrono::seconds(seconds), form);
        const double elapsed
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
        std::printf("reads per second at 1 ms: %.1f (%lld reads in %.2f s, %s timer)\n",
            static_cast<double>(reads - before) / elapsed, reads - before, elapsed,
            form.timer1->high_resolution() ? "high-resolution" : "timeBeginPeriod(1)");
        form.btn_start_Click();
        std::printf("bare periodic 1 ms timer, same run: %.1f wakes per second\n",
            bare_timer_wakes_per_second(seconds));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "win32_window_rate: %s\n", error.what());
        return 1;
    }
}
