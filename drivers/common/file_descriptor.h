// SPDX-License-Identifier: MIT
// An open file descriptor that closes itself.
#pragma once

#include <unistd.h>
#include <utility>

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept
        : fd_(fd)
    {
    }
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int get() const noexcept { return fd_; }
    // Hands the descriptor on; this one then closes nothing.
    [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};
