// The store's views on both back-ends: daily energy counted as the log viewer counts it (a
// record closes its interval, so a day's last interval ends at the next midnight), typed
// columns, the newest record per meter, and a store of schema 1 brought to schema 2.

#include <cmath>

#include <gtest/gtest.h>

#include "logview/log_csv_reader.h"
#include "logview/log_data.h"
#include "store/csv_loader.h"
#include "store/record_columns.h"
#include "tests/log/record_bytes.h"
#include "tests/store/store_backends.h"
#include "tests/support/temp_home.h"

namespace tellumic::store {
namespace {

// The time `minutes` after 2026-04-04 00:00 (within April).
LogDateTime aprilTime(int minutes)
{
    return {2026, 4, static_cast<std::uint8_t>(4 + minutes / 1440), static_cast<std::uint8_t>(minutes / 60 % 24),
            static_cast<std::uint8_t>(minutes % 60), 0};
}

LogRecord recordAt(std::int32_t n, int minutes, std::int32_t energyTenths, std::uint8_t flags = 0)
{
    LogRecord r = test::sampleRecord(n, false);
    r.crcGood = true;
    r.dateTime = aprilTime(minutes);
    r.energySum = energyTenths;
    r.flags = flags;
    return r;
}

// Every 15 minutes from 2026-04-04 00:00 to 2026-04-06 00:00, 0.1 kWh an interval, and
// 100 kWh more in the interval the 2026-04-05 00:00 record closes (the 4th's last).
std::vector<LogRecord> midnightJump()
{
    std::vector<LogRecord> records;
    for (int i = 0; i <= 2 * 96; ++i)
        records.push_back(recordAt(i + 1, i * 15, 50000 + i + (i >= 96 ? 1000 : 0)));
    return records;
}

// Three days of records at 5 past each quarter hour (the midnight intervals belong to no
// day), with a reset (the register falls), a record that set the clock, and records missing.
std::vector<LogRecord> roughDays()
{
    std::vector<LogRecord> records;
    std::int32_t energy = 70000;
    for (int i = 0; i < 3 * 96; ++i) {
        energy += 1 + i % 7;
        if (i == 130)
            energy = 10;  // reset
        if (i >= 200 && i < 210)
            continue;  // missing
        records.push_back(recordAt(i + 1, 5 + i * 15, energy, i == 150 ? LogFlag::kClockChange : 0));
    }
    return records;
}

class StoreViewsTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        m_url = testStoreUrl(GetParam(), home.root());
        if (m_url.empty())
            GTEST_SKIP() << backendSkipReason(GetParam());
        m_store = openRecordStore(m_url);
    }

    std::filesystem::path load(const std::string &name, const std::vector<LogRecord> &records)
    {
        std::string text;
        appendLogDataCsv(text, true, records, false, false, false);
        const auto path = home.programFolder() / (name + "-log-full-2026.csv");
        test::writeFile(path, text);
        loadLogFile(*m_store, meterOfLogFile(path, "Plant"), path, false);
        return path;
    }

    std::vector<std::vector<std::string>> daily(const std::string &name)
    {
        return m_store->queryText("SELECT day, energy_kwh, intervals FROM daily_energy WHERE device_name = '" + name +
                                  "' ORDER BY day");
    }

    // Turns the store back into one of schema 1, as the first version of the program made it.
    void makeSchemaOne()
    {
        const bool pg = GetParam() == Backend::Postgresql;
        const std::string day = pg ? "to_char(record_time, 'YYYY-MM-DD')" : "substr(record_time, 1, 10)";
        const std::string statements[] = {
            "DROP VIEW daily_energy",
            "DROP VIEW last_records",
            "ALTER TABLE meter_files DROP COLUMN stored_digest",
            "CREATE VIEW daily_energy AS\n"
            "  SELECT m.network, m.device_name, m.record_format, d.meter_id, d.day,\n"
            "         SUM(d.delta) / 10.0 AS energy_kwh, COUNT(*) AS intervals\n"
            "  FROM (SELECT meter_id, " + day + " AS day,\n"
            "               energy_sum - LAG(energy_sum) OVER (PARTITION BY meter_id\n"
            "                                                ORDER BY record_time, record_number) AS delta\n"
            "        FROM interval_records) d JOIN meters m USING (meter_id)\n"
            "  GROUP BY m.network, m.device_name, m.record_format, d.meter_id, d.day",
            pg ? "CREATE VIEW last_records AS\n"
                 "  SELECT DISTINCT ON (r.meter_id) m.network, m.device_name, m.record_format, r.*\n"
                 "  FROM interval_records r JOIN meters m USING (meter_id)\n"
                 "  ORDER BY r.meter_id, r.record_time DESC, r.record_number DESC"
               : "CREATE VIEW last_records AS\n"
                 "  SELECT m.network, m.device_name, m.record_format, r.*\n"
                 "  FROM meters m JOIN interval_records r ON r.meter_id = m.meter_id\n"
                 "   AND (r.record_time, r.record_number) =\n"
                 "       (SELECT record_time, record_number FROM interval_records n WHERE n.meter_id = m.meter_id\n"
                 "        ORDER BY record_time DESC, record_number DESC LIMIT 1)",
            "DELETE FROM schema_version",
            "INSERT INTO schema_version VALUES (1)",
        };
        for (const auto &sql : statements)
            m_store->queryText(sql);
        // The first views dated a midnight interval by its record.
        auto rows = daily("Jump");
        for (auto &row : rows)
            row[1] = std::to_string(std::lround(std::stod(row[1]) * 10));
        const std::vector<std::vector<std::string>> old = {
            {"2026-04-04", "95", "96"}, {"2026-04-05", "1096", "96"}, {"2026-04-06", "1", "1"}};
        ASSERT_EQ(rows, old);
    }

