// The record store's back-ends: loading CSV logs, catching up with a growing file, reading
// records back as the same lines, the views, and URLs that are refused.

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "store/csv_loader.h"
#include "store/csv_records.h"
#include "store/record_columns.h"
#include "tests/log/record_bytes.h"
#include "tests/store/random_records.h"
#include "tests/store/store_backends.h"
#include "tests/support/temp_home.h"

namespace tellumic::store {
namespace {

// Records 1..count of a plausible long or short log, one every 15 minutes from 2011-01-01,
// with the faults a download writes: record 5 failed its check, record 9 is of type 4.
std::vector<LogRecord> sampleRecords(std::int32_t first, std::int32_t count, bool isShort)
{
    std::vector<LogRecord> records;
    for (std::int32_t n = first; n < first + count; ++n) {
        LogRecord r = test::sampleRecord(n, isShort);
        r.crcGood = n % 10 != 5;
        if (n % 10 == 9)
            r.recordType = 4;
        if (!isShort && n % 7 == 0)
            r.power[1] = std::nanf("");
        records.push_back(r);
    }
    return records;
}

std::string csvText(const std::vector<LogRecord> &records, bool isShort, bool header, bool keepBad = false)
{
    std::string text;
    appendLogDataCsv(text, header, records, isShort, false, keepBad);
    return text;
}

// The lines of the records that passed their check, as the file has them.
std::vector<std::string> goodLines(const std::vector<LogRecord> &records, bool isShort)
{
    std::vector<std::string> lines;
    for (const LogRecord &r : records)
        if (r.recordType == kLogRecordType && r.crcGood)
            lines.push_back(FormatLogDataCsv(r, isShort, false));
    return lines;
}

// Whether two records hold the same values, bit for bit (any NaN equals any NaN).
bool sameValues(const LogCsvValues &a, const LogCsvValues &b, bool isShort)
{
    if (a.recordNumber != b.recordNumber || !(a.dateTime == b.dateTime))
        return false;
    std::vector<double> va, vb;
    const auto collect = [isShort](std::vector<double> &out) {
        return [&out, isShort](std::string_view, const auto &field, bool longOnly) {
            if (longOnly && isShort)
                return;
            using T = std::remove_cvref_t<decltype(field)>;
            if constexpr (std::is_same_v<T, float>)
                out.push_back(std::isnan(field) ? -1e300 : static_cast<double>(field) + (std::signbit(field) ? -0.0 : 0.0));
            else
                out.push_back(static_cast<double>(field));
        };
    };
    forEachValueColumn(a, collect(va));
    forEachValueColumn(b, collect(vb));
    return va == vb;
}

class RecordStoreTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        m_url = testStoreUrl(GetParam(), home.root());
        if (m_url.empty())
            GTEST_SKIP() << backendSkipReason(GetParam());
        m_store = openRecordStore(m_url);
    }

    std::filesystem::path writeLog(const std::string &name, bool isShort, const std::string &text)
    {
        const auto path = home.programFolder() / (name + (isShort ? "-log-short-2011.csv" : "-log-full-2011.csv"));
        test::writeFile(path, text);
        return path;
    }

    test::TempHome home;
    std::string m_url;
    std::unique_ptr<RecordStore> m_store;
};

