// SPDX-License-Identifier: MIT
// Waiting for room in the output with an eye on the stop signals (Linux).
#include "watch/stoppable_output.h"

#include <cerrno>
#include <poll.h>
#include <sys/stat.h>

using namespace core;

namespace watch {

StoppableOutput::StoppableOutput(RecordOutput& inner, int fd, int stop_fd) noexcept
    : inner_(inner)
    , fd_(fd)
    , stop_fd_(stop_fd)
{
    struct stat status { };
    may_block_ = stop_fd != -1 && fstat(fd, &status) == 0
        && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) || S_ISCHR(status.st_mode));
}

void StoppableOutput::flush()
{
    if (may_block_) {
        // Records are flushed one at a time, far below a page, and a pipe is writable when it
        // has a free page: then the record goes in whole. An error or hang-up goes on to the
        // write, which reports it.
        pollfd fds[2] = { { fd_, POLLOUT, 0 }, { stop_fd_, POLLIN, 0 } };
        for (;;) {
            const int ready = poll(fds, 2, -1);
            if (ready == -1 && errno == EINTR)
                continue;
            if (ready == -1 || (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0)
                break;
            if ((fds[1].revents & POLLIN) != 0)
                throw OutputStopped();
        }
    }
    inner_.flush();
}

} // namespace watch
