// SPDX-License-Identifier: MIT
// movanta-watch.exe on Windows: the options, formats, statuses and messages of Linux, on the
// tests' stand-in dlportio.dll beside it (a write latches, a port never written reads 0).
#include "child_process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace {

std::string file_text(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::filesystem::path fresh_file(const char* name)
{
    const auto file = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove(file);
    return file;
}

constexpr const char* csv_header = "time,elapsed_us,value,byte,bits\n";

} // namespace

TEST(WatchOnWindows, OptionsFormatsAndStatusesAsOnLinux)
{
    const auto csv = fresh_file("movanta-watch-test.csv");
    // Standard output carries the records' bytes as on Linux (LF); messages end in CR LF.
    const struct {
        std::string arguments;
        DWORD status;
        const char* output; // the whole of it, as a regular expression
    } rows[] = {
        { "--once", 0, R"([^ ]+ value=0 byte=255 bits=00000000\n)" },
        { "--once --no-write -f csv", 0,
            R"(time,elapsed_us,value,byte,bits\n[^,]+,0,255,0,11111111\n)" },
        { "-n 1 -f csv -o \"" + csv.string() + "\"", 0, "" },
        { "--once -n 5", 2,
            "movanta-watch: --once and --count cannot be used together\r\n(.*\r\n)*" },
        { "--once -f xml", 2, "movanta-watch: .*\r\n(.*\r\n)*" },
        { "--mqtt mqtt://127.0.0.1 --once", 2,
            "movanta-watch: MQTT is not part of this build\r\n" },
        { "--version", 0, R"(movanta-watch [0-9.]+\n)" },
    };
    for (const auto& row : rows) {
        const Finished finished = run_program("movanta-watch.exe", row.arguments);
        EXPECT_EQ(finished.status, row.status) << row.arguments << ": " << finished.output;
        EXPECT_TRUE(std::regex_match(finished.output, std::regex(row.output)))
            << row.arguments << ": " << finished.output;
    }
    const std::string written = file_text(csv);
    EXPECT_TRUE(written.starts_with(csv_header)) << written;
    EXPECT_TRUE(written.ends_with(",0,0,255,00000000\n")) << written;
    EXPECT_EQ(written.find('\r'), std::string::npos);
}