TEST_P(RecordStoreTest, StoresEveryGoodRecordFieldByFieldAndGivesBackTheSameLines)
{
    for (const bool isShort : {false, true}) {
        SCOPED_TRACE(isShort ? "short" : "long");
        const auto records = sampleRecords(1, 200, isShort);
        std::string text = csvText(records, isShort, true);
        // A download that kept the bad records' values: counted as failed, not stored.
        text += csvText(sampleRecords(205, 1, isShort), isShort, false, true);
        const auto path = writeLog("Meter1", isShort, text);
        MeterInfo meter = meterOfLogFile(path, "Site A");
        meter.neuronId = "04A1B2C3D4E5";
        ASSERT_EQ(meter.key.isShort, isShort);

        const LoadResult loaded = loadLogFile(*m_store, meter, path, true);
        const auto lines = goodLines(records, isShort);
        EXPECT_EQ(loaded.added, static_cast<std::int64_t>(lines.size()));
        EXPECT_EQ(loaded.failed, 20 + 1);
        EXPECT_EQ(loaded.unrecognised, 20);
        EXPECT_EQ(loaded.unreadable, 0);
        EXPECT_EQ(m_store->recordCount(meter.key), static_cast<std::int64_t>(lines.size()));

        const auto stored = m_store->records({meter.key, "", ""});
        ASSERT_EQ(stored.size(), lines.size());
        std::size_t i = 0;
        for (const LogRecord &r : records) {
            if (r.recordType != kLogRecordType || !r.crcGood)
                continue;
            LogCsvValues expected;
            ASSERT_EQ(readLogCsvLine(lines[i], isShort, expected), LineKind::Record);
            EXPECT_TRUE(sameValues(stored[i], expected, isShort)) << lines[i];
            EXPECT_EQ(stored[i].energySum, r.energySum);
            EXPECT_EQ(stored[i].dateTime, r.dateTime);
            EXPECT_EQ(logCsvLine(stored[i], isShort), lines[i]);
            ++i;
        }
        const auto meters = m_store->meters("Meter1");
        ASSERT_FALSE(meters.empty());
        EXPECT_EQ(meters.back().neuronId, "04A1B2C3D4E5");
    }
}

TEST_P(RecordStoreTest, ValuesOfEveryMagnitudeAndSignComeBackAsTheSameLines)
{
    std::mt19937 rng(7);
    std::vector<LogRecord> records;
    for (std::int32_t n = 1; n <= 3000; ++n)
        records.push_back(test::randomRecord(rng, n));
    const auto path = writeLog("Meter9", false, csvText(records, false, true));
    const MeterInfo meter = meterOfLogFile(path, "");
    EXPECT_EQ(loadLogFile(*m_store, meter, path, true).added, 3000);
    const auto stored = m_store->records({meter.key, "", ""});
    ASSERT_EQ(stored.size(), records.size());
    std::vector<std::string> want, got;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        want.push_back(FormatLogDataCsv(records[i], false, false));
        got.push_back(logCsvLine(stored[i], false));
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
}

TEST_P(RecordStoreTest, LoadingAFileAgainAddsNothingAndCountsNothingTwice)
{
    const auto path = writeLog("Meter2", false, csvText(sampleRecords(1, 100, false), false, true));
    const MeterInfo meter = meterOfLogFile(path, "Site A");
    const LoadResult first = loadLogFile(*m_store, meter, path, true);
    EXPECT_EQ(first.added, 80);
    for (const bool whole : {true, false}) {
        const LoadResult again = loadLogFile(*m_store, meter, path, whole);
        EXPECT_EQ(again.added, 0);
    }
    const FileState state = m_store->fileState(meter.key, path.filename().string());
    EXPECT_EQ(state.failed, 10);
    EXPECT_EQ(state.unrecognised, 10);
    EXPECT_EQ(state.storedBytes, static_cast<std::int64_t>(std::filesystem::file_size(path)));
    EXPECT_EQ(m_store->recordCount(meter.key), 80);
}

// A file that holds records twice (a download appended again) into a store that has none of
// the meter's records yet, and into one that has some: each record is stored once.
TEST_P(RecordStoreTest, RecordsAFileHoldsTwiceAreStoredOnce)
{
    const auto records = sampleRecords(1, 30, false);
    const std::string twice = csvText(records, false, true) + csvText(sampleRecords(11, 10, false), false, false);
    const auto path = writeLog("Meter6", false, twice);
    const MeterInfo meter = meterOfLogFile(path, "");
    EXPECT_EQ(loadLogFile(*m_store, meter, path, false).added, 24);
    EXPECT_EQ(m_store->recordCount(meter.key), 24);

    test::writeFile(path, test::readFile(path) + csvText(sampleRecords(31, 10, false), false, false) +
                              csvText(sampleRecords(31, 10, false), false, false));
    EXPECT_EQ(loadLogFile(*m_store, meter, path, false).added, 8);
    EXPECT_EQ(m_store->records({meter.key, "", ""}).size(), 32u);
}

