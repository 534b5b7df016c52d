// The backfill of a meter's CSV log on the simulated LNS, in this process with the manual
// clock: a file with records removed and records that failed their check ends as the clean
// download of the same meter, and what the meter no longer holds is reported lost for good.

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/harvest.h"
#include "log/log_backfill.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "sim/installation.h"
#include "sim/logging_site.h"
#include "sim/models/meter_state.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

const std::string kMeter = "Site-Meter-01";

struct SilentReport final : HarvestReport
{
    void planned(const std::string &, const std::vector<MeterPlan> &) override {}
    void started(const MeterProgress &) override {}
    void progress(const MeterProgress &) override {}
    void finished(const MeterResult &r) override { outcome = r.outcome; }
    void networkMessage(const std::string &, const std::string &) override {}
    HarvestOutcome outcome = HarvestOutcome::Failed;
};

// The lines of a log, each with its line end.
std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t eol = text.find("\r\n", at);
        const std::size_t end = eol == std::string::npos ? text.size() : eol + 2;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

class BackfillTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        sim::createLoggingNetwork(lonWorks, "Site", 1);
    }

    sim::SimOptions options()
    {
        sim::SimOptions o;
        o.clock = &home.clock;
        return o;
    }

    // The meter's whole log as a harvest of a meter without a file downloads it.
    std::string download()
    {
        // The name of this year's file: the clock may pass into another year later on.
        m_csv = programFolder() / GetLogFilename(kMeter, false);
        std::filesystem::remove(csv());
        sim::SimObjectServer server(lonWorks, options());
        SilentReport report;
        HarvestOptions o;
        o.meters = {kMeter};
        harvestNetwork(server, "Site", o, report, {});
        EXPECT_EQ(report.outcome, HarvestOutcome::Harvested);
        return test::readFile(csv());
    }

    BackfillResult backfill()
    {
        sim::SimObjectServer server(lonWorks, options());
        server.SetBooleanOption(false);
        server.Open();
        auto network = server.Networks().Item("Site");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        for (const auto &subsystem : system->Subsystems())
            for (const auto &device : subsystem->AppDevices())
                if (device->Name() == kMeter)
                    return backfillLogFile(*system, device, csv(), false);
        ADD_FAILURE() << "no device " << kMeter;
        return {};
    }

    void setBadCrcEvery(int n)
    {
        sim::SimControl control(lonWorks);
        control.setDeviceValue(control.device(kMeter).id, sim::kFaultBadCrcKey, std::to_string(n));
    }

    // Writes the log without the record lines at the given indexes (0: the first record line).
    void writeWithout(const std::string &text, const std::vector<std::size_t> &removed)
    {
        const auto lines = linesOf(text);
        std::string out = lines[0] + lines[1];
        for (std::size_t i = 2; i < lines.size(); ++i)
            if (std::find(removed.begin(), removed.end(), i - 2) == removed.end())
                out += lines[i];
        test::writeFile(csv(), out);
    }

    const std::filesystem::path &csv() const { return m_csv; }

    std::filesystem::path lonWorks;
    std::filesystem::path m_csv;
};

TEST_F(BackfillTest, PlantedGapsAndFailedChecksEndAsTheCleanDownload)
{
    const std::string clean = download();
    ASSERT_EQ(auditLogCsv(clean).records, static_cast<std::size_t>(sim::siteLog(0).records));

    setBadCrcEvery(7);
    const std::string withCrc = download();
    setBadCrcEvery(0);
    const LogAudit planted = auditLogCsv(withCrc);
    ASSERT_GT(planted.lost.size(), 10u);
    // Records removed: a run, a single one, and one beside a line that failed its check.
    std::vector<std::size_t> removed = {30, 31, 32, 33, 50};
    for (const LostLine &l : planted.lost)
        if (l.line - 3 > 60 && l.line - 3 < 90) {
            removed.push_back(l.line - 3 + 1);
            break;
        }
    writeWithout(withCrc, removed);

    const BackfillResult r = backfill();
    EXPECT_FALSE(r.noFile);
    EXPECT_TRUE(r.rewritten);
    EXPECT_FALSE(r.before.complete());
    EXPECT_TRUE(r.lostForGood.empty());
    EXPECT_EQ(r.notSent, 0);
    EXPECT_EQ(r.counts.stillFailed, 0u);
    EXPECT_TRUE(r.after.complete());
    EXPECT_EQ(test::readFile(csv()), clean);

    // A complete file is left as it is: nothing is asked of the meter.
    const BackfillResult again = backfill();
    EXPECT_FALSE(again.rewritten);
    EXPECT_TRUE(again.asked.empty());
}

TEST_F(BackfillTest, RecordsOlderThanTheOldestAreLostForGoodAndNewRecordsStillFollowTheLast)
{
    const sim::SiteLog site = sim::siteLog(0);
    const std::string clean = download();
    // The meter logs on until its log has dropped the file's first ten records.
    home.clock.advance(std::chrono::minutes(site.minutes) * (24192 - site.records + 10));
    writeWithout(clean, {2, 3, 4, 40, 41});

    const BackfillResult r = backfill();
    const std::int64_t first = site.firstRecord;
    EXPECT_EQ(r.lostForGood, (std::vector<RecordRange>{{first + 2, first + 4}}));
    EXPECT_EQ(r.asked, (std::vector<RecordRange>{{first + 40, first + 41}}));
    EXPECT_EQ(r.counts.filled, 2u);
    EXPECT_EQ(r.after.missing, (std::vector<RecordRange>{{first + 2, first + 4}}));
    // Only the lost records differ from the clean download; nothing was added after its last.
    std::string expected;
    const auto lines = linesOf(clean);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (i < 4 || i > 6)
            expected += lines[i];
    EXPECT_EQ(test::readFile(csv()), expected);
    LogDateTime at;
    EXPECT_EQ(FindLastLogRecnum(csv(), at), first + site.records - 1);
}

TEST_F(BackfillTest, ABusyFileIsNotTouched)
{
    const std::string clean = download();
    writeWithout(clean, {10});
    const auto lock = takeLogFileLock(csv());
    EXPECT_THROW(backfill(), LogBusyError);
    EXPECT_NE(test::readFile(csv()), clean);
}

}  // namespace
}  // namespace tellumic
