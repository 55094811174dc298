// SPDX-License-Identifier: MIT
// Temporary file, fsync and rename: a save that fails or is cancelled leaves no trace.
#include "atomic_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

[[noreturn]] void throw_errno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Six letters that differ from call to call and from process to process.
std::string unique_suffix()
{
    static unsigned counter = 0;
    auto mixed = static_cast<unsigned long long>(
                     std::chrono::steady_clock::now().time_since_epoch().count())
        ^ (static_cast<unsigned long long>(::getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ULL);
    std::string suffix(6, 'a');
    for (char& c : suffix) {
        c = static_cast<char>('a' + mixed % 26);
        mixed /= 26;
    }
    return suffix;
}

} // namespace

AtomicFile::AtomicFile(std::string target)
    : target_(std::move(target))
{
    const auto slash = target_.find_last_of('/');
    const std::string folder
        = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    // Hidden, and named after the target, so that a file left by a crash says what it was.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder + '.' + name + '.' + unique_suffix() + ".part";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            break;
        if (errno != EEXIST)
            throw_errno("open");
    }
    if (fd_ < 0)
        throw_errno("open");
    struct stat existing { };
    if (::stat(target_.c_str(), &existing) == 0)
        ::fchmod(fd_, existing.st_mode & 07777);
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
}

void AtomicFile::commit()
{
    // Data first, name second: a crash in between leaves the old file, not an empty one.
    if (::fsync(fd_) != 0) {
        const int error = errno;
        discard();
        throw std::system_error(error, std::generic_category(), "fsync");
    }
    const int fd = fd_;
    fd_ = -1;
    const char* failed = ::close(fd) != 0                    ? "close"
        : ::rename(temporary_.c_str(), target_.c_str()) != 0 ? "rename"
                                                             : nullptr;
    if (failed) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        throw std::system_error(error, std::generic_category(), failed);
    }
}
