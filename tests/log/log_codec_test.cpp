#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "log/crc.h"
#include "log/log_records.h"
#include "log/log_transfer.h"
#include "tests/log/record_bytes.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kDigits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(CrcTest, CheckValuesAndPublishedTable)
{
    EXPECT_EQ(crc8(kDigits), 0xA1);
    CrcInit();
    CrcReset();
    for (std::uint8_t b : kDigits)
        CrcUpdate(b);
    EXPECT_EQ(CrcValue(), 0xA1);
    EXPECT_EQ(crc8TableEntry(0), 0x00);
    EXPECT_EQ(crc8TableEntry(1), 0x5E);
    EXPECT_EQ(crc8TableEntry(2), 0xBC);
    EXPECT_EQ(crc8TableEntry(255), 0x35);
    EXPECT_EQ(Crc16(kDigits, 9), 0x4B37);
    EXPECT_EQ(Crc16(kDigits, 100), 0x4B37) << "n beyond the bytes is clamped";
}

// The byte-at-a-time CRC-16 must agree with its bit-by-bit definition on any data.
TEST(CrcTest, Crc16MatchesTheBitwiseDefinition)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes data(static_cast<std::size_t>(rng() % 100));
        for (auto &b : data)
            b = static_cast<std::uint8_t>(rng());
        unsigned v = 0xFFFF;
        for (std::uint8_t b : data) {
            v ^= b;
            for (int i = 0; i < 8; ++i)
                v = (v & 1) ? (v >> 1) ^ 0xA001 : v >> 1;
        }
        ASSERT_EQ(Crc16(data, data.size()), v) << "length " << data.size();
    }
}

struct SetupCase
{
    const char *name;
    bool isShort;
    std::uint8_t mode;
    std::int32_t count;
    LogDateTime stop;
    std::int32_t stopRecnum;
    std::array<std::uint8_t, kLogSetupSize> expected;
};

class LogSetupBytesTest : public ::testing::TestWithParam<SetupCase>
{
};

TEST_P(LogSetupBytesTest, WireForm)
{
    const SetupCase &c = GetParam();
    EXPECT_EQ(LogSetupToBytes(makeLogSetup(c.isShort, c.mode, c.count, c.stop, c.stopRecnum)), c.expected);
}

std::array<std::uint8_t, kLogSetupSize> setupBytes(std::initializer_list<std::pair<std::size_t, std::uint8_t>> set)
{
    std::array<std::uint8_t, kLogSetupSize> b{};
    for (auto [at, v] : set)
        b[at] = v;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, LogSetupBytesTest,
    ::testing::Values(
        SetupCase{"ShortCount100", true, LogMode::kCountOfRecords, 100, {}, 0, setupBytes({{0, 1}, {4, 0x64}, {40, 3}})},
        SetupCase{"LongBackToDate", false, LogMode::kBackToDateTime, 24192, {2011, 3, 5, 12, 0, 0}, 0,
                  setupBytes({{0, 2}, {3, 0x5E}, {4, 0x80}, {28, 0x07}, {29, 0xDB}, {30, 3}, {31, 5}, {32, 0x0C}, {40, 2}})},
        SetupCase{"FullLog", false, LogMode::kFullLog, 24392, {}, 0, setupBytes({{3, 0x5F}, {4, 0x48}, {40, 2}})},
        SetupCase{"BackToRecord", true, LogMode::kBackToRecord, 24192, {}, 0x01020304,
                  setupBytes({{0, 5}, {3, 0x5E}, {4, 0x80}, {20, 1}, {21, 2}, {22, 3}, {23, 4}, {40, 3}})}),
    [](const auto &info) { return std::string(info.param.name); });

// Decoding reports to the user through the dialogs service, so these run in a fresh home.
class LoadLogDataTest : public test::HomeTest
{
protected:
    static Bytes shortBytes(const LogRecord &r)
    {
        Bytes b;
        test::appendRecordBytes(b, r, true);
        return b;
    }
};

TEST_F(LoadLogDataTest, DecodesTheFieldsOfTheExampleRecord)
{
    Bytes b = {1, 0, 0, 0x04, 0xB1, 0x82, 0x07, 0xDB, 3, 5, 12, 15, 0, 0x03, 0x84, 0x44, 0x7A, 0, 0, 0x00, 0x01, 0x86, 0xA0};
    b.push_back(crc8(b));
    const LogRecord r = LoadLogData(b, 0, true);
    EXPECT_TRUE(r.crcGood);
    EXPECT_EQ(r.recordType, 1);
    EXPECT_EQ(r.recordNumber, 1201);
    EXPECT_EQ(r.flags, 0x82);
    EXPECT_EQ(r.dateTime, (LogDateTime{2011, 3, 5, 12, 15, 0}));
    EXPECT_EQ(r.logSeconds, 900);
    EXPECT_EQ(r.demand, 1000.0f);
    EXPECT_EQ(r.energySum, 100000);
    EXPECT_EQ(r.volts[0], 0.0f) << "short records leave the long fields 0";
    EXPECT_TRUE(home.dialogs.shown().empty());
}

