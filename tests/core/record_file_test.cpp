// SPDX-License-Identifier: MIT
// Saving the record to a file: a failure half-way, a full disk and the reports they make.
#include "core/atomic_file.h"
#include "core/change_record.h"
#include "core/record_fd_output.h"
#include "core/record_save.h"
#include "core/record_writer.h"
#include "core/runtime_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace core;

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// 100,000 entries one millisecond apart.
RecordSnapshot hundred_thousand()
{
    ChangeRecord record;
    for (int i = 0; i < 100'000; ++i)
        record.append(static_cast<std::uint8_t>(i), 1'800'000'000'000'000 + i * 1000);
    return record.snapshot();
}

// A file may grow to at most `bytes` while it lives; a write past that fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
        : old_handler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &before_);
        rlimit small = before_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit before_ {};
    void (*old_handler_)(int);
};

class RecordFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path()
            / ("movanta-record-" + std::to_string(::getpid()) + "-"
                + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    [[nodiscard]] std::size_t files() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
};

} // namespace

// Nothing of a save that does not finish is left under the chosen name, nor beside it.
TEST_F(RecordFileTest, ASaveThatStopsHalfWayLeavesNoTrace)
{
    const struct {
        const char* name;
        const char* old; // the file saved over, or none
        bool fails; // the disk refuses more than 64 KiB
        std::size_t cancel_at; // entries written when the user cancels
    } rows[] = {
        { "fails over an old file", "old\n", true, SIZE_MAX },
        { "fails where no file was", nullptr, true, SIZE_MAX },
        { "cancelled over an old file", "old\n", false, 50'000 },
    };
    const RecordSnapshot snapshot = hundred_thousand();
    const fs::path target = folder_ / "liste.csv";
    for (const auto& row : rows) {
        fs::remove(target);
        if (row.old)
            std::ofstream(target) << row.old;
        int report = 0;
        bool finished = true;
        try {
            std::optional<FileSizeLimit> limit;
            if (row.fails)
                limit.emplace(64 * 1024);
            finished = save_record(snapshot, RecordFormat::Csv, target.string(),
                [&](std::size_t written) { return written < row.cancel_at; });
        } catch (const RuntimeError& error) {
            report = error.number();
        }
        EXPECT_EQ(report, row.fails ? 75 : 0) << row.name;
        EXPECT_FALSE(finished && !row.fails) << row.name;
        EXPECT_EQ(fs::exists(target) ? contents(target) : "none", row.old ? row.old : "none")
            << row.name;
        EXPECT_EQ(files(), row.old ? 1U : 0U) << row.name << ": a temporary file is left";
    }
}

TEST_F(RecordFileTest, ASaveReplacesTheFileWhole)
{
    const fs::path target = folder_ / "liste.csv";
    std::ofstream(target) << "old\n";
    ASSERT_TRUE(save_record(hundred_thousand(), RecordFormat::Csv, target.string(), {}));
    const std::string text = contents(target);
    EXPECT_EQ(text.substr(0, 32), "time,elapsed_us,value,byte,bits\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100'001);
    EXPECT_EQ(files(), 1U);
}

// Where the chosen name is a link, a directory, a file its owner protected or a name of the
// longest length: the file meant gets the record, or a report comes and nothing changes.
TEST_F(RecordFileTest, OddTargetsGetTheRecordOrAReport)
{
    const bool root = ::geteuid() == 0;
    const std::string longest(251, 'n');
    const struct {
        const char* name;
        std::function<void(const fs::path& folder)> make;
        std::string chosen;
        std::string written; // the file that then holds the record, "" for none
        int report;
    } rows[] = {
        { "a link to a file",
            [](const fs::path& f) { fs::create_symlink("real.csv", f / "link.csv"); }, "link.csv",
            "real.csv", 0 },
        { "a link to a link in another folder",
            [](const fs::path& f) {
                fs::create_directory(f / "sub");
                fs::create_symlink("../real.csv", f / "sub" / "hop.csv");
                fs::create_symlink(f / "sub" / "hop.csv", f / "link.csv");
            },
            "link.csv", "real.csv", 0 },
        { "a link to no file yet",
            [](const fs::path& f) {
                fs::remove(f / "real.csv");
                fs::create_symlink("real.csv", f / "link.csv");
            },
            "link.csv", "real.csv", 0 },
        { "a read-only file",
            [](const fs::path& f) {
                fs::permissions(f / "real.csv", fs::perms::owner_read | fs::perms::group_read);
            },
            "real.csv", root ? "real.csv" : "", root ? 0 : 75 },
        { "a directory", [](const fs::path& f) { fs::create_directory(f / "dir.csv"); }, "dir.csv",
            "", 75 },
        { "a name of 255 bytes", [](const fs::path&) {}, longest + ".csv", longest + ".csv", 0 },
    };
    const RecordSnapshot snapshot = hundred_thousand();
    for (const auto& row : rows) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(folder_ / "real.csv") << "old\n";
        row.make(folder_);
        const bool made = !row.written.empty() && !fs::exists(folder_ / row.written);
        const std::size_t before = files() + (made ? 1 : 0);
        int report = 0;
        try {
            EXPECT_TRUE(
                save_record(snapshot, RecordFormat::Csv, (folder_ / row.chosen).string(), {}))
                << row.name;
        } catch (const RuntimeError& error) {
            report = error.number();
        }
        EXPECT_EQ(report, row.report) << row.name;
        const fs::path kept = folder_ / (row.written.empty() ? "real.csv" : row.written);
        EXPECT_EQ(contents(kept).substr(0, 5), row.written.empty() ? "old\n" : "time,") << row.name;
        EXPECT_EQ(fs::is_symlink(folder_ / row.chosen), row.chosen == "link.csv") << row.name;
        EXPECT_EQ(files(), before) << row.name << ": a temporary file is left";
    }
}

TEST_F(RecordFileTest, FailuresBecomeTheRightReport)
{
    const auto failure_of = [](auto&& call) {
        try {
            call();
        } catch (const std::system_error& error) {
            return RuntimeError::file_failed("/x/liste.csv", error.code());
        }
        ADD_FAILURE() << "no std::system_error";
        return RuntimeError::overflow();
    };
    const struct {
        const char* name;
        std::function<void()> call;
        int number;
        const char* text;
    } rows[] = {
        { "no such folder", [&] { AtomicFile(folder_.string() + "/missing/liste.csv"); }, 75,
            "Fehler beim Zugriff auf Pfad/Datei: /x/liste.csv (No such file or directory)" },
        { "a full disk",
            [] {
                const struct Device {
                    int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
                    ~Device() { ::close(fd); }
                } full;
                FdRecordOutput output(full.fd);
                output.write("0\n");
                output.flush();
            },
            61, "Datenträger voll (/x/liste.csv)" },
    };
    for (const auto& row : rows) {
        const RuntimeError error = failure_of(row.call);
        EXPECT_EQ(error.number(), row.number) << row.name;
        EXPECT_STREQ(error.what(), row.text) << row.name;
    }
}
