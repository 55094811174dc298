// SPDX-License-Identifier: MIT
// The end of the polls as an event, waited for beside the stop event (Windows).
#include "watch/end_flag.h"

#include "core/record_clock.h"

#include <algorithm>
#include <limits>
#include <new>

#include <windows.h>

using namespace core;

namespace watch {

EndFlag::EndFlag() noexcept
{
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return;
    try {
        flag_ = std::shared_ptr<void>(event, [](void* handle) { CloseHandle(handle); });
    } catch (const std::bad_alloc&) {
        CloseHandle(event);
    }
}

void EndFlag::raise() const noexcept { SetEvent(flag_.get()); }

EndFlag::Seen EndFlag::wait(int stop_fd, std::int64_t deadline_ns) const noexcept
{
    const HANDLE waited[2] = { flag_.get(), stop_fd == -1 ? nullptr : LongToHandle(stop_fd) };
    for (;;) {
        DWORD timeout_ms = INFINITE;
        if (deadline_ns != std::numeric_limits<std::int64_t>::max()) {
            const std::int64_t left_ns = deadline_ns - monotonic_ns();
            if (left_ns <= 0)
                return Seen::Deadline;
            timeout_ms = static_cast<DWORD>(
                std::min<std::int64_t>((left_ns + 999'999) / 1'000'000, 1'000'000));
        }
        const DWORD woken
            = WaitForMultipleObjects(waited[1] != nullptr ? 2 : 1, waited, FALSE, timeout_ms);
        if (woken == WAIT_OBJECT_0)
            return Seen::PollsEnded;
        if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_FAILED)
            return Seen::Stop; // a failed wait: end as a stop does
    }
}

bool EndFlag::raised_within(std::chrono::milliseconds wait) const noexcept
{
    return WaitForSingleObject(flag_.get(), static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
}

} // namespace watch
