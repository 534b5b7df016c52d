// The harvest of a network's logging meters on the simulated LNS, in this process with the
// manual clock: what lands in the files, and what happens when a meter, a file or the
// network is not available.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/harvest.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "sim/installation.h"
#include "sim/logging_site.h"
#include "sim/models/meter_state.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/log/harvest_fixture.h"
#include "tests/log/recording_window.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

TEST_F(HarvestTest, FirstHarvestTakesEachWholeLogAndTheNextOnlyWhatIsNew)
{
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    ASSERT_EQ(report.results.size(), static_cast<std::size_t>(kSiteMeters));
    std::vector<std::int64_t> lastRecord;
    for (int n = 0; n < kSiteMeters; ++n) {
        const sim::SiteLog log = sim::siteLog(n);
        const MeterResult &r = report.results[static_cast<std::size_t>(n)];
        EXPECT_EQ(r.outcome, HarvestOutcome::Harvested) << r.error;
        EXPECT_EQ(r.records, log.records);
        EXPECT_EQ(r.bytes, log.records * 86);
        EXPECT_EQ(r.first.recordNumber, log.firstRecord);
        EXPECT_EQ(r.last.recordNumber, log.firstRecord + log.records - 1);
        EXPECT_EQ(recordNumbers(file(n)), range(log.firstRecord, log.firstRecord + log.records - 1)) << n;
        lastRecord.push_back(r.last.recordNumber);
    }
    EXPECT_GT(report.progressEvents, 0);

    // Three hours on, the meters logging every 15, 30 and 60 minutes closed 12, 6 and 3 records.
    home.clock.advance(std::chrono::hours(3));
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    const std::int64_t added[] = {12, 6, 3};
    for (int n = 0; n < kSiteMeters; ++n) {
        const MeterResult &r = report.results[static_cast<std::size_t>(n)];
        EXPECT_EQ(r.records, added[n]) << n;
        EXPECT_EQ(r.first.recordNumber, lastRecord[static_cast<std::size_t>(n)] + 1);
        const sim::SiteLog log = sim::siteLog(n);
        EXPECT_EQ(recordNumbers(file(n)), range(log.firstRecord, r.last.recordNumber)) << "no gap, no repeat";
    }

    // Nothing new: nothing appended.
    const std::string before = file(0);
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    EXPECT_EQ(report.results[0].records, 0);
    EXPECT_EQ(report.results[0].outcome, HarvestOutcome::Harvested);
    EXPECT_EQ(file(0), before);
}

// A write cut short (a crash, a kill, a power cut) leaves a last line without its line end.
// The next harvest cuts it off, takes the last whole line as the file's end and fetches the
// cut record again, and says so; nothing is fused to the torn line.
TEST_F(HarvestTest, ATornLastLineIsCutOffAndItsRecordFetchedAgain)
{
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    const std::int64_t last = report.results[0].last.recordNumber;
    const std::string whole = file(0);
    const std::size_t tornAt = whole.size() - 40;  // the number and date of the last record stay
    test::writeFile(csv(meterName(0)), whole.substr(0, tornAt));

    home.clock.advance(std::chrono::hours(1));
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    const MeterResult &r = report.of(meterName(0));
    EXPECT_EQ(r.outcome, HarvestOutcome::Harvested) << r.error;
    EXPECT_EQ(r.first.recordNumber, last);
    EXPECT_EQ(recordNumbers(file(0)), range(sim::siteLog(0).firstRecord, r.last.recordNumber));
    const std::size_t cut = tornAt - (whole.rfind("\r\n", whole.size() - 3) + 2);
    EXPECT_NE(std::find(r.notes.begin(), r.notes.end(),
                        "The last line of " + r.file + " had no line end (a write was cut short); its " +
                            std::to_string(cut) + " bytes were removed and its record is read again"),
              r.notes.end())
        << ::testing::PrintToString(r.notes);
}

