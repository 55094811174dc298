// SPDX-License-Identifier: MIT
// The service additions' logic, one table each: the counters file's text, rising edges, and
// the names and times of turning files.
#include "watch/counters_file.h"
#include "watch/pulse_counters.h"
#include "watch/rotating_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace watch;

namespace {

using Totals = counters_file::Totals;

const std::string header
    = "# movanta-watch pulse counters: rising edges of each bit of the shown value\n";
const std::string eight
    = "bit0=1\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit7=9223372036854775807\n";

TEST(CountersFile, ParseTable)
{
    struct Row {
        std::string text;
        std::optional<Totals> expected;
    };
    const Totals read { 1, 2, 3, 4, 5, 6, 7, 9223372036854775807ULL };
    const std::vector<Row> rows = {
        { header + eight, read },
        { counters_file::text(read), read }, // what we write reads back
        { header + "bit7=0\nbit6=0\nbit5=0\nbit4=0\nbit3=0\nbit2=0\nbit1=0\nbit0=0\n", Totals {} },
        { "", std::nullopt },
        { eight, std::nullopt }, // no header: not ours
        { header, std::nullopt }, // no counters
        { header + "bit0=1\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\n", std::nullopt },
        { header + eight + "bit0=1\n", std::nullopt }, // twice
        { header + "bit0=1\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit8=1\n",
            std::nullopt },
        { header + "bit0=-1\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit7=1\n",
            std::nullopt },
        { header + "bit0=\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit7=1\n",
            std::nullopt },
        { header + "bit0=0x1\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit7=1\n",
            std::nullopt },
        { header
                + "bit0=9223372036854775808\nbit1=2\nbit2=3\nbit3=4\nbit4=5\nbit5=6\nbit6=7\nbit7="
                  "1\n",
            std::nullopt },
        { header + eight.substr(0, eight.size() - 1), std::nullopt }, // cut short
        { header + "\n" + eight, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(counters_file::parse(row.text), row.expected);
    }
}

TEST(PulseCounters, RisingEdgesTable)
{
    struct Row {
        std::vector<std::uint8_t> values; // records in order
        Totals start;
        Totals expected;
    };
    const std::vector<Row> rows = {
        { { 0xFF }, {}, {} }, // the first record counts nothing
        { { 0x00, 0x01, 0x00, 0x01 }, {}, { 2 } },
        { { 0x01, 0x00, 0x01 }, { 5 }, { 6 } }, // on from the file's totals
        { { 0x00, 0xFF, 0x00, 0xFF }, {}, { 2, 2, 2, 2, 2, 2, 2, 2 } },
        { { 0x80, 0x40, 0x80, 0xC0 }, {}, { 0, 0, 0, 0, 0, 0, 2, 1 } }, // falling counts nothing
        { { 0x0F, 0xF0, 0x0F }, {}, { 1, 1, 1, 1, 1, 1, 1, 1 } },
    };
    for (const Row& row : rows) {
        PulseCounters counters(row.start, "", [](const std::string&) {});
        for (const std::uint8_t value : row.values)
            counters.add({ value, 0 });
        EXPECT_EQ(counters.totals(), row.expected);
        EXPECT_FALSE(counters.close());
    }
}

// The file is kept a second after a change at most, and holds the last totals after close;
// what the totals are reported to sees the start and every change.
TEST(PulseCounters, FileKeptAndTotalsReported)
{
    const auto path = std::filesystem::temp_directory_path()
        / ("movanta-counters-test-" + std::to_string(::getpid()));
    std::vector<std::string> complaints;
    std::vector<Totals> reported;
    {
        PulseCounters counters(
            { 7 }, path.string(), [&](const std::string& line) { complaints.push_back(line); });
        counters.report_to([&](const Totals& totals) { reported.push_back(totals); });
        counters.add({ 0, 0 });
        counters.add({ 3, 0 });
        counters.add({ 3, 0 });
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        Totals on_disk {};
        while (on_disk != Totals { 8, 1 } && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            try {
                on_disk = counters_file::load(path.string());
            } catch (const std::exception&) {
            }
        }
        EXPECT_EQ(on_disk, (Totals { 8, 1 }));
        counters.add({ 0, 0 });
        counters.add({ 1, 0 });
        EXPECT_FALSE(counters.close());
    }
    EXPECT_EQ(counters_file::load(path.string()), (Totals { 9, 1 }));
    EXPECT_EQ(reported, (std::vector<Totals> { { 7 }, { 8, 1 }, { 9, 1 } }));
    EXPECT_TRUE(complaints.empty());
    std::filesystem::remove(path);
}

class Rotation : public ::testing::Test {
protected:
    // Names and turns in a zone with summer time, so that a day of 23 hours shows.
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        old_tz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override
    {
        if (old_tz_)
            setenv("TZ", old_tz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> old_tz_;
};

// 2026-12-08 10:15:02.5 UTC = 11:15:02 in Berlin.
constexpr std::int64_t december_us = 1'796'724'902'500'000;
// 2026-03-29 00:30 UTC = 01:30 CET; at 02:00 the clocks go to 03:00 CEST.
constexpr std::int64_t spring_us = 1'774'744'200'000'000;
constexpr std::int64_t hour_us = 3'600'000'000;

TEST_F(Rotation, NamesTable)
{
    struct Row {
        std::string pattern;
        std::string expected;
    };
    const std::vector<Row> rows = {
        { "rec.csv", "rec-20261208-111502.csv" },
        { "/var/lib/x/rec.vcd", "/var/lib/x/rec-20261208-111502.vcd" },
        { "rec", "rec-20261208-111502" },
        { "a.b/rec", "a.b/rec-20261208-111502" }, // a dot in a folder is no extension
        { ".hidden", ".hidden-20261208-111502" },
        { "rec.tar.gz", "rec.tar-20261208-111502.gz" },
        { "log/%Y/%m/%d-%H.jsonl", "log/2026/12/08-11.jsonl" },
        { "100%%.csv", "100%.csv" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(rotation::file_name(row.pattern, december_us), row.expected) << row.pattern;
    EXPECT_EQ(rotation::numbered("rec-20261208-111502.csv", 2), "rec-20261208-111502-2.csv");
    EXPECT_EQ(rotation::numbered("dir.d/rec", 1), "dir.d/rec-1");
}

TEST_F(Rotation, TurnsTable)
{
    struct Row {
        std::int64_t start_us;
        std::int64_t every_s;
        std::int64_t expected_us;
    };
    const std::int64_t december_hour_us = december_us - 902'500'000; // 11:00:00 local
    const std::int64_t december_midnight_us = december_hour_us - 11 * hour_us;
    const std::vector<Row> rows = {
        { december_us, 3600, december_hour_us + hour_us }, // on the hour
        { december_us, 60, december_hour_us + 16 * 60'000'000 },
        { december_us, 7 * 3600, december_midnight_us + 14 * hour_us }, // 00, 07, 14, 21
        { december_us + 10 * hour_us, 7 * 3600, december_midnight_us + 24 * hour_us }, // midnight
        { december_us, 86400, december_midnight_us + 24 * hour_us },
        { december_us, 2 * 86400, december_midnight_us + 48 * hour_us },
        { december_us, 86400 + 1, december_us - 500'000 + (86400 + 1) * 1'000'000LL },
        // A day of 23 hours: the next local midnight is 21.5 h after 01:30.
        { spring_us, 86400, spring_us + 21 * hour_us + hour_us / 2 },
        { spring_us, 3600, spring_us + hour_us / 2 }, // 01:30 CET -> 03:00 CEST
    };
    for (const Row& row : rows)
        EXPECT_EQ(rotation::next_turn_us(row.start_us, row.every_s), row.expected_us)
            << row.start_us << " every " << row.every_s;
}

} // namespace
