// SPDX-License-Identifier: MIT
// The end of the polls as an eventfd, waited for with poll() beside the stop descriptor (Linux).
#include "watch/end_flag.h"

#include "core/record_clock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

using namespace core;

namespace watch {

EndFlag::EndFlag() noexcept
    : flag_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

void EndFlag::raise() const noexcept
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(flag_.get(), &one, sizeof one);
}

EndFlag::Seen EndFlag::wait(int stop_fd, std::int64_t deadline_ns) const noexcept
{
    std::array<pollfd, 2> fds { { { flag_.get(), POLLIN, 0 }, { stop_fd, POLLIN, 0 } } };
    for (;;) {
        int timeout_ms = -1;
        if (deadline_ns != std::numeric_limits<std::int64_t>::max()) {
            const std::int64_t left_ns = deadline_ns - monotonic_ns();
            if (left_ns <= 0)
                return Seen::Deadline;
            timeout_ms = static_cast<int>(
                std::min<std::int64_t>((left_ns + 999'999) / 1'000'000, 1'000'000));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout_ms);
        if (ready == -1 && errno != EINTR)
            return Seen::Stop; // nothing left to wait with: end as a stop does
        if ((fds[0].revents & POLLIN) != 0)
            return Seen::PollsEnded;
        if ((fds[1].revents & POLLIN) != 0)
            return Seen::Stop;
    }
}

bool EndFlag::raised_within(std::chrono::milliseconds wait) const noexcept
{
    pollfd watched { flag_.get(), POLLIN, 0 };
    const std::int64_t until_ns = monotonic_ns() + wait.count() * 1'000'000;
    for (;;) {
        const std::int64_t left_ns = until_ns - monotonic_ns();
        if (left_ns <= 0)
            return false;
        const int ready = ::poll(&watched, 1, static_cast<int>((left_ns + 999'999) / 1'000'000));
        if (ready == 1)
            return true;
        if (ready == -1 && errno != EINTR)
            return false;
    }
}

} // namespace watch
