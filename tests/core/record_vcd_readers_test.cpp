// SPDX-License-Identifier: MIT
// A written VCD read back by real readers: sigrok-cli and GTKWave's vcd2fst (through
// fst2vcd) must see the record's states at the record's times.
#include "record_fd_output.h"
#include "record_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

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
// The VCD time of each entry, as the writer places them.
const std::int64_t vcd_times[] = { 0, 3, 4, 10, 11, 14 };

bool have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string output_of(const std::string& command)
{
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return text;
}

// The eight wires' states by time from a VCD of 1-bit wires named bit0 to bit7.
std::map<std::int64_t, std::uint8_t> states_of_vcd(const std::string& vcd)
{
    std::map<std::string, int> bit_of;
    std::map<std::int64_t, std::uint8_t> states;
    std::istringstream in(vcd);
    std::uint8_t state = 0;
    std::int64_t time = -1;
    for (std::string word; in >> word;) {
        if (word == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            bit_of[id] = name.back() - '0';
        } else if (word[0] == '#') {
            time = std::stoll(word.substr(1));
        } else if ((word[0] == '0' || word[0] == '1') && bit_of.contains(word.substr(1))) {
            const int bit = bit_of[word.substr(1)];
            state = static_cast<std::uint8_t>((state & ~(1 << bit)) | ((word[0] - '0') << bit));
            states[time] = state;
        }
    }
    return states;
}

class VcdReadersTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("movanta-vcd-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        const int fd = ::open((folder_ / "f.vcd").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        FdRecordOutput output(fd);
        const auto writer = make_record_writer(RecordFormat::Vcd, output);
        for (const auto& entry : record)
            writer->add(entry);
        writer->finish();
        ::close(fd);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

} // namespace

TEST_F(VcdReadersTest, SigrokSeesEveryState)
{
    if (!have("sigrok-cli"))
        GTEST_SKIP() << "sigrok-cli is not installed";
    // One row of bit0,...,bit7 per microsecond after the comment and header lines.
    std::istringstream csv(
        output_of("sigrok-cli -I vcd -i " + (folder_ / "f.vcd").string() + " -O csv"));
    std::vector<std::uint8_t> rows;
    for (std::string line; std::getline(csv, line);) {
        if (line.size() != 15 || (line[0] != '0' && line[0] != '1'))
            continue;
        std::uint8_t state = 0;
        for (int bit = 0; bit < 8; ++bit)
            state = static_cast<std::uint8_t>(state | ((line[2 * bit] - '0') << bit));
        rows.push_back(state);
    }
    ASSERT_EQ(rows.size(), 15U);
    std::size_t entry = 0;
    for (std::int64_t t = 0; t < 15; ++t) {
        if (entry + 1 < std::size(record) && vcd_times[entry + 1] == t)
            ++entry;
        EXPECT_EQ(rows[static_cast<std::size_t>(t)], record[entry].value) << "at " << t << " us";
    }
}

TEST_F(VcdReadersTest, Vcd2fstKeepsEveryChange)
{
    if (!have("vcd2fst") || !have("fst2vcd"))
        GTEST_SKIP() << "GTKWave's vcd2fst is not installed";
    const std::string fst = (folder_ / "f.fst").string();
    output_of("vcd2fst " + (folder_ / "f.vcd").string() + " " + fst + " 2>&1");
    const auto states = states_of_vcd(output_of("fst2vcd " + fst));
    ASSERT_EQ(states.size(), std::size(record));
    for (std::size_t i = 0; i < std::size(record); ++i)
        EXPECT_EQ(states.at(vcd_times[i]), record[i].value) << "entry " << i;
}
