// SPDX-License-Identifier: MIT
// A file written under a temporary name beside its target and renamed onto it at the end,
// so that the target is either untouched or complete. Paths are UTF-8.
#pragma once

#include <string>

namespace core {

class AtomicFile {
public:
    // A target that is a symbolic link stands for the file it leads to; a target that exists
    // but may not be written is refused (EACCES), as opening it would be.
    // Creates the temporary file (on POSIX mode 0666 less the umask, or the target's mode
    // when it exists). Throws std::system_error with the system's error code.
    explicit AtomicFile(std::string target);
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    [[nodiscard]] int fd() const noexcept { return fd_; }
    [[nodiscard]] const std::string& target() const noexcept { return target_; }
    [[nodiscard]] const std::string& temporary_path() const noexcept { return temporary_; }

    // Puts the written file on the disk and under the target's name. Throws
    // std::system_error; the temporary file is gone then and the target as it was.
    void commit();
    // Drops what was written; the target stays as it was.
    void discard() noexcept;

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

} // namespace core