TEST_F(LoadLogDataTest, EveryChangedByteOfAShortRecordFailsItsCheck)
{
    const Bytes good = shortBytes(test::sampleRecord(1201, true));
    ASSERT_TRUE(LoadLogData(good, 0, true).crcGood);
    for (std::size_t i = 0; i < 23; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x10;
        EXPECT_FALSE(LoadLogData(bad, 0, true).crcGood) << "byte " << i;
    }
}

TEST_F(LoadLogDataTest, LongRecordCrcIsStoredHighByteFirst)
{
    Bytes b;
    test::appendRecordBytes(b, test::sampleRecord(5, false), false);
    const LogRecord good = LoadLogData(b, 0, false);
    EXPECT_TRUE(good.crcGood);
    EXPECT_EQ(good.storedCrc16, Crc16(b, 84));
    EXPECT_EQ(good.power[2], 12050.0f);
    EXPECT_EQ(good.reacPower[1], -410.0f);
    ASSERT_NE(b[84], b[85]);
    std::swap(b[84], b[85]);
    EXPECT_FALSE(LoadLogData(b, 0, false).crcGood);
}

TEST_F(LoadLogDataTest, AnyFloatBitPatternPassesThrough)
{
    LogRecord r = test::sampleRecord(9, false);
    r.volts = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -0.0f};
    r.power = {-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(), -1.5e30f};
    r.demand = std::bit_cast<float>(0xFFC00001u);  // a NaN with payload
    r.energySum = -123456;
    Bytes b;
    test::appendRecordBytes(b, r, false);
    const LogRecord d = LoadLogData(b, 0, false);
    EXPECT_TRUE(d.crcGood);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(d.demand), 0xFFC00001u);
    for (std::size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(d.volts[p]), std::bit_cast<std::uint32_t>(r.volts[p]));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(d.power[p]), std::bit_cast<std::uint32_t>(r.power[p]));
    }
    EXPECT_EQ(d.energySum, -123456);
}

TEST_F(LoadLogDataTest, CutRecordIsEmptyAndReported)
{
    const Bytes b = shortBytes(test::sampleRecord(7, true));
    // The second record of 36 bytes has only 12.
    Bytes twoAndAHalf = b;
    twoAndAHalf.insert(twoAndAHalf.end(), b.begin(), b.begin() + 12);
    EXPECT_TRUE(LoadLogData(twoAndAHalf, 0, true).crcGood);
    const LogRecord cut = LoadLogData(twoAndAHalf, 24, true);
    EXPECT_EQ(cut.recordType, 0);
    EXPECT_EQ(cut.recordNumber, 0);
    EXPECT_FALSE(cut.crcGood);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "LogLoadData() - 9,Subscript out of range");
}

TEST_F(LoadLogDataTest, NegativeYearStopsDecodingThere)
{
    Bytes b = shortBytes(test::sampleRecord(42, true));
    b[6] = 0x80;
    b[7] = 0x00;
    const LogRecord r = LoadLogData(b, 0, true);
    EXPECT_EQ(r.recordType, 1);
    EXPECT_EQ(r.recordNumber, 42);
    EXPECT_EQ(r.dateTime.year, 0);
    EXPECT_EQ(r.energySum, 0);
    EXPECT_FALSE(r.crcGood);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "LogLoadData() - 6,Overflow");
}

struct CountCase
{
    std::size_t bytes;
    bool isShort;
    std::size_t records;
};

class ReceivedRecordCountTest : public ::testing::TestWithParam<CountCase>
{
};

