// SPDX-License-Identifier: MIT
// The shared poll step's record and debounce rules, one row per sequence of reads.
#include "core/poll_step.h"
#include "core/vars.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace core;

namespace {

// Reads give 255 minus the next shown value, so that rows speak in shown values.
struct ScriptedPort {
    std::vector<std::uint8_t> shown;
    std::size_t next = 0;
    int writes = 0;
    std::uint8_t read() { return static_cast<std::uint8_t>(255 - shown.at(next++)); }
    void write(std::uint8_t value)
    {
        EXPECT_EQ(value, 255);
        ++writes;
    }
};

struct Row {
    unsigned debounce;
    bool record_first;
    std::vector<std::uint8_t> shown;
    std::vector<std::uint8_t> recorded;
    std::uint64_t glitches;
};

const std::vector<Row> rows = {
    // The window's rule: every change from last_value (0 at start), at once.
    { 1, false, { 0, 0, 5, 5, 7, 5 }, { 5, 7, 5 }, 0 },
    // movanta-watch's: the value at start too, even when it equals last_value.
    { 1, true, { 0, 0, 5 }, { 0, 5 }, 0 },
    { 3, true, { 9, 9, 9 }, { 9 }, 0 },
    // Three equal reads make a change; fewer that turn back are one glitch each.
    { 3, true, { 1, 2, 2, 2, 2 }, { 1, 2 }, 0 },
    { 3, true, { 1, 2, 2, 1, 1, 2, 1 }, { 1 }, 2 },
    { 3, true, { 1, 2, 3, 3, 3 }, { 1, 3 }, 1 },
    { 2, true, { 1, 2, 2, 3, 3, 1, 1 }, { 1, 2, 3, 1 }, 0 },
    { 2, false, { 4, 0, 4, 4 }, { 4 }, 1 },
};

TEST(PollStep, RecordsAndGlitches)
{
    for (const Row& row : rows) {
        SCOPED_TRACE("debounce " + std::to_string(row.debounce) + ", row with "
            + std::to_string(row.shown.size())
            + " reads, first recorded: " + std::to_string(row.record_first));
        vars::reset();
        PollStep step(row.debounce, row.record_first);
        ScriptedPort port { row.shown };
        std::vector<std::uint8_t> recorded;
        for (std::size_t i = 0; i < row.shown.size(); ++i)
            step(port, i % 2 == 0, [&](std::uint8_t v) { recorded.push_back(v); });
        EXPECT_EQ(recorded, row.recorded);
        EXPECT_EQ(step.glitches(), row.glitches);
        EXPECT_EQ(port.writes, static_cast<int>((row.shown.size() + 1) / 2));
        // bits always follow the last read; last_value the last recorded value.
        EXPECT_EQ(vars::out_value, row.shown.back());
        EXPECT_EQ(vars::bits[0] != 0, (row.shown.back() & 1) != 0);
        if (!recorded.empty()) {
            EXPECT_EQ(vars::last_value, recorded.back());
        }
    }
}

// A record that fails leaves last_value as it was, so the same value is recorded at the next
// read; with record_first, the next read is still the first record.
TEST(PollStep, FailedRecordIsTriedAgain)
{
    for (const bool record_first : { false, true }) {
        vars::reset();
        PollStep step(1, record_first);
        ScriptedPort port { { 6, 6 } };
        EXPECT_ANY_THROW(step(port, false, [](std::uint8_t) { throw std::runtime_error("full"); }));
        EXPECT_EQ(vars::last_value, 0);
        std::vector<std::uint8_t> recorded;
        EXPECT_TRUE(step(port, false, [&](std::uint8_t v) { recorded.push_back(v); }));
        EXPECT_EQ(recorded, std::vector<std::uint8_t> { 6 });
    }
}

// A steady value skips umrechnen, but bits changed from outside are split again.
TEST(PollStep, BitsChangedFromOutsideAreSplitAgain)
{
    vars::reset();
    PollStep step;
    ScriptedPort port { { 5, 5 } };
    step(port, false, [](std::uint8_t) {});
    vars::bits.fill(truth_false);
    step(port, false, [](std::uint8_t) {});
    EXPECT_EQ(vars::bits[0], truth_true);
    EXPECT_EQ(vars::bits[2], truth_true);
}

} // namespace
