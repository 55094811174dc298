// SPDX-License-Identifier: MIT
// The record writers, byte for byte, on a record that crosses the end of summer time and a
// wall clock set back between two runs.
#include "core/record_string_output.h"
#include "core/record_time_text.h"
#include "core/record_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace core;

namespace {

void set_time_zone(const char* tz)
{
#ifdef _WIN32
    _putenv_s("TZ", tz);
    _tzset();
#else
    setenv("TZ", tz, 1);
    tzset();
#endif
}

// 2026-10-25T00:59:58Z, two seconds before Central Europe leaves summer time.
constexpr std::int64_t t0 = 1'792'889'998'000'000;

// A run across the change to winter time, then a new run whose wall clock was set back,
// with two entries in one microsecond and a gap too long for 16 bits of microseconds.
const std::vector<RecordEntry> record = {
    { 165, t0 },
    { 164, t0 + 2'000'250 },
    { 0, t0 + 1'500'000 },
    { 255, t0 + 1'500'000 },
    { 90, t0 + 1'570'000 },
};

struct Case {
    RecordFormat format;
    const char* expected;
};

const Case cases[] = {
    { RecordFormat::Csv,
        "time,elapsed_us,value,byte,bits\n"
        "2026-10-25T02:59:58.000000+02:00,0,165,90,10100101\n"
        "2026-10-25T02:00:00.000250+01:00,2000250,164,91,10100100\n"
        "2026-10-25T02:59:59.500000+02:00,1500000,0,255,00000000\n"
        "2026-10-25T02:59:59.500000+02:00,1500000,255,0,11111111\n"
        "2026-10-25T02:59:59.570000+02:00,1570000,90,165,01011010\n" },
    { RecordFormat::Plain, "165\n164\n0\n255\n90\n" },
    { RecordFormat::Text,
        "2026-10-25T02:59:58.000000+02:00 value=165 byte=90 bits=10100101\n"
        "2026-10-25T02:00:00.000250+01:00 value=164 byte=91 bits=10100100\n"
        "2026-10-25T02:59:59.500000+02:00 value=0 byte=255 bits=00000000\n"
        "2026-10-25T02:59:59.500000+02:00 value=255 byte=0 bits=11111111\n"
        "2026-10-25T02:59:59.570000+02:00 value=90 byte=165 bits=01011010\n" },
    { RecordFormat::Jsonl,
        R"({"time":"2026-10-25T02:59:58.000000+02:00","elapsed_us":0,"value":165,"byte":90,"bits":"10100101"})"
        "\n"
        R"({"time":"2026-10-25T02:00:00.000250+01:00","elapsed_us":2000250,"value":164,"byte":91,"bits":"10100100"})"
        "\n"
        R"({"time":"2026-10-25T02:59:59.500000+02:00","elapsed_us":1500000,"value":0,"byte":255,"bits":"00000000"})"
        "\n"
        R"({"time":"2026-10-25T02:59:59.500000+02:00","elapsed_us":1500000,"value":255,"byte":0,"bits":"11111111"})"
        "\n"
        R"({"time":"2026-10-25T02:59:59.570000+02:00","elapsed_us":1570000,"value":90,"byte":165,"bits":"01011010"})"
        "\n" },
    // The step back continues 1 us after the last time and keeps its own spacing; the entry
    // in the same microsecond goes 1 us later.
    { RecordFormat::Vcd,
        "$date 2026-10-25T02:59:58.000000+02:00 $end\n"
        "$version Movanta $end\n"
        "$timescale 1 us $end\n"
        "$scope module movanta $end\n"
        "$var wire 1 a bit0 $end\n"
        "$var wire 1 b bit1 $end\n"
        "$var wire 1 c bit2 $end\n"
        "$var wire 1 d bit3 $end\n"
        "$var wire 1 e bit4 $end\n"
        "$var wire 1 f bit5 $end\n"
        "$var wire 1 g bit6 $end\n"
        "$var wire 1 h bit7 $end\n"
        "$upscope $end\n"
        "$enddefinitions $end\n"
        "#0\n1a\n0b\n1c\n0d\n0e\n1f\n0g\n1h\n"
        "#2000250\n0a\n"
        "#2000251\n0c\n0f\n0h\n"
        "#2000252\n1a\n1b\n1c\n1d\n1e\n1f\n1g\n1h\n"
        "#2070251\n0a\n0c\n0f\n0h\n"
        "#2070252\n" },
};

class RecordWriterTest : public testing::Test {
protected:
    void SetUp() override
    {
        set_time_zone("CET-1CEST,M3.5.0,M10.5.0/3");
        if (local_time(t0).utc_offset_s == 7200 && local_time(t0 + 2'000'250).utc_offset_s == 3600)
            return;
#ifdef _WIN32
        // Windows' own zone counts, not TZ; Wine takes it from the TZ it was started with,
        // and ctest starts these tests with TZ=Europe/Berlin and MOVANTA_CENTRAL_EUROPE=1.
        if (std::getenv("MOVANTA_CENTRAL_EUROPE") != nullptr)
            FAIL() << "Windows' time zone gives no Central European times";
        GTEST_SKIP() << "Windows' time zone is not Central European";
#else
        GTEST_SKIP() << "the C library does not take POSIX TZ rules";
#endif
    }
};

std::string written(RecordFormat format, const std::vector<RecordEntry>& entries)
{
    StringRecordOutput output;
    const auto writer = make_record_writer(format, output);
    for (const auto& entry : entries)
        writer->add(entry);
    writer->finish();
    return output.take();
}

} // namespace

