#include <gtest/gtest.h>

#include "model/date_time.h"

namespace tellumic {
namespace {

struct ParseCase
{
    const char *text;
    LogDateTime expected;
};

class ParseDateTimeTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ParseDateTimeTest, ReadsWhatItCan)
{
    EXPECT_EQ(ParseDateTime(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseDateTimeTest,
    ::testing::Values(ParseCase{"2011-03-05 14:07:09", {2011, 3, 5, 14, 7, 9}},
                      ParseCase{"2011/3/5 14:07", {2011, 3, 5, 14, 7, 0}}, ParseCase{"2011-03-05", {2011, 3, 5, 0, 0, 0}},
                      ParseCase{"2011-03-05 14", {2011, 3, 5, 0, 0, 0}}, ParseCase{"no date", {}},
                      ParseCase{"2011-03", {}}, ParseCase{"2011-13x-05 1:2:3", {}},
                      ParseCase{"2011-03-05 1:2:x", {2011, 3, 5, 1, 2, 0}}, ParseCase{"2011-03-05 1:x:3", {2011, 3, 5, 0, 0, 0}},
                      ParseCase{"2011-03-300 1:2:3", {}}, ParseCase{"-1-0-0 0:0:0", {-1, 0, 0, 0, 0, 0}}, ParseCase{"", {}}));

TEST(FormatDateTimeTest, PadsAndCompletesTheYear)
{
    EXPECT_EQ(FormatDateTime({11, 3, 5, 14, 7, 9}), "2011-03-05 14:07:09");
    EXPECT_EQ(FormatDateTime({-1, 1, 2, 3, 4, 5}), "0000-01-02 03:04:05");
    EXPECT_EQ(FormatDateTime({0, 0, 0, 0, 0, 0}), "0000-00-00 00:00:00");
    EXPECT_EQ(FormatDateTime({100, 12, 31, 23, 59, 59}), "0100-12-31 23:59:59");
    EXPECT_EQ(PadYear(7), "0007");
    EXPECT_EQ(FormatDateTimeVB(localTimePoint(2026, 12, 10, 8, 5, 3)), "2026-12-10 08:05:03");
}

struct ValidateCase
{
    LogDateTime dt;
    const char *message;
};

class ValidateDateTimeTest : public ::testing::TestWithParam<ValidateCase>
{
};

TEST_P(ValidateDateTimeTest, FirstFailingTestWins)
{
    EXPECT_EQ(ValidateDateTime(GetParam().dt), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidateDateTimeTest,
    ::testing::Values(ValidateCase{{2000, 1, 1, 0, 0, 0}, ""}, ValidateCase{{2099, 2, 31, 23, 59, 59}, ""},
                      ValidateCase{{1999, 0, 0, 99, 99, 99}, "Year must be greater than 2000"},
                      ValidateCase{{2100, 1, 1, 0, 0, 0}, "Year must be less than 2099"},
                      ValidateCase{{2011, 13, 1, 0, 0, 0}, "Month must be between 1 and 12"},
                      ValidateCase{{2011, 0, 1, 0, 0, 0}, "Month must be between 1 and 12"},
                      ValidateCase{{2011, 1, 32, 0, 0, 0}, "Day must be between 1 and 31"},
                      ValidateCase{{2011, 1, 1, 24, 0, 0}, "Hour must be between 0 and 23"},
                      ValidateCase{{2011, 1, 1, 0, 60, 0}, "Minute must be between 0 and 59"},
                      ValidateCase{{2011, 1, 1, 0, 0, 60}, "Second must be between 0 and 59"}));

}  // namespace
}  // namespace tellumic
