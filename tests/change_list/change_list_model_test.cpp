#include "change_list_model.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr std::uint8_t byte_for(std::size_t row) { return static_cast<std::uint8_t>(row * 7 + 3); }

TEST(ChangeListModel, KeepsEntriesInOrderAcrossBlocks)
{
    ChangeListModel model;
    const std::size_t entries = 2 * ChangeListModel::block_size + 5;
    for (std::size_t row = 0; row < entries; ++row)
        model.append(byte_for(row));

    ASSERT_EQ(model.size(), entries);
    for (const std::size_t row : { std::size_t { 0 }, ChangeListModel::block_size - 1,
             ChangeListModel::block_size, 2 * ChangeListModel::block_size, entries - 1 }) {
        EXPECT_EQ(model[row], byte_for(row)) << "row " << row;
        EXPECT_EQ(model.at(row), byte_for(row)) << "row " << row;
    }
}

TEST(ChangeListModel, AtRefusesRowsPastTheEnd)
{
    ChangeListModel model;
    EXPECT_THROW((void)model.at(0), std::out_of_range);
    model.append(9);
    EXPECT_EQ(model.at(0), 9);
    EXPECT_THROW((void)model.at(1), std::out_of_range);
    EXPECT_EQ(model.size(), 1u);
}

TEST(ChangeListModel, HoldsAMillionEntriesInAboutOneBytePerEntry)
{
    ChangeListModel model;
    const std::size_t entries = 1'000'000;
    for (std::size_t row = 0; row < entries; ++row)
        model.append(byte_for(row));

    EXPECT_EQ(model.size(), entries);
    EXPECT_EQ(model.at(entries - 1), byte_for(entries - 1));
    EXPECT_GE(model.storage_bytes(), entries);
    EXPECT_LT(model.storage_bytes(), entries + ChangeListModel::block_size);
}

TEST(ChangeListModel, ClearGivesTheMemoryBackAndStartsAfresh)
{
    ChangeListModel model;
    for (std::size_t row = 0; row < ChangeListModel::block_size + 1; ++row)
        model.append(1);
    model.clear();

    EXPECT_TRUE(model.empty());
    EXPECT_EQ(model.storage_bytes(), 0u);
    model.append(42);
    EXPECT_EQ(model.size(), 1u);
    EXPECT_EQ(model.at(0), 42);
}

} // namespace
