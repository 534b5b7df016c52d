// The harvest in chunks on the simulated LNS: what a stop part-way through a meter leaves, how
// the next harvest goes on from it, retries of a failing meter, and the run's time bound.

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "log/harvest_retry.h"
#include "log/log_transfer.h"
#include "log/new_records.h"
#include "tests/log/harvest_fixture.h"

namespace tellumic {
namespace {

using namespace std::chrono_literals;

class HarvestResumeTest : public HarvestTest
{
protected:
    // The files as an uninterrupted harvest at the clock's time t0 makes them: the files
    // there are moved aside, the harvest runs, and the ones moved aside come back.
    std::vector<std::string> referenceFiles(Clock::TimePoint t0, const HarvestOptions &options = {})
    {
        const auto aside = home.root() / "aside";
        std::filesystem::create_directories(aside);
        for (int n = 0; n < kSiteMeters; ++n)
            if (std::filesystem::exists(csv(meterName(n))))
                std::filesystem::rename(csv(meterName(n)), aside / csv(meterName(n)).filename());
        const auto now = home.clock.now();
        home.clock.set(t0);
        HarvestOptions whole = options;
        whole.chunkRecords = kMaxLogRecords;
        EXPECT_EQ(harvest(whole), HarvestStatus::kAllHarvested);
        home.clock.set(now);
        std::vector<std::string> files;
        for (int n = 0; n < kSiteMeters; ++n) {
            files.push_back(file(n));
            std::filesystem::remove(csv(meterName(n)));
            if (std::filesystem::exists(aside / csv(meterName(n)).filename()))
                std::filesystem::rename(aside / csv(meterName(n)).filename(), csv(meterName(n)));
        }
        return files;
    }
};

// Chunks of any size make the file that one request for everything makes, byte for byte.
class HarvestChunkSize : public HarvestResumeTest, public ::testing::WithParamInterface<std::int32_t>
{
};

TEST_P(HarvestChunkSize, FilesAreThoseOfOneRequest)
{
    const auto t0 = home.clock.now();
    HarvestOptions options;
    options.chunkRecords = GetParam();
    ASSERT_EQ(harvest(options), HarvestStatus::kAllHarvested);
    for (int n = 0; n < kSiteMeters; ++n) {
        const MeterResult &r = report.of(meterName(n));
        EXPECT_EQ(r.records, sim::siteLog(n).records) << n;
        EXPECT_EQ(r.tries, 1);
        EXPECT_EQ(r.left, 0);
    }
    const std::vector<std::string> chunked{file(0), file(1), file(2)};
    EXPECT_EQ(chunked, referenceFiles(t0));
}

INSTANTIATE_TEST_SUITE_P(Records, HarvestChunkSize, ::testing::Values(1, 7, 95, 96, 97, 383, kHarvestChunkRecords));

// A harvest stopped in the middle of a meter's third chunk, by SIGTERM (which cancels the
// running transfer) or SIGKILL (which ends the process at once): the file holds the first two
// chunks, whole, and the next harvest ends with the file an uninterrupted one makes.
struct StopCase
{
    const char *name;
    int signal;
};

void PrintTo(const StopCase &c, std::ostream *os)
{
    *os << c.name;
}

class HarvestStopped : public HarvestResumeTest, public ::testing::WithParamInterface<StopCase>
{
};

volatile std::sig_atomic_t g_stop = 0;
int g_ackFd = -1;

extern "C" void onTerm(int)
{
    g_stop = 1;
    const char c = 't';
    [[maybe_unused]] const auto n = ::write(g_ackFd, &c, 1);
}

constexpr std::int32_t kChunk = 40;
constexpr int kStopInChunk = 3;

// Runs the harvest of meter 2 in a child process that pauses in the transfer of its third
// chunk and tells the parent through toParent; it goes on once toChild gets a byte.
pid_t startPausingHarvest(const std::filesystem::path &lonWorks, ManualClock &clock, int toParent, int toChild, int ack)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    g_ackFd = ack;
    struct sigaction sa {};
    sa.sa_handler = onTerm;
    ::sigaction(SIGTERM, &sa, nullptr);
    sim::SimOptions o;
    o.clock = &clock;
    int chunks = 0;
    bool paused = false;
    Clock::TimePoint chunkStart{};
    o.wait = [&](std::chrono::microseconds span) {
        const LogFtpState &s = logFtpState();
        if (s.LogReading && s.LogStartTime != chunkStart) {
            chunkStart = s.LogStartTime;
            ++chunks;
        }
        if (!paused && chunks == kStopInChunk && clock.now() - chunkStart > 3s) {
            paused = true;
            char c = 'p';
            if (::write(toParent, &c, 1) != 1)
                ::_exit(9);
            while (::read(toChild, &c, 1) != 1)
                if (errno != EINTR)
                    ::_exit(9);
        }
        clock.advance(span);
    };
    sim::SimObjectServer server(lonWorks, o);
    RecordingReport childReport;
    HarvestOptions one;
    one.meters = {meterName(1)};
    one.chunkRecords = kChunk;
    const int status = harvestNetwork(server, "Site", one, childReport, [] { return g_stop != 0; });
    const bool cancelled = childReport.results.size() == 1 &&
                           childReport.results[0].outcome == HarvestOutcome::Cancelled &&
                           childReport.results[0].records == (kStopInChunk - 1) * kChunk;
    ::_exit(cancelled ? 40 + status : 99);
}

TEST_P(HarvestStopped, KeepsWholeChunksAndTheNextHarvestEndsAsAnUninterruptedOne)
{
    int toParent[2], toChild[2], ack[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(ack), 0);
    const pid_t pid = startPausingHarvest(lonWorks, home.clock, toParent[1], toChild[0], ack[1]);
    ASSERT_GT(pid, 0);
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    ASSERT_EQ(::kill(pid, GetParam().signal), 0);
    if (GetParam().signal == SIGTERM) {
        ASSERT_EQ(::read(ack[0], &c, 1), 1);  // the stop is seen before the transfer goes on
        ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1], ack[0], ack[1]})
        ::close(fd);
    if (GetParam().signal == SIGTERM)
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 40 + HarvestStatus::kSomeFailed) << status;
    else
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    const sim::SiteLog log = sim::siteLog(1);
    const std::int64_t kept = (kStopInChunk - 1) * kChunk;
    EXPECT_EQ(recordNumbers(file(1)), range(log.firstRecord, log.firstRecord + kept - 1));

    const auto t0 = home.clock.now();
    HarvestOptions one;
    one.meters = {meterName(1)};
    ASSERT_EQ(harvest(one), HarvestStatus::kAllHarvested);
    const MeterResult &r = report.of(meterName(1));
    EXPECT_EQ(r.first.recordNumber, log.firstRecord + kept);
    EXPECT_EQ(r.records, log.records - kept);
    EXPECT_EQ(file(1), referenceFiles(t0, one)[1]);
}