// A meter that stops answering half-way leaves its file as it was; the others are harvested.
TEST_F(HarvestTest, MeterFailingHalfWayLeavesItsFileWhole)
{
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    home.clock.advance(std::chrono::hours(24));
    const std::string before = file(1);
    setLogFault(meterName(1), "500");  // the day's 48 records are 4128 bytes
    ASSERT_EQ(harvest(), HarvestStatus::kSomeFailed);
    const MeterResult &failed = report.of(meterName(1));
    EXPECT_EQ(failed.outcome, HarvestOutcome::Failed);
    EXPECT_TRUE(failed.error.starts_with("Error retrieving log data: ")) << failed.error;
    EXPECT_NE(failed.error.find("stopped answering after 500"), std::string::npos) << failed.error;
    EXPECT_EQ(file(1), before);
    for (const int n : {0, 2}) {
        EXPECT_EQ(report.of(meterName(n)).outcome, HarvestOutcome::Harvested);
        EXPECT_GT(report.of(meterName(n)).records, 0);
    }

    // Once it answers again, the next harvest brings everything that was missing.
    setLogFault(meterName(1), "");
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    EXPECT_EQ(report.of(meterName(1)).records, 48);
    EXPECT_EQ(report.of(meterName(0)).records, 0);
    const sim::SiteLog log = sim::siteLog(1);
    EXPECT_EQ(recordNumbers(file(1)), range(log.firstRecord, log.firstRecord + log.records + 47));
}

// Another download holding the meter or the file: the harvest skips that meter and says why.
struct BusyCase
{
    const char *name;
    const char *says;
    std::shared_ptr<void> (*hold)(const std::filesystem::path &csv, lns::AppDevice &meter);
};

void PrintTo(const BusyCase &c, std::ostream *os)
{
    *os << c.name;
}

class HarvestBusy : public HarvestTest, public ::testing::WithParamInterface<BusyCase>
{
};

TEST_P(HarvestBusy, MeterIsSkippedAndItsFileLeftAlone)
{
    const auto other = sim::test::openSession(lonWorks, "Site", &home.clock);
    auto meter = other.meter(meterName(0));
    auto held = GetParam().hold(csv(meterName(0)), *meter);
    ASSERT_TRUE(held);
    const std::string before = file(0);

    ASSERT_EQ(harvest(), HarvestStatus::kSomeFailed);
    const MeterResult &r = report.of(meterName(0));
    EXPECT_EQ(r.outcome, HarvestOutcome::Busy);
    EXPECT_NE(r.error.find(GetParam().says), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("(process " + std::to_string(::getpid()) + ")"), std::string::npos) << r.error;
    EXPECT_EQ(file(0), before);
    EXPECT_EQ(report.of(meterName(1)).outcome, HarvestOutcome::Harvested);

    held.reset();
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    EXPECT_EQ(report.of(meterName(0)).records, sim::siteLog(0).records);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, HarvestBusy,
    ::testing::Values(
        BusyCase{"LogFileOpen", "is busy: another download",
                 [](const std::filesystem::path &csv, lns::AppDevice &) -> std::shared_ptr<void> {
                     return LogCsvFile::open(csv);
                 }},
        BusyCase{"MeterBeingRead", "the meter Site-Meter-01 is busy",
                 [](const std::filesystem::path &, lns::AppDevice &meter) -> std::shared_ptr<void> {
                     return takeMeterDownloadLock(meter);
                 }}));

TEST_F(HarvestTest, SecondHarvestOfTheNetworkSaysSoAndEnds)
{
    auto running = FileLock::tryAcquire(harvestLockPath("Site"), "process 4242");
    ASSERT_TRUE(running);
    EXPECT_EQ(harvest(), HarvestStatus::kNotHarvested);
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.messages[0], "a harvest of this network is already running (process 4242)");
    EXPECT_TRUE(report.results.empty());
    EXPECT_FALSE(std::filesystem::exists(csv(meterName(0))));
    // Another network is not held up.
    EXPECT_EQ(harvest({}, "Demo"), HarvestStatus::kAllHarvested);
    running.reset();
    EXPECT_EQ(harvest(), HarvestStatus::kAllHarvested);
}

