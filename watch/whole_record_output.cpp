// SPDX-License-Identifier: MIT
// Cutting a half-written record off a regular file (Linux).
#include "watch/whole_record_output.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace core;

namespace watch {

WholeRecordOutput::WholeRecordOutput(RecordOutput& inner, int fd) noexcept
    : inner_(inner)
    , fd_(fd)
{
    struct stat status { };
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        start_ = lseek(fd, 0, SEEK_CUR);
}

void WholeRecordOutput::cut_back() noexcept
{
    if (start_ < 0)
        return;
    const auto end = static_cast<off_t>(start_ + static_cast<std::int64_t>(whole_));
    // Shortening a file needs no room, so it works on a full disk too. A failure leaves the
    // file as the failed write left it: the error that ends the run is said already.
    if (ftruncate(fd_, end) == 0)
        lseek(fd_, end, SEEK_SET);
    written_ = whole_;
}

} // namespace watch
