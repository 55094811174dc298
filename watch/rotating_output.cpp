// SPDX-License-Identifier: MIT
// Files that turn by size or time: naming, numbering, the turn itself and --keep.
#include "watch/rotating_output.h"

#include "core/record_fd_output.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

using namespace core;

namespace watch {

namespace {

constexpr std::int64_t us_per_s = 1'000'000;
constexpr std::int64_t day_s = 86'400;

// Where the extension starts in name's last part, or its end.
std::size_t extension_at(const std::string& name)
{
    const auto slash = name.find_last_of('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot <= base ? name.size() : dot;
}

std::tm local_tm(std::time_t seconds)
{
    std::tm local {};
    localtime_r(&seconds, &local);
    return local;
}

std::int64_t floor_seconds(std::int64_t time_us)
{
    return time_us >= 0 ? time_us / us_per_s : -((-time_us + us_per_s - 1) / us_per_s);
}

// Local midnight days days after the one that begins the day of seconds.
std::time_t midnight(std::time_t seconds, std::int64_t days)
{
    std::tm local = local_tm(seconds);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_mday += static_cast<int>(days);
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace

namespace rotation {

std::string file_name(const std::string& pattern, std::int64_t time_us)
{
    std::string format = pattern;
    if (format.find('%') == std::string::npos)
        format.insert(extension_at(format), "-%Y%m%d-%H%M%S");
    const std::tm local = local_tm(static_cast<std::time_t>(floor_seconds(time_us)));
    std::string name(format.size() * 4 + 256, '\0');
    const std::size_t length = std::strftime(name.data(), name.size(), format.c_str(), &local);
    if (length == 0)
        return format; // a field that expands to nothing everywhere: the name as written
    name.resize(length);
    return name;
}

std::string numbered(const std::string& name, unsigned n)
{
    std::string result = name;
    result.insert(extension_at(name), "-" + std::to_string(n));
    return result;
}

std::int64_t next_turn_us(std::int64_t start_us, std::int64_t every_s)
{
    const std::int64_t start_s = floor_seconds(start_us);
    const auto now = static_cast<std::time_t>(start_s);
    if (every_s % day_s == 0)
        return static_cast<std::int64_t>(midnight(now, every_s / day_s)) * us_per_s;
    if (every_s > day_s)
        return (start_s + every_s) * us_per_s;
    const std::int64_t day_start = midnight(now, 0);
    const std::int64_t next = day_start + ((start_s - day_start) / every_s + 1) * every_s;
    return std::min<std::int64_t>(next, midnight(now, 1)) * us_per_s;
}

} // namespace rotation

// The file's output, counting what goes into it.
class RotatingOutput::Counted final : public RecordOutput {
public:
    explicit Counted(int fd)
        : inner_(fd)
    {
    }
    void write(std::string_view bytes) override
    {
        inner_.write(bytes);
        bytes_ += bytes.size();
    }
    void flush() override { inner_.flush(); }
    [[nodiscard]] std::uint64_t bytes() const noexcept { return bytes_; }

private:
    FdRecordOutput inner_;
    std::uint64_t bytes_ = 0;
};

RotatingOutput::RotatingOutput(Settings settings, std::int64_t now_us)
    : settings_(std::move(settings))
{
    open(now_us);
}

RotatingOutput::~RotatingOutput()
{
    writer_.reset();
    output_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

void RotatingOutput::open(std::int64_t time_us)
{
    const std::string name = rotation::file_name(settings_.pattern, time_us);
    // Never over an existing file: -1, -2, ... until a name is free. A name this run has
    // numbered already goes on from its last number, so that the numbers follow the files'
    // order even where --keep has deleted the first ones.
    unsigned n = name == last_name_ ? last_number_ + 1 : 0;
    std::string path = n == 0 ? name : rotation::numbered(name, n);
    int fd = -1;
    while ((fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)) == -1) {
        if (errno != EEXIST || n >= 1'000'000)
            throw std::system_error(errno, std::generic_category(), "cannot open " + path);
        path = rotation::numbered(name, ++n);
    }
    last_name_ = name;
    last_number_ = n;
    fd_ = fd;
    output_ = std::make_unique<Counted>(fd);
    writer_ = make_record_writer(settings_.format, *output_);
    records_in_file_ = 0;
    if (settings_.every_s != 0)
        turn_at_us_ = rotation::next_turn_us(time_us, settings_.every_s);
    files_.push_back(path);
    // This run's oldest files beyond --keep; one already gone is no failure.
    while (settings_.keep != 0 && files_.size() > settings_.keep) {
        ::unlink(files_.front().c_str());
        files_.pop_front();
    }
}

void RotatingOutput::close_current()
{
    try {
        writer_->finish();
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), current_file());
    }
    writer_.reset();
    output_.reset();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0)
        throw std::system_error(errno, std::generic_category(), current_file());
}

void RotatingOutput::add(const RecordEntry& entry)
{
    if (records_in_file_ != 0
        && ((settings_.size != 0 && output_->bytes() >= settings_.size)
            || (settings_.every_s != 0 && entry.time_us >= turn_at_us_))) {
        close_current();
        open(entry.time_us);
    }
    try {
        writer_->add(entry);
        output_->flush();
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), current_file());
    }
    ++records_in_file_;
}

void RotatingOutput::finish()
{
    if (fd_ >= 0)
        close_current();
}

} // namespace watch