// A stop cancels the running transfer through the system, as "Cancel" does, and takes no
// further meter; every file stays as it was.
TEST_F(HarvestTest, StopCancelsTheRunningTransferAndLeavesEveryFileWhole)
{
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    home.clock.advance(std::chrono::hours(30));
    const std::string before[] = {file(0), file(1), file(2)};
    int asked = 0;
    ASSERT_EQ(harvest({}, "Site", [&] { return ++asked > 40; }), HarvestStatus::kSomeFailed);
    ASSERT_EQ(report.results.size(), 3u);
    EXPECT_EQ(report.results[0].outcome, HarvestOutcome::Cancelled);
    EXPECT_NE(report.results[0].error.find("cancelled"), std::string::npos) << report.results[0].error;
    for (const int n : {1, 2}) {
        EXPECT_EQ(report.results[static_cast<std::size_t>(n)].outcome, HarvestOutcome::Cancelled);
        EXPECT_EQ(report.results[static_cast<std::size_t>(n)].error, kStoppedBeforeMeter);
    }
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(file(n), before[n]) << n;
    EXPECT_FALSE(logFtpState().LogReading);
    EXPECT_FALSE(logFtpState().LogCancel);
    EXPECT_FALSE(std::filesystem::exists(logLockPath(csv(meterName(0))))) << "the locks went with the harvest";
}

// A meter's first harvest that stores nothing, because its meter stops answering or the
// harvest is stopped, leaves no file; nor is there one while the meter sends.
TEST_F(HarvestTest, FirstHarvestThatStoresNothingLeavesNoFile)
{
    setLogFault(meterName(1), "500");
    int present = 0, looks = 0;
    // Each meter's log is one chunk: the meter that sends is the one started last.
    const auto look = [&] {
        if (logFtpState().LogReading && !report.starts.empty() && std::filesystem::exists(csv(report.starts.back().name)))
            ++present;
        return ++looks < 0;
    };
    ASSERT_EQ(harvest({}, "Site", look), HarvestStatus::kSomeFailed);
    EXPECT_EQ(report.of(meterName(1)).outcome, HarvestOutcome::Failed);
    EXPECT_FALSE(std::filesystem::exists(csv(meterName(1))));
    EXPECT_TRUE(std::filesystem::exists(csv(meterName(2))));
    EXPECT_GT(looks, 20);
    EXPECT_EQ(present, 0) << "no log exists while its meter sends";

    setLogFault(meterName(1), "");
    int asked = 0;
    ASSERT_EQ(harvest({}, "Site", [&] { return ++asked > 10; }), HarvestStatus::kSomeFailed);
    EXPECT_EQ(report.of(meterName(1)).outcome, HarvestOutcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(csv(meterName(1))));
    EXPECT_FALSE(std::filesystem::exists(logLockPath(csv(meterName(1)))));
}

// A meter whose records come with failed checks or cut short: they are written as the
// Logging tab writes them, counted on its result with a note, and the run ends with one.
struct LosingCase
{
    const char *name;
    const std::string *faultKey;
    const char *value;
    const char *note;  // the note that counts them
    const char *lineNote;  // what their lines say
};
void PrintTo(const LosingCase &c, std::ostream *os)
{
    *os << c.name;
}

class HarvestLosingRecords : public HarvestTest, public ::testing::WithParamInterface<LosingCase>
{
};

