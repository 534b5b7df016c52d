#include <gtest/gtest.h>

#include "model/date_time.h"
#include "model/value_format.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

struct ValueCase
{
    const char *routine;
    const char *value;
    const char *format;
    const char *expected;
};

std::string run(const ValueCase &c)
{
    const std::string routine = c.routine;
    if (routine == "power") {
        std::string fmt = c.format;
        return FormatSnvtPower(c.value, fmt);
    }
    if (routine == "energy")
        return FormatSnvtEnergy(c.value, c.format);
    if (routine == "volt")
        return FormatSnvtVolt(c.value, c.format);
    if (routine == "freq")
        return FormatSnvtFreq(c.value, c.format);
    if (routine == "amp")
        return FormatSnvtAmp(c.value, c.format);
    if (routine == "pf")
        return FormatSnvtPowerFact(c.value, c.format);
    if (routine == "stamp")
        return FormatSnvtTimeStamp(c.value, c.format);
    return "?";
}

class ValueFormatTest : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(ValueFormatTest, ShowsTheValueForItsType)
{
    EXPECT_EQ(run(GetParam()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueFormatTest,
    ::testing::Values(
        ValueCase{"power", "999.994", "SNVT_power_f#SI", "999.99"}, ValueCase{"power", "1250.5", "SNVT_power_f#SI", "1,250.5"},
        ValueCase{"power", "12560.6", "SNVT_power_f#SI", "12,561"}, ValueCase{"power", "-1250.5", "SNVT_power_f", "-1,250.5"},
        ValueCase{"power", "12560.6", "SNVT_power_kilo#SI", "12,560.6"}, ValueCase{"power", "12.34", "SNVT_power", "12.3"},
        ValueCase{"power", "abc", "SNVT_power_f", "NaN"}, ValueCase{"power", "NaN", "SNVT_power_f", "NaN"},
        ValueCase{"energy", "1256789", "SNVT_elec_whr_f", "1,256.79"}, ValueCase{"energy", "0.5", "SNVT_elec_whr_f", "0.001"},
        ValueCase{"energy", "12345678", "SNVT_elec_whr_f", "12,345.7"},
        ValueCase{"energy", "123456789", "SNVT_elec_whr_f", "123,457"},
        ValueCase{"energy", "255\t255\t255\t246", "RAW", "-1.0"}, ValueCase{"energy", "0\t0\t39\t16", "RAW", "1,000.0"},
        ValueCase{"energy", "0\t0\t39", "RAW", "NaN"}, ValueCase{"energy", "1234", "SNVT_elec_kwh", "1,234"},
        ValueCase{"energy", "1234.56", "SNVT_elec_kwh_l", "1,234.6"}, ValueCase{"energy", "99", "SNVT_other", "0.0"},
        ValueCase{"volt", "230.46", "SNVT_volt_ac", "230"}, ValueCase{"volt", "230.46", "SNVT_volt_f#SI", "230.5"},
        ValueCase{"freq", "50.04", "SNVT_freq_hz", "50.0"}, ValueCase{"freq", "50.046", "SNVT_freq_f", "50.05"},
        ValueCase{"amp", "9.8765", "SNVT_amp_f", "9.877"}, ValueCase{"amp", "98.765", "SNVT_amp_f", "98.77"},
        ValueCase{"amp", "987.66", "SNVT_amp_f", "987.7"}, ValueCase{"amp", "9876.5", "SNVT_amp_f", "9,877"},
        ValueCase{"amp", "12.34", "SNVT_amp", "12.3"}, ValueCase{"amp", "1234.4", "SNVT_amp_ac", "1,234"},
        ValueCase{"amp", "1.23456", "SNVT_amps_f", "1.235"}, ValueCase{"pf", "0.98765", "SNVT_pwr_fact_f", "0.988"},
        ValueCase{"pf", "-1", "SNVT_pwr_fact", "-1.000"},
        ValueCase{"stamp", "11-3-5 14:7:9", "SNVT_time_stamp", "2011-03-05 14:07:09"},
        ValueCase{"stamp", "2026/12/10 8:05:00", "SNVT_time_stamp", "2026-12-10 08:05:00"},
        ValueCase{"stamp", "garbage", "SNVT_time_stamp", "0000-00-00 00:00:00"}));

TEST(PowerFormatTest, HandsBackTheCutFormatName)
{
    std::string fmt = "SNVT_power_f#SI";
    FormatSnvtPower("1", fmt);
    EXPECT_EQ(fmt, "SNVT_power_f");
}

struct SendTimeCase
{
    const char *elapsed;
    const char *seconds;
};

class SendTimeTest : public ::testing::TestWithParam<SendTimeCase>
{
};

TEST_P(SendTimeTest, ElapsedTimeToSeconds)
{
    EXPECT_EQ(Format_SCPTmaxSndT(GetParam().elapsed), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Cases, SendTimeTest,
                         ::testing::Values(SendTimeCase{"0 0:5:0:0", "300"}, SendTimeCase{"0 10:0:0:0", "36000"},
                                           SendTimeCase{"1 1:0:0:0", "90000"}, SendTimeCase{"0 12:0:0:0", "43200"},
                                           SendTimeCase{"0 0:1:30:500", "90"}, SendTimeCase{"0:0:7:0", "7"},
                                           SendTimeCase{"0 0:5", "Error"}, SendTimeCase{"0 a:b:c:0", "Error"},
                                           SendTimeCase{"", "Error"}));

class SecondsToSendTimeTest : public test::HomeTest
{
};

TEST_F(SecondsToSendTimeTest, SecondsToElapsedTimeAndFallback)
{
    EXPECT_EQ(SecondsTo_SCPTmaxSndT("90"), "0 0:1:30:0");
    EXPECT_EQ(SecondsTo_SCPTmaxSndT("300"), "0 0:5:0:0");
    EXPECT_EQ(SecondsTo_SCPTmaxSndT("90000"), "1 1:0:0:0");
    EXPECT_EQ(SecondsTo_SCPTmaxSndT("43200"), "0 12:0:0:0");
    EXPECT_TRUE(home.dialogs.shown().empty());
    EXPECT_EQ(SecondsTo_SCPTmaxSndT("soon"), "0 0:0:5:0");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "Error converting seconds into SCPTmaxSndT format: 13,Type mismatch");
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Tellumic Plug-in");
    std::string out = "untouched";
    EXPECT_FALSE(secondsToElapsedTime("", out));
    EXPECT_EQ(out, "untouched");
}

TEST(IdentityFormatTest, NeuronIdsAndLocations)
{
    EXPECT_EQ(FormatNeuronId("0123456789AB"), "01-23-45-67-89-AB");
    EXPECT_EQ(FormatNeuronId("0123456789AB").size(), 17u);
    EXPECT_EQ(HexToString("00414243"), "");
    EXPECT_EQ(HexToString("4142430044"), "ABC");
    EXPECT_EQ(HexToString("41ZZ42"), "A B");
    EXPECT_EQ(HexToString("E9"), "\xC3\xA9");
    EXPECT_EQ(HexToChar("4"), "\x04");
}

}  // namespace
}  // namespace tellumic
