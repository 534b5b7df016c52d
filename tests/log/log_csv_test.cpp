#include <algorithm>
#include <cmath>
#include <set>
#include <limits>

#include <gtest/gtest.h>

#include "log/log_csv.h"
#include "tests/log/record_bytes.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct FormatCase
{
    std::string (*format)(float);
    float value;
    const char *expected;
};

class NumberFormatsTest : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(NumberFormatsTest, Shows)
{
    EXPECT_EQ(GetParam().format(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Formatters, NumberFormatsTest,
    ::testing::Values(FormatCase{FormatPower, 1000.0f, "1000.00"}, FormatCase{FormatPower, 9999.99f, "9999.99"},
                      FormatCase{FormatPower, 56789.1f, "56789.1"}, FormatCase{FormatPower, 250000.0f, "250000"},
                      FormatCase{FormatPower, -15000.0f, "-15000.00"}, FormatCase{FormatPower, 0.004f, "0.00"},
                      FormatCase{FormatPower, kNaN, "NaN"}, FormatCase{FormatPower, kInf, "NaN"},
                      FormatCase{FormatPower, -kInf, "NaN"}, FormatCase{FormatVolts, 230.25f, "230.3"},
                      FormatCase{FormatVolts, 0.0f, "0.0"}, FormatCase{FormatCurrent, 0.0f, "0.000"},
                      FormatCase{FormatCurrent, 9.9994f, "9.999"}, FormatCase{FormatCurrent, 12.345f, "12.35"},
                      FormatCase{FormatCurrent, 123.25f, "123.3"}, FormatCase{FormatCurrent, 1234.5f, "1235"},
                      FormatCase{FormatCurrent, kNaN, "NaN"}, FormatCase{FormatPf, 1.0f, "1.0000"},
                      FormatCase{FormatPf, -0.98767f, "-0.9877"}, FormatCase{FormatFreq, 50.004f, "50.00"},
                      FormatCase{FormatFreq, 5.5f, "5.50"}));

struct EnergyCase
{
    std::int32_t tenths;
    const char *expected;
};

class FormatEnergyTest : public ::testing::TestWithParam<EnergyCase>
{
};

TEST_P(FormatEnergyTest, PointBeforeTheLastDigit)
{
    EXPECT_EQ(FormatEnergy(GetParam().tenths), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatEnergyTest,
                         ::testing::Values(EnergyCase{123, "12.3"}, EnergyCase{5, ".5"}, EnergyCase{0, ".0"},
                                           EnergyCase{-15, "-1.5"}, EnergyCase{-5, "-.5"},
                                           EnergyCase{100000, "10000.0"},
                                           EnergyCase{std::numeric_limits<std::int32_t>::max(), "214748364.7"},
                                           EnergyCase{std::numeric_limits<std::int32_t>::min(), "-214748364.8"}));

LogRecord exampleRecord()
{
    LogRecord r;
    r.recordType = 1;
    r.recordNumber = 1201;
    r.flags = 0x82;
    r.dateTime = {2011, 3, 5, 12, 15, 0};
    r.logSeconds = 900;
    r.demand = 1000.0f;
    r.energySum = 100000;
    r.crcGood = true;
    return r;
}

LogRecord withType(LogRecord r, std::uint8_t type)
{
    r.recordType = type;
    return r;
}

LogRecord withBadCrc(LogRecord r)
{
    r.crcGood = false;
    return r;
}

struct LineCase
{
    const char *name;
    LogRecord record;
    bool isShort;
    bool keepBad;
    const char *expected;
};

class FormatLogDataCsvTest : public test::HomeTest, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(FormatLogDataCsvTest, Line)
{
    EXPECT_EQ(FormatLogDataCsv(GetParam().record, GetParam().isShort, GetParam().keepBad), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FormatLogDataCsvTest,
    ::testing::Values(
        LineCase{"Good", exampleRecord(), true, false, "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. "},
        LineCase{"BadDropped", withBadCrc(exampleRecord()), true, false, ",,,,,,,,,,,,CRC mismatch. "},
        LineCase{"BadKept", withBadCrc(exampleRecord()), true, true,
                 "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. CRC mismatch. "},
        LineCase{"Type2", withType(exampleRecord(), 2), true, true, ",,,,,,,,,,,,Unrecognized log record type: 2"},
        LineCase{"Type0Long", withType(exampleRecord(), 0), false, false,
                 ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,Unrecognized log record type: 0"},
        LineCase{"BadLongDropped", withBadCrc(exampleRecord()), false, false,
                 ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,CRC mismatch. "}),
    [](const auto &info) { return std::string(info.param.name); });

class LongLineTest : public test::HomeTest
{
};

TEST_F(LongLineTest, PhaseValuesAndSums)
{
    LogRecord r = exampleRecord();
    r.flags = 0x7C;  // every flag but Reset and PowerFail, bit 0 clear
    r.energyPosSum = 90000;
    r.energy = {30000, -5, 0};
    r.reacEnergySum = 123;
    r.volts = {230.0f, 0.5f, 120.0f};
    r.frequency = 50.0f;
    r.power = {3000.0f, 0.0f, -400.0f};
    r.reacPower = {4000.0f, 0.0f, 300.0f};
    EXPECT_EQ(FormatLogDataCsv(r, false, false),
              "1201,2011-03-05 12:15:00,10000.0,1000.00,9000.0,3000.0,-.5,.0,12.3,"
              "2600.00,3000.00,0.00,-400.00,4300.00,4000.00,0.00,300.00,"
              "230.0,0.5,120.0,21.74,0.000,4.167,0.6000,1.0000,-0.8000,50.00,900,"
              ",1,1,1,1,1,,Internal error. Online. Configuration changed. Calibration changed. Date/time changed. ");
}

TEST_F(LongLineTest, NonFiniteValuesShowNaN)
{
    LogRecord r = exampleRecord();
    r.volts = {kNaN, 230.0f, 230.0f};
    r.power = {kInf, 100.0f, 100.0f};
    r.reacPower = {0.0f, kNaN, 0.0f};
    r.frequency = -kInf;
    const std::string line = FormatLogDataCsv(r, false, false);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 35);
    EXPECT_EQ(line.substr(std::string_view("1201,2011-03-05 12:15:00,10000.0,1000.00,.0,.0,.0,.0,.0,").size()),
              "NaN,NaN,100.00,100.00,NaN,0.00,NaN,0.00,NaN,230.0,230.0,0.000,NaN,0.435,NaN,1.0000,1.0000,NaN,900,"
              "1,,,,,,1,Reset. Power failed. ");
}

class LogDataCsvTextTest : public test::HomeTest
{
};

TEST_F(LogDataCsvTextTest, ReverseOrderHeaderAndLastGoodRecord)
{
    std::vector<LogRecord> received = {test::sampleRecord(100, true), test::sampleRecord(99, true),
                                       test::sampleRecord(98, true), withType(test::sampleRecord(97, true), 3)};
    for (auto &r : received)
        r.crcGood = true;
    std::string text;
    const LastLogRecord last = appendLogDataCsv(text, true, received, true, true, false);
    EXPECT_EQ(last.recordNumber, 100);
    EXPECT_EQ(last.dateTime, test::sampleRecord(100, true).dateTime);
    std::vector<std::string> lines;
    for (std::size_t at = 0, eol; (eol = text.find("\r\n", at)) != std::string::npos; at = eol + 2)
        lines.push_back(text.substr(at, eol - at));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(lines[0], "RecordNum,DateTime,EnergySum,Demand,LogSeconds,PowerFail,ClockChange,CalChange,CfgChange,"
                        "Online,Error,Reset,Notes");
    EXPECT_EQ(lines[1], ",YYYY-MM-DD hh:mm:ss,kWh,Watt,Seconds,,,,,,,,");
    EXPECT_EQ(lines[2], ",,,,,,,,,,,,Unrecognized log record type: 3");
    EXPECT_EQ(lines[3].substr(0, 3), "98,");
    EXPECT_EQ(lines[5].substr(0, 4), "100,");
    for (const auto &line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 12) << line;

    std::string forward;
    appendLogDataCsv(forward, false, received, true, false, false);
    EXPECT_EQ(forward.substr(0, 4), "100,");
}

TEST(LogCsvHeaderTest, LongHeaderHas36FieldsOnBothLines)
{
    const std::string_view h = logCsvHeader(false);
    const auto eol = h.find("\r\n");
    ASSERT_NE(eol, std::string_view::npos);
    EXPECT_EQ(std::count(h.begin(), h.begin() + static_cast<long>(eol), ','), 35);
    EXPECT_EQ(std::count(h.begin() + static_cast<long>(eol), h.end(), ','), 35);
    EXPECT_TRUE(h.ends_with("Amp,,,,Hz,Seconds,,,,,,,,"));
}

struct FilenameCase
{
    const char *device;
    bool isShort;
    const char *expected;
};

class GetLogFilenameTest : public test::HomeTest, public ::testing::WithParamInterface<FilenameCase>
{
};

TEST_P(GetLogFilenameTest, StaysInTheProgramFolder)
{
    home.clock.set(localTimePoint(2011, 6, 1, 12));
    EXPECT_EQ(GetLogFilename(GetParam().device, GetParam().isShort), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, GetLogFilenameTest,
    ::testing::Values(FilenameCase{"Meter1", false, "Meter1-log-full-2011.csv"},
                      FilenameCase{"Meter 1 (Hall B)", true, "Meter 1 (Hall B)-log-short-2011.csv"},
                      FilenameCase{"a.b..c", true, "a.b..c-log-short-2011.csv"},
                      FilenameCase{"../../etc/x", false, "%2E%2E%2F..%2Fetc%2Fx-log-full-2011.csv"},
                      FilenameCase{"..\\up", false, "%2E%2E%5Cup-log-full-2011.csv"},
                      FilenameCase{"a%2Fb", false, "a%252Fb-log-full-2011.csv"},
                      FilenameCase{"tab\there\n", true, "tab%09here%0A-log-short-2011.csv"},
                      FilenameCase{"", true, "-log-short-2011.csv"}));

TEST_F(GetLogFilenameTest, NewYearNewFileAndNoTwoNamesShareOne)
{
    home.clock.set(localTimePoint(2012, 1, 1, 0, 0, 1));
    EXPECT_EQ(GetLogFilename("Meter1", false), "Meter1-log-full-2012.csv");
    const char *names[] = {"a/b", "a%2Fb", "a\\b", "a%5Cb", "..", "%2E%2E", ".", "a\x7f", "a%7F"};
    std::set<std::string> files;
    for (const char *n : names) {
        const std::string f = GetLogFilename(n, true);
        EXPECT_EQ(f.find('/'), std::string::npos) << n;
        files.insert(f);
    }
    EXPECT_EQ(files.size(), std::size(names));
}

}  // namespace
}  // namespace tellumic

namespace tellumic {
namespace {

// The record line writes the date without FormatDateTime's printf; it must read the same.
TEST(LogLineDateTest, DateFieldReadsAsFormatDateTime)
{
    for (const LogDateTime dt : {LogDateTime{2011, 3, 5, 12, 15, 0}, LogDateTime{0, 0, 0, 0, 0, 0},
                                 LogDateTime{5, 1, 2, 3, 4, 5}, LogDateTime{99, 12, 31, 23, 59, 59},
                                 LogDateTime{100, 1, 1, 0, 0, 0}, LogDateTime{32767, 255, 255, 255, 255, 255},
                                 LogDateTime{-1, 1, 1, 1, 1, 1}, LogDateTime{-7, 1, 1, 1, 1, 1}}) {
        LogRecord r = exampleRecord();
        r.dateTime = dt;
        const std::string line = FormatLogDataCsv(r, true, false);
        const auto first = line.find(',');
        EXPECT_EQ(line.substr(first + 1, line.find(',', first + 1) - first - 1), FormatDateTime(dt));
    }
}

}  // namespace
}  // namespace tellumic