TEST_P(HarvestLosingRecords, CountsThemAndEndsWithOne)
{
    const LosingCase &c = GetParam();
    sim::SimControl control(lonWorks);
    control.setDeviceValue(control.device(meterName(1)).id, *c.faultKey, c.value);
    ASSERT_EQ(harvest(), HarvestStatus::kSomeFailed);
    const MeterResult &r = report.of(meterName(1));
    EXPECT_EQ(r.outcome, HarvestOutcome::Harvested);
    const std::string text = file(1);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find(c.lineNote, at)) != std::string::npos; ++at)
        ++lines;
    ASSERT_GT(lines, 0u);
    EXPECT_EQ(r.lost.total(), lines);
    EXPECT_EQ(*c.faultKey == sim::kFaultBadCrcKey ? r.lost.failedCheck : r.lost.unrecognized, lines);
    const std::string note = std::to_string(lines) + c.note;
    EXPECT_NE(std::find(r.notes.begin(), r.notes.end(), note), r.notes.end()) << note;
    for (const int n : {0, 2}) {
        EXPECT_EQ(report.of(meterName(n)).outcome, HarvestOutcome::Harvested);
        EXPECT_EQ(report.of(meterName(n)).lost, LostRecords{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HarvestLosingRecords,
    ::testing::Values(LosingCase{"FailedChecks", &sim::kFaultBadCrcKey, "10",
                                 " records failed their check (CRC mismatch); written without values", "CRC mismatch. "},
                      LosingCase{"LastRecordCutShort", &sim::kFaultShortReadKey, "40",
                                 " record was of an unrecognised type and written without values",
                                 "Unrecognized log record type: 0"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(HarvestTest, TakesTheLoggingMetersOrTheNamedOnes)
{
    ASSERT_EQ(harvest({}, "Demo"), HarvestStatus::kAllHarvested);
    std::vector<std::string> names;
    for (const auto &r : report.results)
        names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"TMC-FT-Log-364", "TMC-FT-Log-PT-370"}));

    HarvestOptions named;
    named.meters = {"TMC-FT-362", "TMC-FT-Log-PT-370", "Absent"};
    ASSERT_EQ(harvest(named, "Demo"), HarvestStatus::kSomeFailed);
    ASSERT_EQ(report.results.size(), 2u) << "a name the network lacks is the caller's to report";
    EXPECT_EQ(report.results[0].outcome, HarvestOutcome::Failed);
    EXPECT_EQ(report.results[0].error, "not a logging meter (program ID 80B7E515008A0409)");
    EXPECT_EQ(report.results[1].outcome, HarvestOutcome::Harvested);

    EXPECT_EQ(harvest({}, "Nowhere"), HarvestStatus::kNotHarvested);
    ASSERT_EQ(report.messages.size(), 1u);
    EXPECT_TRUE(report.messages[0].starts_with("cannot open the network: ")) << report.messages[0];
}

TEST_F(HarvestTest, MeterThatIsNotOnlineFailsAndNoFileIsMade)
{
    sim::SimControl control(lonWorks);
    control.setCondition(control.device(meterName(2)).id, sim::DeviceCondition::Offline);
    ASSERT_EQ(harvest(), HarvestStatus::kSomeFailed);
    const MeterResult &r = report.of(meterName(2));
    EXPECT_EQ(r.outcome, HarvestOutcome::Failed);
    EXPECT_EQ(r.error, "the meter is not configured on-line (node state 6): its log cannot be read");
    EXPECT_FALSE(std::filesystem::exists(csv(meterName(2))));
    EXPECT_EQ(report.of(meterName(0)).outcome, HarvestOutcome::Harvested);
}

TEST_F(HarvestTest, DryRunTellsWhatWouldBeFetchedAndWritesNothing)
{
    HarvestOptions dry;
    dry.dryRun = true;
    ASSERT_EQ(harvest(dry), HarvestStatus::kAllHarvested);
    ASSERT_EQ(report.results.size(), static_cast<std::size_t>(kSiteMeters));
    for (int n = 0; n < kSiteMeters; ++n) {
        const MeterResult &r = report.results[static_cast<std::size_t>(n)];
        EXPECT_EQ(r.outcome, HarvestOutcome::DryRun);
        EXPECT_EQ(r.records, sim::siteLog(n).records);
        EXPECT_EQ(r.bytes, r.records * 86);
        EXPECT_NEAR(r.seconds, static_cast<double>(r.records) / 4.6 * 1.1, 1e-6);
        EXPECT_FALSE(std::filesystem::exists(csv(meterName(n))));
    }
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    home.clock.advance(std::chrono::hours(3));
    ASSERT_EQ(harvest(dry), HarvestStatus::kAllHarvested);
    EXPECT_EQ(report.results[0].records, 12);
}

// The harvest holds the meter and its file in another process, in the middle of its
// transfer; the Logging tab's download of the same meter is told and writes nothing, and
// the file holds the harvest's lines only.
TEST_F(HarvestTest, LoggingTabDownloadDuringAHarvestIsRefusedAndNothingInterleaves)
{
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        sim::SimOptions o;
        o.clock = &home.clock;
        bool paused = false;
        o.wait = [&](std::chrono::microseconds span) {
            // Half-way through the records, the harvest waits for the other download.
            if (!paused && logFtpState().LogReading && home.clock.now() - logFtpState().LogStartTime > std::chrono::seconds(10)) {
                paused = true;
                char c = 'h';
                if (::write(toParent[1], &c, 1) != 1 || ::read(toChild[0], &c, 1) != 1)
                    ::_exit(9);
            }
            home.clock.advance(span);
        };
        sim::SimObjectServer server(lonWorks, o);
        RecordingReport childReport;
        HarvestOptions one;
        one.meters = {meterName(0)};
        ::_exit(harvestNetwork(server, "Site", one, childReport, {}));
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);

    const auto session = sim::test::openSession(lonWorks, "Site", &home.clock);
    test::RecordingLogWindow window;
    ReadLogDataFtp(24392, *session.system, session.meter(meterName(0)), false, LogMode::kFullLog, {}, 0, false, window);
    EXPECT_EQ(window.percentComplete, "Failed");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Read Log");
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "Error retrieving log data: 70,Permission denied: the meter Site-Meter-01 is busy: another download (process " +
                  std::to_string(pid) + ") is reading its log");
    // And one that reached the file would find it held as well.
    home.dialogs.clearShown();
    EXPECT_FALSE(OpenLogFileForAppend(csv(meterName(0))));
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_NE(home.dialogs.shown()[0].text.find("is busy: another download (process " + std::to_string(pid) + ")"),
              std::string::npos)
        << home.dialogs.shown()[0].text;

    ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const sim::SiteLog log = sim::siteLog(0);
    EXPECT_EQ(recordNumbers(file(0)), range(log.firstRecord, log.firstRecord + log.records - 1));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        ::close(fd);
}

