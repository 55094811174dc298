// SPDX-License-Identifier: MIT
#include "core/vars.h"

#include <gtest/gtest.h>

using namespace core;

TEST(Vars, ResetPutsEveryFieldBackToItsStartValue)
{
    vars::bits.fill(-1);
    vars::port_text = "888";
    vars::out_value = 12;
    vars::last_value = 34;

    vars::reset();

    for (truth b : vars::bits)
        EXPECT_EQ(b, 0);
    EXPECT_EQ(vars::port_text, "");
    EXPECT_EQ(vars::out_value, 0);
    EXPECT_EQ(vars::last_value, 0);
}