    test::TempHome home;
    std::string m_url;
    std::unique_ptr<RecordStore> m_store;
};

TEST_P(StoreViewsTest, ADaysLastIntervalEndsAtTheNextMidnightAndTheFirstRecordIsNoInterval)
{
    load("Jump", midnightJump());
    load("Other", roughDays());  // another meter's records change nothing
    const auto rows = daily("Jump");
    const std::vector<std::vector<std::string>> want = {{"2026-04-04", "109.6", "96"}, {"2026-04-05", "9.6", "96"}};
    EXPECT_EQ(rows, want);
}

// The store's days are the viewer's: the same days, each with the same energy.
TEST_P(StoreViewsTest, DailyEnergyIsTheViewersOnTheSameFile)
{
    for (const auto &[name, records] : {std::pair{"Jump", midnightJump()}, std::pair{"Rough", roughDays()}}) {
        SCOPED_TRACE(name);
        const auto path = load(name, records);
        logview::LogCsvReader reader;
        ASSERT_TRUE(reader.feed(test::readFile(path))) << reader.error();
        const auto viewer = logview::buildLogData(reader.raw(), reader.report()).dailyEnergy;
        const auto rows = daily(name);
        ASSERT_EQ(rows.size(), viewer.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i][0], logview::formatCivilDate(viewer[i].start));
            EXPECT_NEAR(std::stod(rows[i][1]), viewer[i].kwh, 1e-9) << rows[i][0];
        }
    }
}

// Days are dates and energies exact decimals where the back-end has them; a sum over many
// meters keeps every tenth.
TEST_P(StoreViewsTest, ColumnsAreTypedAndSumsExact)
{
    // 12345.7 kWh an interval: sums of seven digits and more, which a single float rounds.
    std::vector<LogRecord> big = midnightJump();
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i].energySum = 1'000'000'000 + static_cast<std::int32_t>(i) * 123457 + (i >= 96 ? 1000 : 0);
    load("Big1", big);
    load("Big2", big);
    const bool pg = GetParam() == Backend::Postgresql;
    const auto types = m_store->queryText(pg ? "SELECT pg_typeof(day)::text, pg_typeof(energy_kwh)::text,"
                                               " pg_typeof(intervals)::text FROM daily_energy LIMIT 1"
                                             : "SELECT typeof(day), typeof(energy_kwh), typeof(intervals)"
                                               " FROM daily_energy LIMIT 1");
    ASSERT_EQ(types.size(), 1u);
    const std::vector<std::string> want = pg ? std::vector<std::string>{"date", "numeric", "bigint"}
                                             : std::vector<std::string>{"text", "real", "integer"};
    EXPECT_EQ(types[0], want);
    const auto total = m_store->queryText("SELECT SUM(energy_kwh) FROM daily_energy WHERE network = 'Plant'");
    EXPECT_EQ(total.at(0).at(0), "4740948.8");  // 2 x (96 x 12345.7 + 100 + 96 x 12345.7)
    const auto last = m_store->queryText("SELECT device_name, record_number, record_time FROM last_records"
                                         " ORDER BY device_name");
    const std::vector<std::vector<std::string>> lastWant = {{"Big1", "193", "2026-04-06 00:00:00"},
                                                            {"Big2", "193", "2026-04-06 00:00:00"}};
    EXPECT_EQ(last, lastWant);
}

// A store of schema 1 (records, files stored without a digest, the first views) is brought to
// schema 2 when opened: the views count days as the viewer does, and each file is read whole
// once, adding nothing.
TEST_P(StoreViewsTest, AStoreOfSchemaOneIsBroughtToSchemaTwo)
{
    const auto path = load("Jump", midnightJump());
    makeSchemaOne();
    m_store.reset();
    m_store = openRecordStore(m_url);
    EXPECT_EQ(m_store->queryText("SELECT MAX(version) FROM schema_version").at(0).at(0), "2");
    const std::vector<std::vector<std::string>> want = {{"2026-04-04", "109.6", "96"}, {"2026-04-05", "9.6", "96"}};
    EXPECT_EQ(daily("Jump"), want);
    const MeterInfo meter = meterOfLogFile(path, "Plant");
    const LoadResult again = loadLogFile(*m_store, meter, path, false);
    EXPECT_TRUE(again.fromStart);
    EXPECT_EQ(again.added, 0);
    EXPECT_TRUE(loadLogFile(*m_store, meter, path, false).upToDate);
    EXPECT_EQ(m_store->recordCount(meter.key), 193);
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreViewsTest, ::testing::ValuesIn(allBackends()),
                         [](const auto &info) { return backendName(info.param); });

}  // namespace
}  // namespace tellumic::store
