// The built tellumic-log's store and export commands, run as a user runs them.

#include <gtest/gtest.h>

#include "log/log_csv.h"
#include "store/record_store.h"
#include "tests/store/store_backends.h"
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
        // Stores that would keep nothing, or be other than the file named.
        {"store '" + path.string() + "' --store sqlite::memory:", 1, "an in-memory database keeps no record"},
        {"store '" + path.string() + "' --store 'sqlite:file:x.sqlite?mode=memory'", 1, "URI forms"},
        {"store '" + path.string() + "' --store 'sqlite:file:sub/x.sqlite'", 1, "URI forms"},
        {"store '" + path.string() + "' --store 'sqlite://host/x.sqlite'", 1, "URI forms"},
        {"store '" + path.string() + "' --store 'sqlite:x.sqlite?mode=ro'", 1, "URI parameters are not taken"},
        {"store '" + path.string() + "' --store 'sqlite:sub/'", 1, "names a folder"},
        {"store '" + path.string() + "' --store 'sqlite:missing/deeper/x.sqlite'", 1, "there is no folder missing/deeper"},
        {"store '" + path.string() + "' --store 'postgresql:host'", 1, "cannot connect to the record store: missing \"=\" after"},
    };
    for (const Row &row : rows) {
        const auto run = test::runCommand("cd '" + home.root().string() + "' && " + tool() + " " + row.args + " 2>&1");
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.out;
        EXPECT_NE(run.out.find(row.says), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(" records, "), std::string::npos) << run.out;
    }
    // No folder was made for a refused or unopened store.
    for (const char *folder : {"file:", "file:sub", "sub", "missing"})
        EXPECT_FALSE(std::filesystem::exists(home.root() / folder)) << folder;
}

// A file that gives no record of a CSV log is no stored log: the load says so, stores
// nothing of it (no meter either) and ends with status 1, beside a file that is stored.
TEST_F(StoreToolTest, AFileOfNoCsvLogLinesFailsAndStoresNothing)
{
    const auto good = writeLog(1, 10, true);
    std::string lfOnly = test::readFile(good);
    for (std::size_t at; (at = lfOnly.find("\r\n")) != std::string::npos;)
        lfOnly.replace(at, 2, "\n");
    struct Row
    {
        const char *name;
        std::string text;
        const char *says;
    };
    const Row rows[] = {
        {"every line unreadable", "not,a,log\r\n\r\n<html>\r\n", "no line is a record of a CSV log (3 unreadable lines)"},
        {"header and unreadable lines", std::string(logCsvHeader(false)) + "\r\n1;2;3\r\n",
         "no line is a record of a CSV log (1 unreadable lines)"},
        {"lines ending in LF only", lfOnly, "no line ends in CR LF"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto bad = home.programFolder() / "Hall 2-log-full-2011.csv";
        test::writeFile(bad, row.text);
        const auto run = test::runCommand(tool() + " store '" + bad.string() + "' '" + good.string() + "' --store '" +
                                          url() + "' --network Plant 2>&1");
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_NE(run.out.find("tellumic-log store: " + bad.string() + ": " + row.says), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Hall 1-log-full-2011.csv: "), std::string::npos) << run.out;
        const auto exported = test::runCommand(tool() + " export --store '" + url() + "' --meter 'Hall 2' 2>&1");
        EXPECT_NE(exported.out.find("has no meter \"Hall 2\""), std::string::npos) << exported.out;
    }
}

// A PostgreSQL store's failure while it takes a file names the file.
TEST_F(StoreToolTest, AFailureWhileStoringAFileNamesTheFile)
{
    const auto path = writeLog(1, 10, true);
    auto *server = test::PostgresServer::instance();
    if (!server)
        GTEST_SKIP() << test::PostgresServer::skipReason();
    const std::string owner = server->newDatabaseUrl();
    store::openRecordStore(owner);  // the owner makes the schema; the reader may only read
    const std::string reader = server->addPasswordRole(owner, "reader", "read-8Hk");
    server->runAsSuperuser(owner, "GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader");
    const std::vector<std::string> urls = {reader};
    for (const auto &u : urls) {
        SCOPED_TRACE(u);
        const auto run = test::runCommand(tool() + " store '" + path.string() + "' --store '" + u + "' --network P 2>&1");
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_NE(run.out.find("tellumic-log store: " + path.string() + ": record store"), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace tellumic