// Several files at once, each read beside the store taking the one before: a file that
// cannot be read stops none of the others, and a file named twice in a row is read the second
// time only once the first is stored, so nothing is counted twice.
TEST_P(RecordStoreTest, LoadingSeveralFilesGivesEachItsOwnOutcomeInOrder)
{
    const auto grown = writeLog("Grown", false, csvText(sampleRecords(1, 20, false), false, true));
    const MeterInfo grownMeter = meterOfLogFile(grown, "");
    loadLogFile(*m_store, grownMeter, grown, false);
    test::writeFile(grown, test::readFile(grown) + csvText(sampleRecords(21, 20, false), false, false));
    const auto other = writeLog("Other", true, csvText(sampleRecords(1, 10, true), true, true));
    const auto unreadable = home.programFolder() / "Folder-log-full-2011.csv";
    std::filesystem::create_directories(unreadable);

    const std::vector<MeterFile> files = {
        {grownMeter, grown}, {grownMeter, grown}, {meterOfLogFile(unreadable, ""), unreadable},
        {meterOfLogFile(other, ""), other}, {grownMeter, grown}};
    struct Outcome
    {
        std::int64_t records = -1, added = -1;
        bool upToDate = false;
        bool failed = false;
    };
    std::vector<Outcome> got;
    loadLogFiles(*m_store, files, false, [&](std::size_t i, const LoadResult &r, const std::string &error) {
        EXPECT_EQ(i, got.size());
        got.push_back({r.records, r.added, r.upToDate, !error.empty()});
    });
    const Outcome want[] = {{16, 16, false, false}, {0, 0, true, false}, {-1, -1, false, true},
                            {8, 8, false, false}, {0, 0, true, false}};
    ASSERT_EQ(got.size(), std::size(want));
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].failed, want[i].failed);
        if (want[i].failed)
            continue;
        EXPECT_EQ(got[i].records, want[i].records);
        EXPECT_EQ(got[i].added, want[i].added);
        EXPECT_EQ(got[i].upToDate, want[i].upToDate);
    }
    const FileState state = m_store->fileState(grownMeter.key, grown.filename().string());
    EXPECT_EQ(state.failed, 4);
    EXPECT_EQ(state.unrecognised, 4);
    EXPECT_EQ(m_store->recordCount(grownMeter.key), 32);
}

TEST_P(RecordStoreTest, CatchingUpReadsOnlyWhatTheFileGainedAndAWholeNewFileFromItsStart)
{
    const auto path = writeLog("Meter3", false, csvText(sampleRecords(1, 50, false), false, true));
    const MeterInfo meter = meterOfLogFile(path, "");
    EXPECT_EQ(loadLogFile(*m_store, meter, path, false).added, 40);

    // The next download appends, and a cut line at the end waits for its end.
    const std::string more = csvText(sampleRecords(51, 30, false), false, false);
    test::writeFile(path, test::readFile(path) + more + "81,2011-01-");
    const LoadResult next = loadLogFile(*m_store, meter, path, false);
    EXPECT_FALSE(next.fromStart);
    EXPECT_EQ(next.records, 24);
    EXPECT_EQ(next.added, 24);
    FileState state = m_store->fileState(meter.key, path.filename().string());
    EXPECT_EQ(state.failed, 5 + 3);
    EXPECT_EQ(state.storedBytes, static_cast<std::int64_t>(std::filesystem::file_size(path)) - 11);

    // The file was replaced by a shorter one: read from its start, its counts replace the old.
    test::writeFile(path, csvText(sampleRecords(101, 10, false), false, true));
    const LoadResult replaced = loadLogFile(*m_store, meter, path, false);
    EXPECT_TRUE(replaced.fromStart);
    EXPECT_EQ(replaced.added, 8);
    state = m_store->fileState(meter.key, path.filename().string());
    EXPECT_EQ(state.failed, 1);
    EXPECT_EQ(m_store->recordCount(meter.key), 40 + 24 + 8);
}

