// SPDX-License-Identifier: MIT
// Reading and atomically replacing the pulse counters' file.
#include "watch/counters_file.h"

#include "core/atomic_file.h"
#include "core/decimal_text.h"
#include "core/strict_number.h"
#include "core/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace core;

namespace watch {

namespace {

constexpr std::string_view first_line
    = "# movanta-watch pulse counters: rising edges of each bit of the shown value";
// Ours take about 250 bytes; anything much longer is not one of ours.
constexpr std::size_t longest_file = 4096;

[[noreturn]] void refuse(const std::string& path, const std::string& reason)
{
    throw std::runtime_error("counters file " + path + ": " + reason);
}

void write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            throw std::system_error(done < 0 ? errno : EIO, std::generic_category(), "write");
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
}

// The rename is on the disk only once the folder is.
void sync_folder_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        throw std::system_error(errno, std::generic_category(), "fsync of the folder");
}

} // namespace

namespace counters_file {

std::string text(const Totals& totals)
{
    std::string out(first_line);
    out += "\n";
    for (std::size_t bit = 0; bit < totals.size(); ++bit) {
        char number[24];
        const auto length = decimal_text(static_cast<std::int64_t>(totals[bit]), number);
        out.append("bit").append(1, static_cast<char>('0' + bit)).append("=");
        out.append(number, static_cast<std::size_t>(length)).append("\n");
    }
    return out;
}

std::optional<Totals> parse(std::string_view text)
{
    if (!text.starts_with(first_line) || !text.ends_with('\n'))
        return std::nullopt;
    text.remove_prefix(first_line.size() + 1);
    Totals totals {};
    unsigned seen = 0; // a bit per counter read
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.size() < 6 || !line.starts_with("bit") || line[3] < '0' || line[3] > '7'
            || line[4] != '=' || line.find_first_not_of("0123456789", 5) != std::string_view::npos)
            return std::nullopt;
        const unsigned bit = static_cast<unsigned>(line[3] - '0');
        const auto total = strict_number::whole(line.substr(5), INT64_MAX);
        if (!total || (seen & (1U << bit)) != 0)
            return std::nullopt;
        seen |= 1U << bit;
        totals[bit] = *total;
    }
    if (seen != 0xFF)
        return std::nullopt;
    return totals;
}

Totals load(const std::string& path)
{
    // Not blocking: a FIFO in its place must not hold the start up.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return Totals {};
        refuse(path, std::strerror(errno));
    }
    struct stat status { };
    if (::fstat(fd.get(), &status) != 0)
        refuse(path, std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        refuse(path, "not a regular file");
    std::string content(longest_file + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        const ssize_t got = ::read(fd.get(), content.data() + used, content.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refuse(path, std::strerror(errno));
        if (got == 0 || (used += static_cast<std::size_t>(got)) == content.size())
            break;
    }
    content.resize(used);
    const auto totals = used <= longest_file ? parse(content) : std::nullopt;
    if (!totals)
        refuse(path, "not a movanta-watch counters file (see movanta-watch(1)); left as it is");
    return *totals;
}

void save(const std::string& path, const Totals& totals)
{
    try {
        AtomicFile file(path);
        write_all(file.fd(), text(totals));
        file.commit();
        sync_folder_of(file.target());
    } catch (const std::system_error& error) {
        refuse(path, error.code().message());
    }
}

} // namespace counters_file

} // namespace watch
