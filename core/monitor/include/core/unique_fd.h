// SPDX-License-Identifier: MIT
// The one owner of an open POSIX file descriptor: move-only, closes what it holds.
#pragma once

#include <unistd.h>

#include <utility>

namespace core {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept
        : fd_(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(other.release())
    {
    }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] explicit operator bool() const noexcept { return fd_ >= 0; }
    // Hands the descriptor on; this one then closes nothing.
    [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
    // Closes what it held (a failed close is not reported: the descriptor is gone either way).
    void reset(int fd = -1) noexcept
    {
        if (const int old = std::exchange(fd_, fd); old >= 0)
            ::close(old);
    }

private:
    int fd_ = -1;
};

} // namespace core
