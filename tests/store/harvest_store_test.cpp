// tellumic-log harvest --store: the built tool on an installation made by the built lns-sim,
// into each back-end: the store gets exactly the CSV files' records, and a store that fails
// costs no CSV record and is caught up by the next harvest.

#include <sys/wait.h>
#include <unistd.h>

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

class HarvestStoreFixture : public ::testing::Test
{
protected:
    void setUpSite(Backend backend)
    {
        m_url = testStoreUrl(backend, home.root());
        if (m_url.empty())
            GTEST_SKIP() << backendSkipReason(backend);
        ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 3 >/dev/null"), 0);
        ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    }
    int shell(const std::string &cmd) const
    {
        const int raw = std::system(("cd '" + home.root().string() + "' && " + cmd).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    // asUser: a command line (setpriv ...) that runs the tool as another user.
    ToolRun harvest(const std::string &url, const std::string &asUser = "",
                    const std::string &tool = TELLUMIC_LOG_TOOL) const
    {
        ToolRun r;
        r.status = shell(asUser + "'" + tool + "' harvest Site --json --store '" + url + "' >tool.out 2>&1");
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

class HarvestStoreTest : public HarvestStoreFixture, public ::testing::WithParamInterface<Backend>
{
protected:
    void SetUp() override { setUpSite(GetParam()); }
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

// A meter's file stored by hand after a harvest stored it is the same meter: without
// --network the store's meter of that name takes it, nothing is added twice, and daily energy
// counts each interval once. A file the store cannot place is refused.
TEST_P(HarvestStoreTest, StoringAHarvestedFileByHandKeepsOneMeter)
{
    const ToolRun first = harvest(m_url);
    ASSERT_EQ(first.status, 0) << first.out;
    const auto store = openRecordStore(m_url);
    const auto energy = [&] { return store->queryText("SELECT SUM(energy_kwh), SUM(intervals) FROM daily_energy"); };
    const auto before = energy();
    test::writeFile(home.programFolder() / "Elsewhere-log-full-2026.csv", test::readFile(logs().front()));
    ASSERT_EQ(shell("cd Plug-In && '" TELLUMIC_LOG_TOOL "' store *.csv --store '" + m_url + "' >store.out 2>&1"), 1);
    const std::string out = test::readFile(home.programFolder() / "store.out");
    EXPECT_NE(out.find("Elsewhere-log-full-2026.csv: the record store has no meter \"Elsewhere\" yet"),
              std::string::npos) << out;
    for (const auto &file : logs()) {
        if (file.filename().string().starts_with("Elsewhere"))
            continue;
        const MeterInfo meter = meterOfLogFile(file, "Site");
        const auto meters = store->meters(meter.key.name);
        ASSERT_EQ(meters.size(), 1u) << file;
        EXPECT_EQ(meters[0].key.network, "Site");
        EXPECT_EQ(meters[0].neuronId.size(), 12u);
    }
    EXPECT_EQ(energy(), before);
    EXPECT_EQ(store->queryText("SELECT COUNT(*) FROM meters").at(0).at(0), "3");
    // The harvest goes on with the same meters.
    const ToolRun second = harvest(m_url);
    ASSERT_EQ(second.status, 0) << second.out;
    EXPECT_EQ(store->queryText("SELECT COUNT(*) FROM meters").at(0).at(0), "3");
}

INSTANTIATE_TEST_SUITE_P(Backends, HarvestStoreTest, ::testing::ValuesIn(allBackends()),
                         [](const auto &info) { return backendName(info.param); });

// The ways a store fails during a harvest.
enum class Failure {
    NotAFolder,     // the SQLite file's folder is a file
    ReadOnlyFile,   // the SQLite file may not be written
    ServerStopped,  // the PostgreSQL server is down
    WrongPassword,  // the site's role gives a wrong password
};

struct FailureCase
{
    const char *name;
    Backend backend;
    Failure failure;
    const char *says;  // in the store's error per meter
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class HarvestStoreFailureTest : public HarvestStoreFixture, public ::testing::WithParamInterface<FailureCase>
{
protected:
    void SetUp() override { setUpSite(GetParam().backend); }

    // Makes the failure; gives the URL the failing harvest uses and sets m_url to the one
    // that works again once undoFailure() ran.
    std::string makeFailure()
    {
        switch (GetParam().failure) {
        case Failure::NotAFolder:
            test::writeFile(home.root() / "not-a-folder", "x");
            return "sqlite:" + (home.root() / "not-a-folder" / "records.sqlite").string();
        case Failure::ReadOnlyFile:
            openRecordStore(m_url);
            std::filesystem::permissions(m_url.substr(7), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::group_read |
                                                              std::filesystem::perms::others_read);
            runAsUnprivileged();
            return m_url;
        case Failure::ServerStopped:
            test::PostgresServer::instance()->stop();
            return m_url;
        case Failure::WrongPassword: {
            auto *server = test::PostgresServer::instance();
            openRecordStore(m_url);  // the owner makes the schema
            const std::string role = "harvest_site";
            m_url = server->addPasswordRole(m_url, role, "right-8Hk");
            for (const auto &grant : readmeSiteGrants(role))
                server->runAsSuperuser(m_url, grant);
            return m_url.substr(0, m_url.rfind("right-8Hk")) + "wrong";
        }
        }
        return {};
    }

    void undoFailure()
    {
        if (GetParam().failure == Failure::ReadOnlyFile)
            std::filesystem::permissions(m_url.substr(7), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        if (GetParam().failure == Failure::ServerStopped)
            test::PostgresServer::instance()->start();
    }

    // Root writes any file: as root, the failing harvest runs as the unprivileged user, who
    // then owns the home, from a copy of the tool it may reach (the build tree may be private).
    void runAsUnprivileged()
    {
        if (::geteuid() != 0)
            return;
        const auto tool = home.root() / "tellumic-log";
        std::filesystem::copy_file(TELLUMIC_LOG_TOOL, tool);
        ASSERT_EQ(shell("chown -R 65534:65534 . && chmod o+x ."), 0);
        m_asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        m_tool = tool.string();
    }

    std::string m_asUser;
    std::string m_tool = TELLUMIC_LOG_TOOL;
};

// A failing store costs no CSV record: the harvest downloads and appends as always, reports
// the store's failure per meter, ends with exit 1, and the next harvest catches the store up.
TEST_P(HarvestStoreFailureTest, KeepsEveryCsvRecordExitsOneAndIsCaughtUpNextTime)
{
    const std::string broken = makeFailure();
    const ToolRun failed = harvest(broken, m_asUser, m_tool);
    undoFailure();
    EXPECT_EQ(failed.status, 1) << failed.out;
    EXPECT_NE(failed.out.find("\"outcome\":\"harvested\""), std::string::npos) << failed.out;
    EXPECT_EQ(failed.out.find("\"storeError\":null"), std::string::npos) << failed.out;
    EXPECT_NE(failed.out.find(GetParam().says), std::string::npos) << failed.out;
    const auto files = logs();
    ASSERT_EQ(files.size(), 3u);
    for (const auto &file : files)
        EXPECT_GT(std::filesystem::file_size(file), 10000u);

    const ToolRun next = harvest(m_url);
    ASSERT_EQ(next.status, 0) << next.out;
    expectStoreHoldsTheFiles();
}

INSTANTIATE_TEST_SUITE_P(Failures, HarvestStoreFailureTest,
                         ::testing::Values(FailureCase{"sqlite_not_a_folder", Backend::Sqlite, Failure::NotAFolder,
                                                       "cannot open the record store"},
                                           FailureCase{"sqlite_read_only_file", Backend::Sqlite, Failure::ReadOnlyFile,
                                                       "readonly database"},
                                           FailureCase{"postgresql_server_stopped", Backend::Postgresql,
                                                       Failure::ServerStopped, "cannot connect to the record store"},
                                           FailureCase{"postgresql_wrong_password", Backend::Postgresql,
                                                       Failure::WrongPassword, "password authentication failed"}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tellumic::store