TEST_F(RecordWriterTest, WritesEachFormatByteForByte)
{
    for (const auto& c : cases)
        EXPECT_EQ(written(c.format, record), c.expected) << static_cast<int>(c.format);
}

// Winter and summer time, and times the C library of Windows would not convert.
TEST_F(RecordWriterTest, LocalTimeFollowsTheZonesRules)
{
    const struct {
        std::int64_t seconds;
        const char* text;
    } rows[] = {
        { 1'796'731'200, "2026-12-08T13:00:00.000000+01:00" },
        { 1'783'512'000, "2026-07-08T14:00:00.000000+02:00" },
        { 1'774'746'000, "2026-03-29T03:00:00.000000+02:00" }, // the first second of summer time
        { 1'774'745'999, "2026-03-29T01:59:59.000000+01:00" },
        { -1, "1970-01-01T00:59:59.000000+01:00" },
    };
    for (const auto& row : rows) {
        IsoTimeText text;
        EXPECT_EQ(text(row.seconds * 1'000'000), row.text) << row.seconds;
    }
}

TEST_F(RecordWriterTest, AnEmptyRecordKeepsItsHeader)
{
    EXPECT_EQ(written(RecordFormat::Csv, {}), "time,elapsed_us,value,byte,bits\n");
    EXPECT_EQ(written(RecordFormat::Plain, {}), "");
    EXPECT_EQ(written(RecordFormat::Vcd, {}).find("$date"), std::string::npos);
    EXPECT_TRUE(written(RecordFormat::Vcd, {}).ends_with("$enddefinitions $end\n"));
}

TEST(RecordFormatForFile, GoesByTheExtension)
{
    const struct {
        const char* name;
        std::optional<RecordFormat> format;
    } rows[] = {
        { "movanta-20261208-101502.csv", RecordFormat::Csv },
        { "/home/u/Trace.VCD", RecordFormat::Vcd },
        { "C:\\Daten\\liste.Txt", RecordFormat::Plain },
        { "liste.json", std::nullopt },
        { "csv", std::nullopt },
        { "/home/u.csv/liste", std::nullopt },
        { "liste.", std::nullopt },
    };
    for (const auto& row : rows)
        EXPECT_EQ(record_format_for_file(row.name), row.format) << row.name;
}