// A gap filled in the middle of a stored file (a line put in where a record was missing) makes
// the file one that no longer begins with what was stored, even when the put-in line is as
// long as the file's last line, so that the old byte count falls on a line end again: the
// file is read whole, and the filled record is stored.
TEST_P(RecordStoreTest, AFileRewrittenInTheMiddleWithALineOfTheSameLengthIsReadWhole)
{
    const auto records = sampleRecords(1, 40, false);
    std::vector<LogRecord> withGap = records;
    withGap.erase(withGap.begin() + 19);  // record 20
    const auto path = writeLog("Filled", false, csvText(withGap, false, true));
    const MeterInfo meter = meterOfLogFile(path, "Site A");
    const auto lines = goodLines(records, false);
    EXPECT_EQ(loadLogFile(*m_store, meter, path, false).added, static_cast<std::int64_t>(lines.size()) - 1);
    const std::int64_t stored = m_store->fileState(meter.key, path.filename().string()).storedBytes;

    const std::string filled = csvText(records, false, true);
    test::writeFile(path, filled);
    // The fixture is the hard case: the old count lands just after a line end.
    ASSERT_EQ(FormatLogDataCsv(records[19], false, false).size(), FormatLogDataCsv(records[39], false, false).size());
    ASSERT_EQ(filled.substr(static_cast<std::size_t>(stored) - 2, 2), "\r\n");
    const LoadResult again = loadLogFile(*m_store, meter, path, false);
    EXPECT_TRUE(again.fromStart);
    EXPECT_EQ(again.added, 1);
    EXPECT_EQ(m_store->recordCount(meter.key), static_cast<std::int64_t>(lines.size()));
    const FileState state = m_store->fileState(meter.key, path.filename().string());
    EXPECT_EQ(state.storedBytes, static_cast<std::int64_t>(filled.size()));
    EXPECT_EQ(state.failed, 4);  // counted once: the whole file's counts replaced the old
    EXPECT_TRUE(loadLogFile(*m_store, meter, path, false).upToDate);

    // A line changed in place, the file's length kept: read whole as well.
    std::string changed = filled;
    const std::size_t at = changed.find("\r\n10,") + 2;
    changed[at + 1] = '1';  // record 10 becomes a second record 11
    test::writeFile(path, changed);
    const LoadResult rewritten = loadLogFile(*m_store, meter, path, false);
    EXPECT_FALSE(rewritten.upToDate);
    EXPECT_TRUE(rewritten.fromStart);
}

// A meter is told by its Neuron ID: moved to another network under another name, it stays one
// meter; a meter of another Neuron ID under a stored meter's name, or a Neuron ID that two
// stored meters could be, is refused and changes nothing.
TEST_P(RecordStoreTest, AMeterIsToldByItsNeuronId)
{
    const auto first = writeLog("Meter7", false, csvText(sampleRecords(1, 30, false), false, true));
    MeterInfo meter = meterOfLogFile(first, "Site A");
    meter.neuronId = "04A1B2C3D4E5";
    EXPECT_EQ(loadLogFile(*m_store, meter, first, false).added, 24);

    const auto moved = writeLog("Hall 7", false, csvText(sampleRecords(31, 20, false), false, true));
    MeterInfo renamed = meterOfLogFile(moved, "Site B");
    renamed.neuronId = meter.neuronId;
    EXPECT_EQ(loadLogFile(*m_store, renamed, moved, false).added, 16);
    EXPECT_TRUE(m_store->meters("Meter7").empty());
    ASSERT_EQ(m_store->meters("Hall 7").size(), 1u);
    EXPECT_EQ(m_store->meters("Hall 7")[0].key.network, "Site B");
    EXPECT_EQ(m_store->recordCount(renamed.key), 40);

    struct Row
    {
        const char *name;
        std::string network, neuronId;
        const char *says;
    };
    const Row rows[] = {
        {"another meter in its place", "Site B", "04FFFFFFFFFF", "put in another's place"},
        {"a name the Neuron ID's meter does not have", "Site C", "04A1B2C3D4E5", "cannot tell which one"},
    };
    // A meter of Site C stored without a Neuron ID, under the name the last row gives.
    const auto other = writeLog("Hall 7b", false, csvText(sampleRecords(1, 10, false), false, true));
    MeterInfo siteC = meterOfLogFile(other, "Site C");
    loadLogFile(*m_store, siteC, other, false);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        MeterInfo m = row.network == "Site C" ? siteC : renamed;
        m.neuronId = row.neuronId;
        const auto path = row.network == "Site C" ? other : moved;
        test::writeFile(path, test::readFile(path) + csvText(sampleRecords(60, 10, false), false, false));
        try {
            loadLogFile(*m_store, m, path, false);
            ADD_FAILURE() << "stored";
        } catch (const StoreError &e) {
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(m_store->recordCount(renamed.key), 40);
    EXPECT_EQ(m_store->recordCount(siteC.key), 8);
    EXPECT_EQ(m_store->queryText("SELECT COUNT(*) FROM meters").at(0).at(0), "2");
}

TEST_P(RecordStoreTest, RecordsOfATimeRangeComeOldestFirst)
{
    const auto path = writeLog("Meter4", true, csvText(sampleRecords(1, 40, true), true, true));
    const MeterInfo meter = meterOfLogFile(path, "");
    loadLogFile(*m_store, meter, path, true);
    // Records 4 (01:00) to 11 (02:45); record 5 and 9 are not stored.
    const auto part = m_store->records({meter.key, "2011-01-01 01:00:00", "2011-01-01 03:00:00"});
    std::vector<std::int32_t> numbers;
    for (const auto &r : part)
        numbers.push_back(r.recordNumber);
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{4, 6, 7, 8, 10, 11}));
}