// The other way round: a harvest that comes while the Logging tab's download runs skips the
// meter, and the tab's download completes as if alone.
TEST_F(HarvestTest, HarvestDuringALoggingTabDownloadSkipsTheMeter)
{
    int harvestStatus = -1;
    sim::SimOptions o;
    o.clock = &home.clock;
    o.wait = [&](std::chrono::microseconds span) {
        if (harvestStatus < 0 && logFtpState().LogReading) {
            harvestStatus = test::runInChild([&] {
                HarvestOptions one;
                one.meters = {meterName(0)};
                RecordingReport childReport;
                sim::SimOptions co;
                co.clock = &home.clock;
                sim::SimObjectServer childServer(lonWorks, co);
                const int s = harvestNetwork(childServer, "Site", one, childReport, {});
                const bool busy = childReport.results.size() == 1 && childReport.results[0].outcome == HarvestOutcome::Busy;
                ::_exit(busy ? 40 + s : 99);
            });
        }
        home.clock.advance(span);
    };
    sim::SimObjectServer server(lonWorks, o);
    server.Open();
    auto net = server.Networks().Item("Site");
    net->Open();
    auto sys = net->Systems().Item(1);
    sys->Open();
    auto meter = sys->Subsystems().Item("Meters")->AppDevices().Item(meterName(0));
    test::RecordingLogWindow window;
    ReadLogDataFtp(24392, *sys, meter, false, LogMode::kFullLog, {}, 0, false, window);
    EXPECT_EQ(harvestStatus, 40 + HarvestStatus::kSomeFailed) << "the harvest found the meter busy";
    EXPECT_EQ(window.percentComplete, "Done");
    const sim::SiteLog log = sim::siteLog(0);
    EXPECT_EQ(recordNumbers(file(0)), range(log.firstRecord, log.firstRecord + log.records - 1));
}

}  // namespace
}  // namespace tellumic
