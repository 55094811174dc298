// SPDX-License-Identifier: MIT
#include "core/algo_umrechnen.h"
#include "core/vars.h"

#include <gtest/gtest.h>

#include <array>

using namespace core;

namespace {

class Umrechnen : public ::testing::Test {
protected:
    void SetUp() override { vars::reset(); }
};

std::array<truth, 8> flags(std::initializer_list<int> set_elements)
{
    std::array<truth, 8> expected {};
    for (int k : set_elements)
        expected[static_cast<std::size_t>(k)] = -1;
    return expected;
}

TEST_F(Umrechnen, EveryByteGivesItsOwnBitsAndStaysUnchanged)
{
    for (int n = 0; n < 256; ++n) {
        std::uint8_t value = static_cast<std::uint8_t>(n);
        algo_umrechnen::umrechnen(value);
        EXPECT_EQ(value, n);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(vars::bits[static_cast<std::size_t>(k)], ((n >> k) & 1) ? -1 : 0)
                << "value " << n << " element " << k;
    }
}

TEST_F(Umrechnen, ExamplesOfTheLampPatterns)
{
    struct Row {
        std::uint8_t value;
        std::array<truth, 8> bits;
    };
    const Row rows[] = {
        { 0, flags({}) },
        { 255, flags({ 0, 1, 2, 3, 4, 5, 6, 7 }) },
        { 1, flags({ 0 }) },
        { 128, flags({ 7 }) },
        { 170, flags({ 1, 3, 5, 7 }) },
        { 85, flags({ 0, 2, 4, 6 }) },
    };
    for (const Row& row : rows) {
        algo_umrechnen::umrechnen(row.value);
        EXPECT_EQ(vars::bits, row.bits) << "value " << int(row.value);
    }
}

TEST_F(Umrechnen, OverwritesEveryElementOfAnEarlierCall)
{
    algo_umrechnen::umrechnen(255);
    algo_umrechnen::umrechnen(0);
    EXPECT_EQ(vars::bits, flags({}));
}

TEST_F(Umrechnen, WorksOnTheSharedOutValueItself)
{
    vars::out_value = 170;
    algo_umrechnen::umrechnen(vars::out_value);
    EXPECT_EQ(vars::out_value, 170);
    EXPECT_EQ(vars::bits, flags({ 1, 3, 5, 7 }));
}

} // namespace
