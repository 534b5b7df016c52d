// The built tellumic-log's store and export commands, run as a user runs them.

#include <gtest/gtest.h>

#include "log/log_csv.h"
#include "tests/log/record_bytes.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

std::string tool()
{
    return TELLUMIC_LOG_TOOL;
}

class StoreToolTest : public test::HomeTest
{
protected:
    std::filesystem::path writeLog(std::int32_t first, std::int32_t count, bool header)
    {
        std::vector<LogRecord> records;
        for (std::int32_t n = first; n < first + count; ++n) {
            LogRecord r = test::sampleRecord(n, false);
            r.crcGood = n % 10 != 3;
            records.push_back(r);
            if (r.crcGood)
                m_good += FormatLogDataCsv(r, false, false) + "\r\n";
        }
        std::string text;
        appendLogDataCsv(text, header, records, false, false, false);
        const auto path = home.programFolder() / "Hall 1-log-full-2011.csv";
        test::writeFile(path, test::readFile(path) + text);
        return path;
    }

    std::string url() const { return "sqlite:" + (home.root() / "site.sqlite").string(); }
    std::string m_good;
};

TEST_F(StoreToolTest, StoredLogsExportAsTheSameLinesAndLoadingAgainAddsNothing)
{
    const auto path = writeLog(1, 100, true);
    const std::string store = tool() + " store '" + path.string() + "' --store '" + url() + "' --network Plant";
    auto run = test::runCommand(store);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("90 records, 90 added, 10 failed their check"), std::string::npos) << run.out;
    run = test::runCommand(store);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Hall 1-log-full-2011.csv: nothing new since the last load"), std::string::npos) << run.out;
    // The file grew: only its new lines are read.
    writeLog(101, 20, false);
    run = test::runCommand(store);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("18 records, 18 added, 2 failed their check"), std::string::npos) << run.out;

    const auto exported = test::runCommand(tool() + " export --store '" + url() + "' --meter 'Hall 1'");
    ASSERT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, std::string(logCsvHeader(false)) + "\r\n" + m_good);

    // A bounded export: records 4 (01:00) up to 8 (02:00), record 3 failed its check.
    const auto part = test::runCommand(tool() + " export --store '" + url() +
                                       "' --meter 'Hall 1' --network Plant --from '2011-01-01 01:00:00' --to "
                                       "'2011-01-01 02:00:00' | tail -n +3 | cut -d, -f1");
    EXPECT_EQ(part.out, "4\n5\n6\n7\n");
}

TEST_F(StoreToolTest, BadUrlsAndUnknownMetersAreRefusedWithAReason)
{
    const auto path = writeLog(1, 10, true);
    struct Row
    {
        std::string args;
        int status;
        std::string says;
    };
    const Row rows[] = {
        {"store '" + path.string() + "' --store mysql://db", 1, "is not a record store URL"},
        {"store '" + path.string() + "'", 2, "--store URL is required"},
        {"export --store '" + url() + "' --meter Nobody", 1, "has no meter \"Nobody\""},
        {"export --store '" + url() + "' --meter X --from yesterday", 2, "a TIME must be"},
        {"store /nonexistent/records.csv --store '" + url() + "'", 1, "is not the name of a CSV log"},
    };
    for (const Row &row : rows) {
        const auto run = test::runCommand(tool() + " " + row.args + " 2>&1");
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.out;
        EXPECT_NE(run.out.find(row.says), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace tellumic
