// SPDX-License-Identifier: MIT
// The change record: values and times in order, their memory, and snapshots read on
// another thread.
#include "core/change_record.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace core;

namespace {

using change_record_detail::chunk_size;
using change_record_detail::group_size;

constexpr std::uint8_t byte_for(std::size_t row) { return static_cast<std::uint8_t>(row * 7 + 3); }

constexpr std::int64_t t0 = 1'800'000'000'000'000;

TEST(ChangeRecord, KeepsEntriesInOrderAcrossBlocks)
{
    ChangeRecord record;
    const std::size_t entries = 2 * chunk_size + 5;
    for (std::size_t row = 0; row < entries; ++row)
        record.append(byte_for(row), t0);

    ASSERT_EQ(record.size(), entries);
    for (const std::size_t row :
        { std::size_t { 0 }, chunk_size - 1, chunk_size, 2 * chunk_size, entries - 1 }) {
        EXPECT_EQ(record[row], byte_for(row)) << "row " << row;
        EXPECT_EQ(record.at(row), byte_for(row)) << "row " << row;
    }
}

TEST(ChangeRecord, AtRefusesRowsPastTheEnd)
{
    ChangeRecord record;
    EXPECT_THROW((void)record.at(0), std::out_of_range);
    record.append(9, t0);
    EXPECT_EQ(record.at(0), 9);
    EXPECT_THROW((void)record.at(1), std::out_of_range);
    EXPECT_EQ(record.size(), 1u);
}

TEST(ChangeRecord, HoldsAMillionEntriesInAboutThreeBytesPerEntry)
{
    ChangeRecord record;
    const std::size_t entries = 1'000'000;
    for (std::size_t row = 0; row < entries; ++row)
        record.append(byte_for(row), t0 + static_cast<std::int64_t>(row) * 1000);

    EXPECT_EQ(record.size(), entries);
    EXPECT_EQ(record.at(entries - 1), byte_for(entries - 1));
    EXPECT_GE(record.storage_bytes(), 3 * entries);
    EXPECT_LT(static_cast<double>(record.storage_bytes()),
        3.05 * static_cast<double>(entries + chunk_size));
}

TEST(ChangeRecord, ClearGivesTheMemoryBackAndStartsAfresh)
{
    ChangeRecord record;
    for (std::size_t row = 0; row < chunk_size + 1; ++row)
        record.append(1, t0 + 100'000 * static_cast<std::int64_t>(row));
    record.clear();

    EXPECT_TRUE(record.empty());
    EXPECT_EQ(record.storage_bytes(), 0u);
    record.append(42, t0 - 5);
    EXPECT_EQ(record.size(), 1u);
    EXPECT_EQ(record.at(0), 42);
    EXPECT_EQ(record.time_us(0), t0 - 5);
}

// Steps from one entry to the next, each repeated over three groups and a chunk's end.
TEST(ChangeRecord, GivesEveryRowsTimeWhateverTheStep)
{
    const struct {
        const char* name;
        std::int64_t step_us;
    } rows[] = {
        { "the same microsecond", 0 },
        { "one millisecond", 1000 },
        { "the longest step stored", 65'534 },
        { "the first step escaped", 65'535 },
        { "an hour", 3'600'000'000 },
        { "back a little (clock set back)", -1 },
        { "back a day", -86'400'000'000 },
    };
    for (const auto& row : rows) {
        ChangeRecord record;
        std::vector<std::int64_t> times;
        // Start near a chunk's end so that the steps cross it.
        for (std::size_t i = 0; i < chunk_size - 300; ++i)
            record.append(0, t0);
        for (std::size_t i = 0; i < 3 * group_size; ++i) {
            // Alternating with 1 ms steps, so that escapes and stored steps mix.
            const std::int64_t time = t0
                + (i % 2 == 0 ? row.step_us * static_cast<std::int64_t>(i)
                              : 1000 + row.step_us * static_cast<std::int64_t>(i - 1));
            times.push_back(time);
            record.append(byte_for(i), time);
        }
        // Read back one at a time and as a run that starts inside a group.
        const std::size_t first = chunk_size - 300;
        std::vector<RecordEntry> run(times.size() - 3);
        record.snapshot().read(first + 3, run);
        for (std::size_t i = 0; i < times.size(); ++i) {
            ASSERT_EQ(record.time_us(first + i), times[i]) << row.name << ", entry " << i;
            if (i >= 3) {
                ASSERT_EQ(run[i - 3].time_us, times[i]) << row.name << ", run " << i;
            }
        }
    }
}

// A saver reads its snapshot on another thread while entries come and the list is cleared.
TEST(ChangeRecord, ASnapshotStaysWhileTheRecordGrowsAndIsCleared)
{
    ChangeRecord record;
    const std::size_t entries = chunk_size + 100;
    for (std::size_t i = 0; i < entries; ++i)
        record.append(byte_for(i), t0 + static_cast<std::int64_t>(i) * 70'000);
    const RecordSnapshot snapshot = record.snapshot();
    std::size_t wrong = 0;
    std::thread reader([&] {
        std::vector<RecordEntry> all(snapshot.size());
        snapshot.read(0, all);
        for (std::size_t i = 0; i < all.size(); ++i)
            wrong += all[i].value != byte_for(i)
                || all[i].time_us != t0 + static_cast<std::int64_t>(i) * 70'000;
    });
    for (std::size_t i = 0; i < chunk_size; ++i)
        record.append(0, t0);
    record.clear();
    for (std::size_t i = 0; i < chunk_size; ++i)
        record.append(1, t0);
    reader.join();
    EXPECT_EQ(snapshot.size(), entries);
    EXPECT_EQ(wrong, 0U);
}

} // namespace
