#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>

#include "model/number_format.h"

namespace tellumic {
namespace {

struct Case
{
    double value;
    const char *pattern;
    const char *expected;
};

class NumberFormatTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(NumberFormatTest, FormatsLikeTheSpreadsheetPattern)
{
    const auto &c = GetParam();
    EXPECT_EQ(formatNumber(c.value, c.pattern), c.expected) << c.value << " with " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, NumberFormatTest,
    ::testing::Values(
        Case{999.994, "###0.00", "999.99"}, Case{1250.5, "##,##0.0", "1,250.5"}, Case{12560.6, "###,###,##0", "12,561"},
        Case{1256.789, "##,##0.00", "1,256.79"}, Case{0.0005, "#,##0.000", "0.001"}, Case{-1.0, "###,###,##0.0", "-1.0"},
        Case{1000.0, "###,###,##0.0", "1,000.0"}, Case{1234567890.0, "###,###,##0", "1,234,567,890"},
        Case{0.0, "###0.00", "0.00"}, Case{0.25, "0.000", "0.250"}, Case{11, "0000", "0011"}, Case{12345, "0000", "12345"},
        Case{5.07, "#0.00", "5.07"}, Case{-0.001, "0.00", "0.00"}, Case{-0.006, "0.00", "-0.01"},
        // Exact halves round away from zero; values just below a half do not.
        Case{0.5, "0", "1"}, Case{2.5, "0", "3"}, Case{-2.5, "0", "-3"}, Case{0.125, "0.00", "0.13"},
        Case{0.375, "0.00", "0.38"}, Case{1.005, "0.00", "1.00"}, Case{2.675, "0.00", "2.67"},
        // A single-precision value widened exactly keeps its binary value.
        Case{static_cast<double>(0.15f), "0.0", "0.2"}, Case{static_cast<double>(1.45f), "0.0", "1.5"},
        Case{1e20, "###,###,##0", "100,000,000,000,000,000,000"}, Case{123.456, "#.##", "123.46"},
        Case{0.5, "#.##", ".5"}, Case{-999999.96, "##,##0.0", "-1,000,000.0"}, Case{-999999.95, "##,##0.0", "-999,999.9"}));

// More than nine decimals, and scaled values of 2^40 and above, take the exact path. A half
// there still rounds away from zero, where the library's own conversion rounds to even.
INSTANTIATE_TEST_SUITE_P(
    ExactPathHalves, NumberFormatTest,
    ::testing::Values(Case{0.00048828125, "0.0000000000", "0.0004882813"},
                      Case{-0.00048828125, "0.0000000000", "-0.0004882813"},
                      Case{0.000244140625, "0.00000000000", "0.00024414063"},
                      Case{1099511627776.5, "0", "1099511627777"},
                      Case{-1099511627776.5, "#,##0", "-1,099,511,627,777"},
                      Case{2199023255552.5, "0", "2199023255553"},
                      Case{1099511627776.25, "0.0", "1099511627776.3"},
                      Case{4503599627370494.5, "0", "4503599627370495"},
                      // Just below a half on the exact path stays below.
                      Case{std::nextafter(1099511627776.5, 0.0), "0", "1099511627776"}));

TEST(NumberFormatTest, NotANumberShowsNaN)
{
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), "0.00"), "NaN");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity(), "0.00"), "NaN");
    EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity(), "#,##0"), "NaN");
}

TEST(NumberFormatTest, IgnoresTheProcessLocale)
{
    const char *old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(formatNumber(1234.5, "#,##0.00"), "1,234.50");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberFormatTest, FastAndExactPathsAgree)
{
    // Every float in a spread of magnitudes, against the exact path (huge decimals force it).
    for (std::uint32_t bits = 0x3a000000u; bits < 0x4b000000u; bits += 0x000f4243u) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        const double d = f;
        const std::string fast = formatNumber(d, "0.000");
        // Reference: exact decimal expansion rounded half away from zero by hand.
        char buf[128];
        std::snprintf(buf, sizeof buf, "%.30f", d);
        std::string s(buf);
        const auto dot = s.find('.');
        std::string intPart = s.substr(0, dot), frac = s.substr(dot + 1, 3);
        const bool up = s[dot + 4] >= '5';
        long long n = std::stoll(intPart) * 1000 + std::stoll(frac) + (up ? 1 : 0);
        char expect[64];
        std::snprintf(expect, sizeof expect, "%lld.%03lld", n / 1000, n % 1000);
        ASSERT_EQ(fast, expect) << d;
    }
}

}  // namespace
}  // namespace tellumic
