// tellumic-log harvest --store: the built tool on an installation made by the built lns-sim,
// into each back-end: the store gets exactly the CSV files' records, and a store that fails
// costs no CSV record and is caught up by the next harvest.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "store/csv_loader.h"
#include "store/csv_records.h"
#include "tests/store/store_backends.h"
#include "tests/support/temp_home.h"

namespace tellumic::store {
namespace {

struct ToolRun
{
    int status = -1;
    std::string out;
};

class HarvestStoreTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        m_url = testStoreUrl(GetParam(), home.root());
        if (m_url.empty())
            GTEST_SKIP() << backendSkipReason(GetParam());
        ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 3 >/dev/null"), 0);
        ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    }
    int shell(const std::string &cmd) const
    {
        const int raw = std::system(("cd '" + home.root().string() + "' && " + cmd).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    ToolRun harvest(const std::string &url) const
    {
        ToolRun r;
        r.status = shell("'" TELLUMIC_LOG_TOOL "' harvest Site --json --store '" + url + "' >tool.out 2>&1");
        r.out = test::readFile(home.root() / "tool.out");
        return r;
    }
    std::vector<std::filesystem::path> logs() const
    {
        std::vector<std::filesystem::path> out;
        for (const auto &e : std::filesystem::directory_iterator(home.programFolder()))
            if (e.path().extension() == ".csv")
                out.push_back(e.path());
        return out;
    }
    // Every meter's stored lines are its CSV file's good lines, in order, and nothing more.
    void expectStoreHoldsTheFiles()
    {
        const auto store = openRecordStore(m_url);
        const auto files = logs();
        ASSERT_EQ(files.size(), 3u);
        for (const auto &file : files) {
            const MeterInfo meter = meterOfLogFile(file, "Site");
            std::vector<std::string> want;
            const std::string text = test::readFile(file);
            for (std::size_t at = 0, eol; (eol = text.find("\r\n", at)) != std::string::npos; at = eol + 2) {
                LogCsvValues v;
                const std::string line = text.substr(at, eol - at);
                if (readLogCsvLine(line, false, v) == LineKind::Record)
                    want.push_back(line);
            }
            std::vector<std::string> got;
            for (const auto &r : store->records({meter.key, "", ""}))
                got.push_back(logCsvLine(r, false));
            EXPECT_GT(want.size(), 50u);
            EXPECT_EQ(got, want) << file;
            const auto meters = store->meters(meter.key.name);
            ASSERT_EQ(meters.size(), 1u);
            EXPECT_EQ(meters[0].neuronId.size(), 12u);
            EXPECT_FALSE(meters[0].model.empty());
        }
    }

    test::TempHome home;
    std::string m_url;
};

TEST_P(HarvestStoreTest, StoresExactlyTheRecordsOfTheCsvFilesAndThenOnlyNewOnes)
{
    const ToolRun first = harvest(m_url);
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("\"storeError\":null"), std::string::npos) << first.out;
    expectStoreHoldsTheFiles();
    const ToolRun second = harvest(m_url);
    ASSERT_EQ(second.status, 0) << second.out;
    expectStoreHoldsTheFiles();
}

TEST_P(HarvestStoreTest, AFailingStoreKeepsEveryCsvRecordExitsOneAndIsCaughtUpNextTime)
{
    std::string broken;
    if (GetParam() == Backend::Sqlite) {
        test::writeFile(home.root() / "not-a-folder", "x");
        broken = "sqlite:" + (home.root() / "not-a-folder" / "records.sqlite").string();
    } else {
        broken = m_url + "&password=wrong&user=nobody-here";
    }
    const ToolRun failed = harvest(broken);
    EXPECT_EQ(failed.status, 1) << failed.out;
    EXPECT_NE(failed.out.find("\"outcome\":\"harvested\""), std::string::npos) << failed.out;
    EXPECT_EQ(failed.out.find("\"storeError\":null"), std::string::npos) << failed.out;
    const auto files = logs();
    ASSERT_EQ(files.size(), 3u);
    for (const auto &file : files)
        EXPECT_GT(std::filesystem::file_size(file), 10000u);

    const ToolRun next = harvest(m_url);
    ASSERT_EQ(next.status, 0) << next.out;
    expectStoreHoldsTheFiles();
}

TEST_P(HarvestStoreTest, TwoNetworksHarvestedAtOnceIntoOneStoreLoseAndDuplicateNothing)
{
    ASSERT_EQ(shell(LNS_SIM " init --network Works --logging-meters 3 >/dev/null"), 0);
    // Two harvest processes (as two machines would run them) writing the same store at once.
    const std::string tool = "'" TELLUMIC_LOG_TOOL "' harvest --store '" + m_url + "' ";
    ASSERT_EQ(shell("(" + tool + "Site >a.out 2>&1 & " + tool + "Works >b.out 2>&1 & wait %1 && wait %2)"), 0)
        << test::readFile(home.root() / "a.out") << test::readFile(home.root() / "b.out");
    const auto store = openRecordStore(m_url);
    const auto files = logs();
    ASSERT_EQ(files.size(), 6u);
    for (const auto &file : files) {
        const bool works = file.filename().string().find("Works") != std::string::npos;
        const MeterInfo meter = meterOfLogFile(file, works ? "Works" : "Site");
        RecordBatch batch;
        readLogCsvText(test::readFile(file), false, batch);
        EXPECT_GT(batch.records.size(), 50u);
        EXPECT_EQ(store->recordCount(meter.key), static_cast<std::int64_t>(batch.records.size())) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, HarvestStoreTest, ::testing::ValuesIn(allBackends()),
                         [](const auto &info) { return backendName(info.param); });

}  // namespace
}  // namespace tellumic::store