TEST_P(RecordStoreTest, ViewsGiveDailyEnergyAndTheLastRecordPerMeter)
{
    // 96 intervals a day; the energy register rises by 0.3 kWh an interval.
    const auto path = writeLog("Meter5", false, csvText(sampleRecords(1, 200, false), false, true));
    const MeterInfo meter = meterOfLogFile(path, "Site B");
    loadLogFile(*m_store, meter, path, true);
    const auto daily = m_store->queryText(
        "SELECT day, energy_kwh FROM daily_energy WHERE device_name = 'Meter5' ORDER BY day");
    ASSERT_EQ(daily.size(), 3u);
    EXPECT_EQ(daily[0][0], "2011-01-01");
    // Sums of the intervals begun that day: day 1 runs from record 1 (00:15) to record 96
    // (the next day's 00:00, which closes its last interval), day 2 to record 192, day 3 to
    // record 200.
    EXPECT_NEAR(std::stod(daily[0][1]), (96 - 1) * 0.3, 1e-9);
    EXPECT_EQ(daily[1][0], "2011-01-02");
    EXPECT_NEAR(std::stod(daily[1][1]), (192 - 96) * 0.3, 1e-9);
    EXPECT_NEAR(std::stod(daily[2][1]), (200 - 192) * 0.3, 1e-9);
    const auto last = m_store->queryText(
        "SELECT record_number, energy_sum FROM last_records WHERE device_name = 'Meter5'");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0][0], "200");
    EXPECT_EQ(last[0][1], std::to_string(100000 + 200 * 3));
}

TEST(RecordStoreUrl, BadUrlsAreRefusedWithTheirReason)
{
    test::TempHome home;
    const auto notAFolder = home.root() / "file";
    test::writeFile(notAFolder, "x");
    struct Row
    {
        std::string url;
        std::string says;
    };
    const Row rows[] = {
        {"", "is not a record store URL"},
        {"records.sqlite", "is not a record store URL"},
        {"mysql://host/db", "is not a record store URL"},
        {"postgresql:///records?host=" + (home.root() / "no-server").string(), "cannot connect to the record store"},
        {"postgresql://localhost/records?colour=blue", "cannot connect to the record store: invalid URI query parameter"},
        {"sqlite:" + (notAFolder / "records.sqlite").string(), "cannot open the record store"},
    };
    for (const Row &row : rows) {
        try {
            openRecordStore(row.url);
            ADD_FAILURE() << row.url << " was accepted";
        } catch (const StoreError &e) {
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
        }
    }
}

TEST(RecordStoreUrl, AStoreOfALaterSchemaIsRefused)
{
    test::TempHome home;
    const std::string path = (home.root() / "records.sqlite").string();
    openRecordStore("sqlite:" + path);
    {
        SQLite::Database db(path, SQLite::OPEN_READWRITE);
        db.exec("UPDATE schema_version SET version = 7");
    }
    try {
        openRecordStore("sqlite:" + path);
        ADD_FAILURE() << "a later schema was accepted";
    } catch (const StoreError &e) {
        EXPECT_NE(std::string(e.what()).find("schema 7"), std::string::npos) << e.what();
    }
}

