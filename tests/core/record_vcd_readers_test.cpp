// SPDX-License-Identifier: MIT
// A written VCD read back by real readers: sigrok-cli, directly and after GTKWave's vcd2fst
// and fst2vcd, must see the record's states at the record's times.
#include "core/record_fd_output.h"
#include "core/record_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace core;

namespace {

constexpr std::int64_t t0 = 1'800'000'000'000'000;

// Two entries in one microsecond, then a run whose clock was set back.
const RecordEntry record[] = {
    { 0xA5, t0 },
    { 0x01, t0 + 3 },
    { 0xFE, t0 + 3 },
    { 0x00, t0 + 10 },
    { 0xFF, t0 + 1 },
    { 0x5A, t0 + 4 },
};
// The VCD time of each entry, as the writer places them; the file ends at 15 us.
const std::int64_t vcd_times[] = { 0, 3, 4, 10, 11, 14 };

bool have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// sigrok-cli's CSV of a VCD: one state per microsecond, bit0 first in each row.
std::vector<std::uint8_t> sigrok_states(const std::string& vcd)
{
    std::vector<std::uint8_t> states;
    FILE* pipe = ::popen(("sigrok-cli -I vcd -i " + vcd + " -O csv").c_str(), "r");
    if (!pipe)
        return states;
    char line[64];
    while (std::fgets(line, sizeof line, pipe)) {
        if (std::string_view(line).size() != 16 || (line[0] != '0' && line[0] != '1'))
            continue;
        std::uint8_t state = 0;
        for (int bit = 0; bit < 8; ++bit)
            state = static_cast<std::uint8_t>(state | ((line[2 * bit] - '0') << bit));
        states.push_back(state);
    }
    EXPECT_EQ(::pclose(pipe), 0);
    return states;
}

} // namespace

TEST(VcdReaders, SeeEveryStateAtItsTime)
{
    if (!have("sigrok-cli"))
        GTEST_SKIP() << "sigrok-cli is not installed";
    const auto folder
        = std::filesystem::temp_directory_path() / ("movanta-vcd-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string vcd = (folder / "f.vcd").string();
    const int fd = ::open(vcd.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    {
        FdRecordOutput output(fd);
        const auto writer = make_record_writer(RecordFormat::Vcd, output);
        for (const auto& entry : record)
            writer->add(entry);
        writer->finish();
    }
    ::close(fd);

    std::vector<std::uint8_t> expected;
    for (std::size_t entry = 0; expected.size() < 15; expected.push_back(record[entry].value))
        if (entry + 1 < std::size(record)
            && vcd_times[entry + 1] == static_cast<std::int64_t>(expected.size()))
            ++entry;

    EXPECT_EQ(sigrok_states(vcd), expected) << "sigrok-cli on the written file";
    if (!have("vcd2fst") || !have("fst2vcd"))
        GTEST_SKIP() << "GTKWave's vcd2fst is not installed";
    const std::string fst = (folder / "f.fst").string(), back = (folder / "back.vcd").string();
    ASSERT_EQ(std::system(("vcd2fst " + vcd + " " + fst + " >/dev/null 2>&1 && fst2vcd " + fst
                  + " >" + back + " 2>/dev/null")
                              .c_str()),
        0);
    EXPECT_EQ(sigrok_states(back), expected) << "sigrok-cli after vcd2fst and fst2vcd";
    std::filesystem::remove_all(folder);
}
