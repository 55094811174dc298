// SPDX-License-Identifier: MIT
// Buffered writes to a descriptor, with every failure as std::system_error.
#include "core/record_fd_output.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace core {

namespace {

// What write() took, or -1 with errno set.
long long write_some(int fd, const char* bytes, std::size_t size)
{
#ifdef _WIN32
    return ::_write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
#else
    return ::write(fd, bytes, size);
#endif
}

} // namespace

FdRecordOutput::FdRecordOutput(int fd, std::size_t buffer_size)
    : fd_(fd)
    , capacity_(buffer_size < 1 ? 1 : buffer_size)
    , buffer_(std::make_unique_for_overwrite<char[]>(capacity_))
{
}

void FdRecordOutput::write(std::string_view bytes)
{
    if (bytes.size() <= capacity_ - used_) {
        std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
        return;
    }
    flush();
    if (bytes.size() >= capacity_) {
        write_out(bytes.data(), bytes.size());
        return;
    }
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
}

void FdRecordOutput::flush()
{
    const std::size_t size = used_;
    used_ = 0;
    write_out(buffer_.get(), size);
}

void FdRecordOutput::write_out(const char* bytes, std::size_t size)
{
    while (size > 0) {
        const long long done = write_some(fd_, bytes, size);
        if (done < 0 && errno == EINTR)
            continue;
        // write() returning 0 for a non-empty buffer makes no progress: an error, not a
        // reason to loop.
        if (done <= 0)
            throw std::system_error(done < 0 ? errno : EIO, std::generic_category(), "write");
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
}

} // namespace core
