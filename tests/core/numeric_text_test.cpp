// SPDX-License-Identifier: MIT
#include "core/decimal_text.h"
#include "core/round_to_long.h"
#include "core/runtime_error.h"
#include "core/text_to_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

using namespace core;

namespace {

const double inf = std::numeric_limits<double>::infinity();

struct NumberRow {
    const char* text;
    double number;
};

// One row per rule of the text, read as the port and interval boxes read it.
const NumberRow number_rows[] = {
    { "", 0 },
    { "888", 888 },
    { "888.5", 888.5 },
    { "  8 8\t8\n", 888 },
    { "- 1 2", -12 },
    { "+7", 7 },
    { "50abc", 50 },
    { "abc", 0 },
    { "1,5", 1 },
    { "1.2.3", 1.2 },
    { ".5", 0.5 },
    { "5.", 5 },
    { ".", 0 },
    { "-", 0 },
    { "1e3", 1000 },
    { "1E3", 1000 },
    { "1D2", 100 },
    { "1d-2", 0.01 },
    { "2.5e+1", 25 },
    { "1e", 1 },
    { "1e+", 1 },
    { "1 e 3", 1000 },
    { "&H378", 888 },
    { "&h378", 888 },
    { "& H 3 7 8", 888 },
    { "&HFFxyz", 255 },
    { "&H", 0 },
    { "&O1570", 888 },
    { "&o17", 15 },
    { "&O19", 1 },
    { "&X12", 0 },
    { "-&H10", 0 },
    { "\r12", 0 },
    { "0x10", 0 },
    { "1e400", inf },
    { "-1e400", -inf },
    { "1e-400", 0 },
    { "0e99999999999999999999", 0 },
    { "1e99999999999999999999", inf },
    { "0.1", 0.1 },
    { "9007199254740993", 9007199254740992.0 }, // 2^53 + 1: ties to even
    { "9007199254740995", 9007199254740996.0 },
    { "&H20000000000001", 9007199254740992.0 },
    { "&H20000000000003", 9007199254740996.0 },
    { "\xd9\xa1\xd9\xa2", 0 }, // Arabic-Indic digits are no digits
    { "1\xc2\xa0" "2", 1 }, // a no-break space is not a blank
};

void PrintTo(const NumberRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class NumberText : public ::testing::TestWithParam<NumberRow> { };

TEST_P(NumberText, ReadsTheLeadingNumber)
{
    const NumberRow& row = GetParam();
    const double got = text_to_number(row.text);
    if (std::isinf(row.number))
        EXPECT_EQ(got, row.number) << '"' << row.text << '"';
    else
        EXPECT_DOUBLE_EQ(got, row.number) << '"' << row.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Rows, NumberText, ::testing::ValuesIn(number_rows));

TEST(NumberTextExact, IsTheCorrectlyRoundedDouble)
{
    EXPECT_EQ(text_to_number("0.1"), 0.1);
    EXPECT_EQ(text_to_number("2.2250738585072014e-308"), 2.2250738585072014e-308);
    EXPECT_EQ(text_to_number("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(text_to_number("&O777777777777777777777"), 9223372036854775807.0);
    EXPECT_EQ(text_to_number(std::string(10000, '9')), inf);
    EXPECT_EQ(text_to_number("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(text_to_number("&H" + std::string(30, 'F')), std::ldexp(1.0, 120));
}

struct RoundRow {
    double number;
    std::optional<std::int32_t> result; // none: overflow
};

const RoundRow round_rows[] = {
    { 0, 0 },
    { 12.5, 12 },
    { 13.5, 14 },
    { -0.5, 0 },
    { -1.5, -2 },
    { -2.5, -2 },
    { 0.49999999999999994, 0 },
    { 888.5, 888 },
    { 889.5, 890 },
    { 12.4, 12 },
    { -12.6, -13 },
    { 2147483647, 2147483647 },
    { 2147483647.4, 2147483647 },
    { 2147483647.5, std::nullopt },
    { 2147483648.0, std::nullopt },
    { -2147483648.0, -2147483647 - 1 },
    { -2147483648.5, -2147483647 - 1 },
    { -2147483648.6, std::nullopt },
    { -2147483649.0, std::nullopt },
    { 1e300, std::nullopt },
    { inf, std::nullopt },
    { -inf, std::nullopt },
    { std::numeric_limits<double>::quiet_NaN(), std::nullopt },
};

void PrintTo(const RoundRow& row, std::ostream* os) { *os << row.number; }

class RoundToLong : public ::testing::TestWithParam<RoundRow> { };

TEST_P(RoundToLong, RoundsHalvesToEvenOrOverflows)
{
    const RoundRow& row = GetParam();
    if (row.result) {
        EXPECT_EQ(round_to_long(row.number), *row.result) << row.number;
    } else {
        try {
            (void)round_to_long(row.number);
            ADD_FAILURE() << row.number << " did not overflow";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RoundToLong, ::testing::ValuesIn(round_rows));

TEST(PortAndIntervalTexts, TurnIntoTheNumbersTheToolUses)
{
    EXPECT_EQ(round_to_long(text_to_number("888.5")), 888);
    EXPECT_EQ(round_to_long(text_to_number("889.5")), 890);
    EXPECT_EQ(round_to_long(text_to_number("&H378")), 888);
    EXPECT_EQ(round_to_long(text_to_number("")), 0);
    EXPECT_EQ(round_to_long(text_to_number("12.5")), 12);
    EXPECT_EQ(round_to_long(text_to_number("13.5")), 14);
    EXPECT_EQ(round_to_long(text_to_number("50abc")), 50);
}

TEST(PortAndIntervalTexts, OverflowAtBothEndsOfTheRange)
{
    EXPECT_THROW((void)round_to_long(text_to_number("2147483648")), RuntimeError);
    EXPECT_THROW((void)round_to_long(text_to_number("-2147483649")), RuntimeError);
    EXPECT_THROW((void)round_to_long(text_to_number("&H80000000")), RuntimeError);
    EXPECT_EQ(round_to_long(text_to_number("2147483647")), 2147483647);
    EXPECT_EQ(round_to_long(text_to_number("-2147483648")), -2147483647 - 1);
}

// The rules must read the same under a locale whose decimal separator is a comma.
TEST(NumberTextLocale, GermanNumericLocaleChangesNothing)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
#ifdef _WIN32
    const char* german = "German_Germany.1252";
#else
    const char* german = "de_DE.UTF-8";
#endif
    ASSERT_NE(std::setlocale(LC_ALL, german), nullptr)
        << "the locale " << german << " is missing; scripts/test generates it";
    for (const NumberRow& row : number_rows) {
        const double got = text_to_number(row.text);
        if (std::isinf(row.number))
            EXPECT_EQ(got, row.number) << row.text;
        else
            EXPECT_DOUBLE_EQ(got, row.number) << row.text;
    }
    EXPECT_EQ(text_to_number("1,5"), 1.0);
    EXPECT_EQ(text_to_number("1.5"), 1.5);
    EXPECT_EQ(decimal_text(1234567), "1234567");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(DecimalText, HasNoBlankSignOrLeadingZeros)
{
    EXPECT_EQ(decimal_text(0), "0");
    EXPECT_EQ(decimal_text(7), "7");
    EXPECT_EQ(decimal_text(255), "255");
    EXPECT_EQ(decimal_text(32768), "32768");
    EXPECT_EQ(decimal_text(10'000'000'000), "10000000000");
}

} // namespace
