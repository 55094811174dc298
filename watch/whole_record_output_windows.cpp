// SPDX-License-Identifier: MIT
// Cutting a half-written record off a regular file (Windows, through the C library's
// descriptors).
#include "watch/whole_record_output.h"

#include <cstdio>
#include <io.h>
#include <sys/stat.h>

using namespace core;

namespace watch {

WholeRecordOutput::WholeRecordOutput(RecordOutput& inner, int fd) noexcept
    : inner_(inner)
    , fd_(fd)
{
    struct _stati64 status { };
    if (fd >= 0 && _fstati64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG)
        start_ = _lseeki64(fd, 0, SEEK_CUR);
}

void WholeRecordOutput::cut_back() noexcept
{
    if (start_ < 0)
        return;
    const std::int64_t end = start_ + static_cast<std::int64_t>(whole_);
    // Shortening a file needs no room, so it works on a full disk too.
    if (_chsize_s(fd_, end) == 0)
        _lseeki64(fd_, end, SEEK_SET);
    written_ = whole_;
}

} // namespace watch