INSTANTIATE_TEST_SUITE_P(Signals, HarvestStopped,
                         ::testing::Values(StopCase{"Terminate", SIGTERM}, StopCase{"Kill", SIGKILL}),
                         [](const auto &info) { return std::string(info.param.name); });

// A meter that fails is tried again after the network's other meters, then at growing
// intervals, up to the retries asked for.
struct RetryCase
{
    const char *name;
    int retries;
    bool commFailure;     // its first device transaction fails; otherwise its transfers are cut
    const std::string *cutKey;  // how they are cut: the meter stops answering, or sends less
    const char *cutValue;
    bool clearsAfterTry;  // the cut transfers stop once its first try is over
    HarvestOutcome outcome;
    int tries;
};

void PrintTo(const RetryCase &c, std::ostream *os)
{
    *os << c.name;
}

class HarvestRetry : public HarvestResumeTest, public ::testing::WithParamInterface<RetryCase>
{
};

TEST_P(HarvestRetry, FailingMeterIsTriedAgainInTheSameRun)
{
    const RetryCase &c = GetParam();
    const auto t0 = home.clock.now();
    sim::SimControl control(lonWorks);
    const auto failing = control.device(meterName(1)).id;
    if (c.commFailure) {
        sim::DeviceFaults faults;
        faults.commFailAtCall = 1;
        control.setFaults(failing, faults);
    } else {
        control.setDeviceValue(failing, *c.cutKey, c.cutValue);
    }
    std::vector<std::string> order;
    report.onStarted = [&](const MeterProgress &p) {
        order.push_back(p.name);
        if (c.clearsAfterTry && p.name == meterName(2))
            control.setDeviceValue(failing, *c.cutKey, "");
    };
    HarvestOptions options;
    options.retries = c.retries;
    const int status = harvest(options);
    report.onStarted = {};
    const MeterResult &r = report.of(meterName(1));
    EXPECT_EQ(r.outcome, c.outcome) << r.error;
    EXPECT_EQ(r.tries, c.tries);
    EXPECT_EQ(status, c.outcome == HarvestOutcome::Harvested ? HarvestStatus::kAllHarvested : HarvestStatus::kSomeFailed);
    for (int n = 1; n < c.tries; ++n)
        EXPECT_NE(std::find_if(r.notes.begin(), r.notes.end(),
                               [&](const std::string &note) {
                                   return note.starts_with("try " + std::to_string(n) + " failed: ");
                               }),
                  r.notes.end())
            << ::testing::PrintToString(r.notes);
    // The retry comes after the other meters, not before them.
    if (!c.commFailure) {
        std::vector<std::string> expected{meterName(0), meterName(1), meterName(2)};
        expected.insert(expected.end(), static_cast<std::size_t>(c.tries - 1), meterName(1));
        EXPECT_EQ(order, expected);
    }
    EXPECT_EQ(report.of(meterName(2)).outcome, HarvestOutcome::Harvested);
    if (c.outcome == HarvestOutcome::Harvested) {
        EXPECT_EQ(r.records, sim::siteLog(1).records);
        if (c.cutKey)
            control.setDeviceValue(failing, *c.cutKey, "");
        control.setFaults(failing, {});
        EXPECT_EQ(file(1), referenceFiles(t0)[1]);
    } else {
        EXPECT_FALSE(std::filesystem::exists(csv(meterName(1))));
        // Known once its log information came.
        EXPECT_EQ(r.left, c.commFailure ? -1 : sim::siteLog(1).records);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HarvestRetry,
    ::testing::Values(
        RetryCase{"CommunicationFailure", 2, true, nullptr, "", false, HarvestOutcome::Harvested, 2},
        RetryCase{"StopsAnswering", 2, false, &sim::kFaultFailAfterKey, "500", true, HarvestOutcome::Harvested, 2},
        // Three records short: storing the rest would leave a hole before them.
        RetryCase{"SendsLess", 2, false, &sim::kFaultShortReadKey, "258", true, HarvestOutcome::Harvested, 2},
        RetryCase{"StopsAnsweringEveryTime", 2, false, &sim::kFaultFailAfterKey, "500", false, HarvestOutcome::Failed, 3},
        RetryCase{"SendsLessEveryTimeFourRetries", 4, false, &sim::kFaultShortReadKey, "258", false,
                  HarvestOutcome::Failed, 5},
        RetryCase{"NoRetries", 0, true, nullptr, "", false, HarvestOutcome::Failed, 1}),
    [](const auto &info) { return std::string(info.param.name); });

// Retries wait their back-off on the harvest's clock: after the other meters, at least 10 s
// after the failure, then 30 s, 60 s and doubling to 10 minutes.
TEST(HarvestRetrySchedule, TakesFirstTriesFirstThenRetriesAfterTheirBackOff)
{
    const std::pair<int, std::chrono::seconds> delays[] = {{1, 10s}, {2, 30s}, {3, 60s}, {4, 120s}, {6, 480s}, {7, 600s}, {20, 600s}};
    for (const auto &[retry, delay] : delays)
        EXPECT_EQ(harvestRetryDelay(retry), delay) << retry;

    const Clock::TimePoint t0{};
    RetrySchedule s(3, 2);
    ASSERT_EQ(s.next(t0).meter, 0u);
    s.begin(0);
    EXPECT_TRUE(s.failed(0, t0));
    ASSERT_EQ(s.next(t0).meter, 1u) << "the other meters come first";
    s.begin(1);
    s.done(1);
    ASSERT_EQ(s.next(t0 + 1s).meter, 2u);
    s.begin(2);
    s.done(2);
    EXPECT_EQ(s.next(t0 + 5s).waitUntil, t0 + 10s);
    ASSERT_EQ(s.next(t0 + 10s).meter, 0u);
    s.begin(0);
    EXPECT_TRUE(s.failed(0, t0 + 20s));
    EXPECT_EQ(s.next(t0 + 20s).waitUntil, t0 + 50s);
    s.begin(0);
    EXPECT_FALSE(s.failed(0, t0 + 60s)) << "two retries, three tries";
    EXPECT_EQ(s.tries(0), 3);
    EXPECT_FALSE(s.next(t0 + 60s).meter);
    EXPECT_FALSE(s.next(t0 + 60s).waitUntil);
}

// Retries that fall due while a meter's first try is still waiting come after it, and among
// themselves in the order their meters failed, not by when they fell due.
TEST(HarvestRetrySchedule, ARetryThatFallsDueWaitsForTheFirstTriesStillWaiting)
{
    const Clock::TimePoint t0{};
    RetrySchedule s(4, 2);
    ASSERT_EQ(s.next(t0).meter, 0u);
    s.begin(0);
    ASSERT_TRUE(s.failed(0, t0));  // due at 10 s
    ASSERT_EQ(s.next(t0).meter, 1u);
    s.begin(1);
    ASSERT_TRUE(s.failed(1, t0 + 5s));  // due at 15 s
    // Meter 2's first try ran long: both retries fell due meanwhile, meter 3 still waits.
    ASSERT_EQ(s.next(t0 + 5s).meter, 2u);
    s.begin(2);
    s.done(2);
    const std::pair<std::size_t, std::chrono::seconds> order[] = {{3, 40s}, {0, 41s}, {1, 42s}};
    for (const auto &[meter, at] : order) {
        const auto turn = s.next(t0 + at);
        ASSERT_EQ(turn.meter, meter) << "at " << at.count() << " s";
        EXPECT_FALSE(turn.waitUntil);
        s.begin(meter);
        s.done(meter);
    }
    EXPECT_FALSE(s.next(t0 + 50s).meter);
}

// A bound on the run: no chunk begins that would not end within it; every file is whole, the
// meters not finished say what is left, and the next harvest completes them.
class HarvestTimeBound : public HarvestResumeTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(HarvestTimeBound, EndsOnTimeWithWholeFiles)
{
    const auto bound = std::chrono::seconds(GetParam());
    const auto t0 = home.clock.now();
    HarvestOptions bounded;
    bounded.maxTime = bound;
    ASSERT_EQ(harvest(bounded), HarvestStatus::kSomeFailed);
    EXPECT_LE(home.clock.now() - t0, bound);
    ASSERT_EQ(report.results.size(), static_cast<std::size_t>(kSiteMeters));
    std::int64_t fetched = 0, left = 0;
    for (int n = 0; n < kSiteMeters; ++n) {
        const MeterResult &r = report.of(meterName(n));
        const sim::SiteLog log = sim::siteLog(n);
        if (r.outcome == HarvestOutcome::Harvested) {
            EXPECT_EQ(r.records, log.records);
        } else {
            EXPECT_EQ(r.outcome, HarvestOutcome::Cancelled);
            EXPECT_TRUE(r.error.starts_with(kTimeBoundReached)) << r.error;
            if (r.tries > 0) {
                EXPECT_EQ(r.left, log.records - r.records);
            }
            left += r.tries > 0 ? r.left : log.records;
        }
        fetched += r.records;
        if (r.records > 0) {
            EXPECT_EQ(recordNumbers(file(n)), range(log.firstRecord, log.firstRecord + r.records - 1)) << n;
        }
    }
    EXPECT_GT(left, 0);
    // The channel was kept busy: at most the time of a few transactions went unused.
    EXPECT_GE(static_cast<double>(fetched) / 4.6, std::chrono::duration<double>(bound).count() - 5.0);

    const auto t1 = home.clock.now();
    ASSERT_EQ(harvest(), HarvestStatus::kAllHarvested);
    const std::vector<std::string> resumed{file(0), file(1), file(2)};
    EXPECT_EQ(resumed, referenceFiles(t1));
}

INSTANTIATE_TEST_SUITE_P(Seconds, HarvestTimeBound, ::testing::Values(15, 60, 100));

}  // namespace
}  // namespace tellumic
