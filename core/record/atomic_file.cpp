// SPDX-License-Identifier: MIT
// Temporary file, fsync and rename: a save that fails or is cancelled leaves no trace.
#include "core/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace core {

namespace {

[[noreturn]] void throw_errno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// The few file calls that differ between the systems; paths are UTF-8 on both.
namespace platform {
#ifdef _WIN32
    std::wstring wide(const std::string& utf8)
    {
        const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
        std::wstring text(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), size);
        text.resize(text.size() - 1);
        return text;
    }
    std::string followed(const std::string& path) { return path; }
    void check_writable(const std::string&) { }
    int create(const std::string& path)
    {
        return ::_wopen(wide(path).c_str(),
            _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    }
    void keep_mode_of(const std::string&, int) { }
    int sync(int fd) { return ::_commit(fd); }
    int close(int fd) { return ::_close(fd); }
    void remove(const std::string& path) { ::_wunlink(wide(path).c_str()); }
    // Windows' rename() refuses an existing target.
    void replace(const std::string& from, const std::string& to)
    {
        if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw std::system_error(
                static_cast<int>(GetLastError()), std::system_category(), "rename");
    }
    unsigned long long process_id() { return static_cast<unsigned long long>(::_getpid()); }
#else
    // The file a symbolic link leads to, so that a save through the link replaces that file
    // and keeps the link; a path that is no link comes back as it is.
    std::string followed(std::string path)
    {
        // As many links as the kernel follows in one path (MAXSYMLINKS).
        for (int hops = 0; hops < 40; ++hops) {
            char link[4096];
            const ssize_t size = ::readlink(path.c_str(), link, sizeof link);
            if (size < 0)
                return path;
            const std::string_view to(link, static_cast<std::size_t>(size));
            const auto slash = path.find_last_of('/');
            path = to.starts_with('/') || slash == std::string::npos
                ? std::string(to)
                : path.substr(0, slash + 1) + std::string(to);
        }
        errno = ELOOP;
        throw_errno("readlink");
    }
    // rename() would replace a file its owner made read-only; open() for writing would not.
    void check_writable(const std::string& path)
    {
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
            throw_errno("open");
    }
    int create(const std::string& path)
    {
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    // A file saved over keeps its permissions.
    void keep_mode_of(const std::string& path, int fd)
    {
        struct stat existing { };
        if (::stat(path.c_str(), &existing) == 0)
            ::fchmod(fd, existing.st_mode & 07777);
    }
    int sync(int fd) { return ::fsync(fd); }
    int close(int fd) { return ::close(fd); }
    void remove(const std::string& path) { ::unlink(path.c_str()); }
    void replace(const std::string& from, const std::string& to)
    {
        if (::rename(from.c_str(), to.c_str()) != 0)
            throw_errno("rename");
    }
    unsigned long long process_id() { return static_cast<unsigned long long>(::getpid()); }
#endif
} // namespace platform

constexpr std::size_t max_name_kept = 200;

// Six letters that differ from call to call and from process to process.
std::string unique_suffix()
{
    static std::atomic<unsigned> counter = 0;
    auto mixed = static_cast<unsigned long long>(
                     std::chrono::steady_clock::now().time_since_epoch().count())
        ^ (platform::process_id() << 32) ^ (++counter * 0x9E3779B97F4A7C15ULL);
    std::string suffix(6, 'a');
    for (char& c : suffix) {
        c = static_cast<char>('a' + mixed % 26);
        mixed /= 26;
    }
    return suffix;
}

} // namespace

AtomicFile::AtomicFile(std::string target)
    : target_(platform::followed(std::move(target)))
{
    platform::check_writable(target_);
    const auto slash = target_.find_last_of("/\\");
    const std::string folder
        = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    // The temporary name adds 13 bytes to the target's, which may be as long as a name can
    // be (255 bytes); cut at a character's start, so that a UTF-8 name stays valid.
    if (name.size() > max_name_kept) {
        std::size_t cut = max_name_kept;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    // Hidden, and named after the target, so that a file left by a crash says what it was.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder + '.' + name + '.' + unique_suffix() + ".part";
        fd_ = platform::create(temporary_);
        if (fd_ >= 0)
            break;
        if (errno != EEXIST)
            throw_errno("open");
    }
    if (fd_ < 0)
        throw_errno("open");
    platform::keep_mode_of(target_, fd_);
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept
{
    if (fd_ < 0)
        return;
    platform::close(fd_);
    fd_ = -1;
    platform::remove(temporary_);
}

void AtomicFile::commit()
{
    // Data first, name second: a crash in between leaves the old file, not an empty one.
    if (platform::sync(fd_) != 0) {
        const int error = errno;
        discard();
        throw std::system_error(error, std::generic_category(), "fsync");
    }
    const int fd = fd_;
    fd_ = -1;
    try {
        if (platform::close(fd) != 0)
            throw_errno("close");
        platform::replace(temporary_, target_);
    } catch (...) {
        platform::remove(temporary_);
        throw;
    }
}

} // namespace core