TEST(RecordStoreUrl, TheDefaultIsAnSqliteFileInTheProgramFolder)
{
    test::TempHome home;
    openRecordStore("sqlite:");
    EXPECT_TRUE(std::filesystem::exists(home.programFolder() / "records.sqlite"));
}

TEST(PostgresStore, AServerThatStoppedFailsTheStoreWhichKeepsNothingHalfDone)
{
    auto *server = test::PostgresServer::instance();
    if (!server)
        GTEST_SKIP() << test::PostgresServer::skipReason();
    test::TempHome home;
    const std::string url = server->newDatabaseUrl();
    std::vector<LogRecord> records;
    for (std::int32_t n = 1; n <= 20; ++n) {
        records.push_back(test::sampleRecord(n, false));
        records.back().crcGood = true;
    }
    std::string text;
    appendLogDataCsv(text, true, records, false, false, false);
    const auto path = home.programFolder() / "M-log-full-2011.csv";
    test::writeFile(path, text);
    const MeterInfo meter = meterOfLogFile(path, "");
    {
        auto store = openRecordStore(url);
        server->stop();
        EXPECT_THROW(loadLogFile(*store, meter, path, false), StoreError);
        EXPECT_THROW(openRecordStore(url), StoreError);
        server->start();
    }
    auto store = openRecordStore(url);
    EXPECT_EQ(loadLogFile(*store, meter, path, false).added, 20);
}

// A site's role with exactly the README's grants on a store its owner made: it stores a new
// meter, catches up with a grown file and reads its records, but may not change or delete a
// stored record, and without its password it is not let in.
TEST(PostgresStore, ASiteRoleWithTheReadmesGrantsStoresAndCatchesUpButChangesNoRecord)
{
    auto *server = test::PostgresServer::instance();
    if (!server)
        GTEST_SKIP() << test::PostgresServer::skipReason();
    test::TempHome home;
    const std::string ownerUrl = server->newDatabaseUrl();
    openRecordStore(ownerUrl);
    const std::string siteUrl = server->addPasswordRole(ownerUrl, "grants_site", "pass-7Qz");
    const auto grants = readmeSiteGrants("grants_site");
    ASSERT_GE(grants.size(), 2u);
    for (const auto &grant : grants)
        server->runAsSuperuser(ownerUrl, grant);

    const auto path = home.programFolder() / "Hall-log-full-2011.csv";
    test::writeFile(path, csvText(sampleRecords(1, 30, false), false, true));
    MeterInfo meter = meterOfLogFile(path, "Site A");
    meter.neuronId = "04A1B2C3D4E5";
    auto store = openRecordStore(siteUrl);
    EXPECT_EQ(loadLogFile(*store, meter, path, false).added, 24);
    test::writeFile(path, test::readFile(path) + csvText(sampleRecords(31, 10, false), false, false));
    meter.model = "TMC-FT-Log";
    const LoadResult next = loadLogFile(*store, meter, path, false);
    EXPECT_FALSE(next.fromStart);
    EXPECT_EQ(next.added, 8);
    EXPECT_EQ(loadLogFile(*store, meter, path, true).added, 0);
    EXPECT_EQ(store->records({meter.key, "", ""}).size(), 32u);
    EXPECT_EQ(store->meters("Hall").at(0).model, "TMC-FT-Log");

    for (const char *change : {"UPDATE interval_records SET demand = 0", "DELETE FROM interval_records"}) {
        try {
            store->queryText(change);
            ADD_FAILURE() << change << " was allowed";
        } catch (const StoreError &e) {
            EXPECT_NE(std::string(e.what()).find("permission denied"), std::string::npos) << e.what();
        }
    }
    try {
        openRecordStore(siteUrl.substr(0, siteUrl.rfind("pass-7Qz")) + "wrong");
        ADD_FAILURE() << "a wrong password was let in";
    } catch (const StoreError &e) {
        EXPECT_NE(std::string(e.what()).find("password authentication failed"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, RecordStoreTest, ::testing::ValuesIn(allBackends()),
                         [](const auto &info) { return backendName(info.param); });

}  // namespace
}  // namespace tellumic::store
