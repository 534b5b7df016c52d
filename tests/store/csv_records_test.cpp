// CSV log lines read back into the values they show: every line a download writes gives its
// values back exactly; anything else is told apart and counted.

#include <cmath>

#include <gtest/gtest.h>

#include "store/csv_records.h"
#include "tests/store/random_records.h"

namespace tellumic::store {
namespace {

TEST(CsvRecords, EveryWrittenLineReadsBackToItsValuesAndTheSameLine)
{
    std::mt19937 rng(2025);
    using test::randomRecord;
    for (const bool isShort : {false, true}) {
        for (std::int32_t n = 1; n <= 20000; ++n) {
            const LogRecord r = randomRecord(rng, n);
            const std::string line = FormatLogDataCsv(r, isShort, false);
            LogCsvValues v;
            ASSERT_EQ(readLogCsvLine(line, isShort, v), LineKind::Record) << line;
            EXPECT_EQ(logCsvLine(v, isShort), line);
            EXPECT_EQ(v.recordNumber, r.recordNumber);
            EXPECT_EQ(v.dateTime, r.dateTime);
            EXPECT_EQ(v.energySum, r.energySum);
            EXPECT_EQ(v.flags, r.flags);
            EXPECT_EQ(v.logSeconds, r.logSeconds);
            if (!isShort) {
                EXPECT_EQ(v.energy, r.energy);
                EXPECT_EQ(v.reacEnergySum, r.reacEnergySum);
                EXPECT_EQ(std::isnan(v.frequency), !std::isfinite(r.frequency)) << line;
            }
        }
    }
}

TEST(CsvRecords, LinesWithoutValuesAreCountedByKind)
{
    struct Row
    {
        const char *line;
        bool isShort;
        LineKind kind;
    };
    const std::string longNoValues(35, ',');
    const std::string good = "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. ";
    const std::string crc = ",,,,,,,,,,,,CRC mismatch. ";
    const std::string keptBad = good + "CRC mismatch. ";
    const std::string type2 = ",,,,,,,,,,,,Unrecognized log record type: 2";
    const std::string longCrc = longNoValues + "CRC mismatch. ";
    const std::string parseError = ",,,,,,,,,,,,Error parsing log record: 6,Overflow";
    const std::string badDate = "1201,2011-02-30 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. ";
    const std::string wrongNotes = "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Power failed. ";
    const std::string extraDigit = "1201,2011-03-05 12:15:00,10000.00,1000.00,900,1,,,,,,1,Reset. Power failed. ";
    const std::string longInShort = longCrc;
    const Row rows[] = {
        {good.c_str(), true, LineKind::Record},
        {crc.c_str(), true, LineKind::Failed},
        {keptBad.c_str(), true, LineKind::Failed},
        {type2.c_str(), true, LineKind::Unrecognised},
        {longCrc.c_str(), false, LineKind::Failed},
        {parseError.c_str(), true, LineKind::Unreadable},
        {badDate.c_str(), true, LineKind::Unreadable},
        {wrongNotes.c_str(), true, LineKind::Unreadable},
        {extraDigit.c_str(), true, LineKind::Unreadable},
        {longInShort.c_str(), true, LineKind::Unreadable},
        {good.c_str(), false, LineKind::Unreadable},
        {"", true, LineKind::Unreadable},
        {"RecordNum,DateTime,EnergySum,Demand,LogSeconds,PowerFail,ClockChange,CalChange,CfgChange,Online,Error,"
         "Reset,Notes",
         true, LineKind::Header},
    };
    for (const Row &row : rows) {
        LogCsvValues v;
        EXPECT_EQ(readLogCsvLine(row.line, row.isShort, v), row.kind) << row.line;
    }
}

TEST(CsvRecords, ALastLineWithoutItsEndIsLeftForLater)
{
    const std::string good = "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. \r\n";
    const std::string text = std::string(logCsvHeader(true)) + "\r\n" + good + good.substr(0, 20);
    RecordBatch batch;
    EXPECT_EQ(readLogCsvText(text, true, batch), text.size() - 20);
    EXPECT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.unreadable, 0);
}

TEST(CsvRecords, FileNamesGiveTheDeviceAndFormat)
{
    struct Row
    {
        const char *file;
        bool ok;
        const char *device;
        bool isShort;
    };
    const Row rows[] = {
        {"Meter1-log-full-2026.csv", true, "Meter1", false},
        {"Meter1-log-short-2026.csv", true, "Meter1", true},
        {"Hall%2FWest-log-full-2026.csv", true, "Hall/West", false},
        {"a-log-full-b-log-short-2026.csv", true, "a-log-full-b", true},
        {"records.csv", false, "", false},
        {"-log-full-2026.csv", false, "", false},
    };
    for (const Row &row : rows) {
        std::string device;
        bool isShort = !row.isShort;
        EXPECT_EQ(parseLogFileName(row.file, device, isShort), row.ok) << row.file;
        if (row.ok) {
            EXPECT_EQ(device, row.device);
            EXPECT_EQ(isShort, row.isShort) << row.file;
        }
    }
}

}  // namespace
}  // namespace tellumic::store