TEST_P(ReceivedRecordCountTest, RoundsHalvesToEven)
{
    EXPECT_EQ(receivedRecordCount(GetParam().bytes, GetParam().isShort), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReceivedRecordCountTest,
                         ::testing::Values(CountCase{0, true, 0}, CountCase{12, true, 0}, CountCase{13, true, 1},
                                           CountCase{36, true, 2}, CountCase{60, true, 2}, CountCase{2400, true, 100},
                                           CountCase{43, false, 0}, CountCase{44, false, 1}, CountCase{129, false, 2},
                                           CountCase{86 * 24392, false, 24392}));

class LoadLogInfoTest : public test::HomeTest
{
protected:
    static Bytes info()
    {
        return {0, 0, 0x02, 0x6C, 0, 1, 0, 2, 0x07, 0xDB, 3, 5, 12, 15, 0,    // newest 620
                0, 0, 0x01, 0xF4, 0, 0, 0, 0, 0x07, 0xDA, 12, 31, 23, 59, 58,  // oldest 500
                7, 8, 9, 0, 0};
    }
};

TEST_F(LoadLogInfoTest, DecodesBothEndsAndTheTrailingBytes)
{
    const LogInfo i = LoadLogInfo(info());
    EXPECT_EQ(i.newest, (LogPosition{620, 1, 2, {2011, 3, 5, 12, 15, 0}}));
    EXPECT_EQ(i.oldest, (LogPosition{500, 0, 0, {2010, 12, 31, 23, 59, 58}}));
    EXPECT_EQ(i.bytes, (std::array<std::uint8_t, 3>{7, 8, 9}));
    EXPECT_TRUE(home.dialogs.shown().empty());
}

struct InfoFaultCase
{
    const char *name;
    std::size_t cutAt;    // bytes kept, or 0 to keep all
    std::size_t setAt;    // byte set to 0x80 (~0 for none)
    const char *message;
    std::int32_t oldestRecnum;
    std::uint8_t firstTrailing;
};

class LoadLogInfoFaultTest : public LoadLogInfoTest, public ::testing::WithParamInterface<InfoFaultCase>
{
};

TEST_P(LoadLogInfoFaultTest, LaterFieldsStayZero)
{
    const InfoFaultCase &c = GetParam();
    Bytes b = info();
    if (c.cutAt)
        b.resize(c.cutAt);
    if (c.setAt != ~std::size_t{0})
        b[c.setAt] = 0x80;
    const LogInfo i = LoadLogInfo(b);
    EXPECT_EQ(i.oldest.recordNumber, c.oldestRecnum);
    EXPECT_EQ(i.bytes[0], c.firstTrailing);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LoadLogInfoFaultTest,
    ::testing::Values(InfoFaultCase{"ShortRead", 30, ~std::size_t{0}, "LogLoadInfo() - 9,Subscript out of range", 500, 0},
                      InfoFaultCase{"OldestRecnumOverflows", 0, 15, "LogLoadInfo() - 6,Overflow", 0, 0},
                      InfoFaultCase{"FieldAOverflows", 0, 19, "LogLoadInfo() - 6,Overflow", 500, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TimestampToDateTest, DayCountWithTimeAsFraction)
{
    EXPECT_DOUBLE_EQ(TimestampToDate({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(TimestampToDate({2011, 3, 5, 12, 0, 0}), 40607.5);
    EXPECT_DOUBLE_EQ(TimestampToDate({11, 3, 5, 18, 0, 0}), 40607.75);
    EXPECT_DOUBLE_EQ(TimestampToDate({2012, 2, 29, 0, 0, 0}) - TimestampToDate({2012, 2, 28, 0, 0, 0}), 1.0);
    for (const LogDateTime bad : {LogDateTime{2011, 2, 29, 0, 0, 0}, LogDateTime{2011, 13, 1, 0, 0, 0},
                                  LogDateTime{2011, 3, 0, 0, 0, 0}, LogDateTime{2011, 3, 5, 24, 0, 0},
                                  LogDateTime{2011, 3, 5, 0, 60, 0}, LogDateTime{-5, 3, 5, 0, 0, 0}}) {
        EXPECT_THROW(TimestampToDate(bad), RuntimeError) << FormatDateTime(bad);
    }
}

// A part of the log asked for by its first and last record: only good interval records
// numbered outside it show that the meter sent another part.
TEST(GoodRecordsOutsideTest, CountsOnlyGoodIntervalRecordsOutsideThePart)
{
    for (const bool isShort : {true, false}) {
        SCOPED_TRACE(isShort ? "short" : "long");
        const auto bytesOf = [isShort](std::int32_t from, std::int32_t to) {
            std::vector<std::uint8_t> out;
            for (std::int32_t n = to; n >= from; --n)  // newest first, as the meter sends
                test::appendRecordBytes(out, test::sampleRecord(n, isShort), isShort);
            return out;
        };
        EXPECT_EQ(GoodRecordsOutside(bytesOf(10, 19), isShort, 10, 19), 0u);
        EXPECT_EQ(GoodRecordsOutside(bytesOf(30, 39), isShort, 10, 19), 10u) << "the newest records instead";
        EXPECT_EQ(GoodRecordsOutside(bytesOf(15, 24), isShort, 10, 19), 5u);

        std::vector<std::uint8_t> bytes = bytesOf(10, 11);
        LogRecord badCheck = test::sampleRecord(99, isShort);
        badCheck.checkByte = 0;
        badCheck.storedCrc16 = 0;
        test::appendRecordBytes(bytes, badCheck, isShort, true);
        LogRecord otherType = test::sampleRecord(98, isShort);
        otherType.recordType = 7;
        test::appendRecordBytes(bytes, otherType, isShort);
        bytes.push_back(0);  // a cut record at the end
        EXPECT_EQ(GoodRecordsOutside(bytes, isShort, 10, 11), 0u) << "a record whose number cannot be trusted";
    }
}

}  // namespace
}  // namespace tellumic
