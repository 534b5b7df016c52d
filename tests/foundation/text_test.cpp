#include <gtest/gtest.h>

#include "foundation/runtime_error.h"
#include "foundation/text.h"

namespace tellumic {
namespace {

struct WordCase
{
    const char *text;
    const char *delimiter;
    const char *word;
    const char *rest;
};

class ParseWordTest : public ::testing::TestWithParam<WordCase>
{
};

TEST_P(ParseWordTest, SplitsAtTheFirstDelimiter)
{
    const auto &c = GetParam();
    std::string rest = "unchanged?";
    EXPECT_EQ(ParseWord(c.text, c.delimiter, rest), c.word);
    EXPECT_EQ(rest, c.rest);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseWordTest,
                         ::testing::Values(WordCase{"Demo/Demo/Meters/M1", "/", "Demo", "Demo/Meters/M1"},
                                           WordCase{"word", "/", "word", ""},
                                           WordCase{" a / b ", "/", " a ", "b"},
                                           WordCase{"F:0/C:0:17", "/", "F:0", "C:0:17"},
                                           WordCase{"4.02 build", ".", "4", "02 build"},
                                           WordCase{"/lead", "/", "", "lead"},
                                           WordCase{"", "/", "", ""}));

TEST(ValTest, TakesTheLeadingNumber)
{
    EXPECT_EQ(Val("42abc"), 42);
    EXPECT_EQ(Val("  -3.5e2x"), -350);
    EXPECT_EQ(Val("abc"), 0);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("&H1F"), 31);
    EXPECT_EQ(Val("02"), 2);
    EXPECT_EQ(Val("1e"), 1);
}

TEST(StrictConversionTest, RoundsHalfToEvenAndReportsBadText)
{
    EXPECT_EQ(toLong(" 300 "), 300);
    EXPECT_EQ(toLong("2.5"), 2);
    EXPECT_EQ(toLong("3.5"), 4);
    EXPECT_EQ(toByte("255"), 255);
    const auto number = [](auto f) {
        try {
            f();
        } catch (const RuntimeError &e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([] { toLong(""); }), 13);
    EXPECT_EQ(number([] { toLong("12a"); }), 13);
    EXPECT_EQ(number([] { toByte("256"); }), 6);
    EXPECT_EQ(number([] { toInteger("40000"); }), 6);
    EXPECT_EQ(number([] { toLong("nan"); }), 13);
}

// The command-line number parser takes plain decimal whole numbers in range, nothing else.
TEST(WholeNumberTest, TakesOnlyDecimalWholeNumbersInRange)
{
    EXPECT_EQ(parseWholeNumber("0", 0, 10), 0);
    EXPECT_EQ(parseWholeNumber("+7", 0, 10), 7);
    EXPECT_EQ(parseWholeNumber("-5", -5, 10), -5);
    EXPECT_EQ(parseWholeNumber("2147483647", 0, 2147483647), 2147483647);
    for (const char *bad : {"", "+", "-", "+-1", "++1", " 1", "1 ", "1e3", "1.0", "0x10", "nan", "inf", "12abc", "-1",
                            "11", "99999999999999999999"})
        EXPECT_FALSE(parseWholeNumber(bad, 0, 10)) << bad;
}

}  // namespace
}  // namespace tellumic
