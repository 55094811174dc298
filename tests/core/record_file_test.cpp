// SPDX-License-Identifier: MIT
// Saving the record to a file: a failure half-way, a full disk and the reports they make.
#include "atomic_file.h"
#include "record_fd_output.h"
#include "record_writer.h"
#include "runtime_error.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The record of `entries` changes written as CSV through an AtomicFile onto target.
void save_csv(const fs::path& target, int entries)
{
    AtomicFile file(target.string());
    FdRecordOutput output(file.fd());
    const auto writer = make_record_writer(RecordFormat::Csv, output);
    for (int i = 0; i < entries; ++i)
        writer->add({ static_cast<std::uint8_t>(i), 1'800'000'000'000'000 + i * 1000 });
    writer->finish();
    file.commit();
}

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

TEST_F(RecordFileTest, ASaveThatFailsHalfWayLeavesTheOldFile)
{
    const fs::path target = folder_ / "liste.csv";
    std::ofstream(target) << "old\n";
    // The system refuses to let a file grow past 64 KiB: the write fails with EFBIG.
    rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::error_code code;
    try {
        save_csv(target, 100'000);
    } catch (const std::system_error& error) {
        code = error.code();
    }
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(code, std::errc::file_too_large);
    EXPECT_EQ(contents(target), "old\n");
    EXPECT_EQ(files(), 1U) << "the temporary file is left behind";
}

TEST_F(RecordFileTest, ASaveReplacesTheFileWhole)
{
    const fs::path target = folder_ / "liste.csv";
    std::ofstream(target) << "old\n";
    save_csv(target, 3);
    EXPECT_EQ(contents(target).substr(0, 32), "time,elapsed_us,value,byte,bits\n");
    EXPECT_EQ(files(), 1U);
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
