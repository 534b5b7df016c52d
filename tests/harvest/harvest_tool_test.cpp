// tellumic-log harvest as a timer or a user runs it: the built tool on an installation made
// by the built lns-sim, with transfers sped up so that a harvest takes moments.

#include <chrono>
#include <thread>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/harvest.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "sim/logging_site.h"
#include "tests/support/temp_home.h"
#include "harvest/harvest_events.h"

extern char **environ;

namespace tellumic {
namespace {

// The tool runs on the system clock: a record may close between making the site and
// harvesting it.
bool closeTo(std::int64_t records, std::int64_t made)
{
    return records == made || records == made + 1;
}

std::int64_t numberAt(const std::string &text, std::size_t at)
{
    return std::stoll(text.substr(at));
}

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

class HarvestToolTest : public test::HomeTest
{
protected:
    // The installation as a user makes it; the tool runs on the system clock.
    void makeSite(const std::string &speed = "100000")
    {
        ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 3 >/dev/null"), 0);
        ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed " + speed), 0);
    }
    int shell(const std::string &cmd) const
    {
        const int raw = std::system(("cd '" + home.root().string() + "' && " + cmd).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    ToolRun run(const std::string &args, const std::string &env = {}) const
    {
        ToolRun r;
        r.status = shell(env + " '" TELLUMIC_LOG_TOOL "' harvest " + args + " >tool.out 2>tool.err");
        r.out = test::readFile(home.root() / "tool.out");
        r.err = test::readFile(home.root() / "tool.err");
        return r;
    }
    std::string csv(const std::string &meter) const
    {
        // The tool's year is the system clock's, not the test's.
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        ::localtime_r(&t, &local);
        return (programFolder() / (meter + "-log-full-" + std::to_string(local.tm_year + 1900) + ".csv")).string();
    }
    // Lock files left in the program folder.
    std::vector<std::string> lockFiles() const
    {
        std::vector<std::string> out;
        for (const auto &entry : std::filesystem::directory_iterator(programFolder()))
            if (entry.path().extension() == ".lock")
                out.push_back(entry.path().filename().string());
        return out;
    }
};

struct UsageCase
{
    const char *args;
    int status;
    const char *says;
};

class HarvestToolUsage : public HarvestToolTest, public ::testing::WithParamInterface<UsageCase>
{
};

TEST_P(HarvestToolUsage, ExitStatusAndMessage)
{
    makeSite();
    const ToolRun r = run(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_NE((r.out + r.err).find(GetParam().says), std::string::npos) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, HarvestToolUsage,
    ::testing::Values(UsageCase{"", 2, "no NETWORK given"}, UsageCase{"--bogus Site", 2, "unknown option \"--bogus\""},
                      UsageCase{"Site --meter", 2, "--meter needs a meter name"},
                      UsageCase{"Site --meter=", 2, "--meter needs a meter name"},
                      UsageCase{"Site --retries", 2, "--retries needs a count from 0 to 999"},
                      UsageCase{"Site --retries -1", 2, "--retries needs a count from 0 to 999"},
                      UsageCase{"Site --max-time 0", 2, "--max-time needs a duration"},
                      UsageCase{"Site --max-time 1h30", 2, "--max-time needs a duration"},
                      UsageCase{"Site --max-time 5x", 2, "--max-time needs a duration"},
                      UsageCase{"--help", 0, "Usage:"},
                      UsageCase{"Nowhere", 2, "Nowhere: cannot open the network: "},
                      UsageCase{"Site --meter Site-Meter-02 --meter Absent", 1, "no meter named \"Absent\" in the network Site"}));

TEST_F(HarvestToolTest, WithoutAnInstallationSaysSo)
{
    const ToolRun r = run("Demo");
    EXPECT_EQ(r.status, 2);
    const std::string why = "there is no simulated LNS installation in " + home.root().string() + "; run 'lns-sim init' first";
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    // A script reading standard output alone learns it for every network it asked for.
    const ToolRun json = run("Demo Plant --json");
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(json.out, "{\"network\":\"Demo\",\"outcome\":\"not harvested\",\"error\":\"" + why + "\"}\n"
                        "{\"network\":\"Plant\",\"outcome\":\"not harvested\",\"error\":\"" + why + "\"}\n");
}

// A meter asked for by name that the network lacks: a line, and an object on standard output.
TEST_F(HarvestToolTest, AMeterNotFoundIsReportedOnStandardOutputToo)
{
    makeSite();
    const ToolRun r = run("Site --meter Site-Meter-02 --meter Absent --json");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("\"name\":\"Site-Meter-02\""), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("{\"network\":\"Site\",\"name\":\"Absent\",\"outcome\":\"not found\",\"error\":\"no "
                                "meter named \\\"Absent\\\" in the network Site\"}\n"))
        << r.out;
}

// Two networks side by side; one JSON object per meter on standard output, one line per
// meter on standard error, no control codes anywhere.
TEST_F(HarvestToolTest, NetworksSideBySideWithJsonSummaries)
{
    makeSite();
    const ToolRun r = run("Site Demo --json --meter Site-Meter-01 --meter Site-Meter-03 --meter TMC-FT-Log-364");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, eol; (eol = r.out.find('\n', at)) != std::string::npos; at = eol + 1)
        lines.push_back(r.out.substr(at, eol - at));
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const sim::SiteLog log = sim::siteLog(0);
    const auto one = std::find_if(lines.begin(), lines.end(), [](const auto &l) { return l.find("Site-Meter-01") != std::string::npos; });
    ASSERT_NE(one, lines.end());
    const std::string head = "{\"network\":\"Site\",\"name\":\"Site-Meter-01\",\"file\":\"" +
                             std::filesystem::path(csv("Site-Meter-01")).filename().string() + "\",\"records\":";
    ASSERT_EQ(one->substr(0, head.size()), head) << *one;
    const std::int64_t records = numberAt(*one, head.size());
    EXPECT_TRUE(closeTo(records, log.records)) << *one;
    EXPECT_NE(one->find(",\"bytes\":" + std::to_string(records * 86) + ",\"first\":{\"record\":" +
                        std::to_string(log.firstRecord) + ",\"time\":\""),
              std::string::npos)
        << *one;
    for (const auto &l : lines) {
        EXPECT_NE(l.find(",\"outcome\":\"harvested\",\"error\":null,\"notes\":[],\"failed_check\":0,\"unrecognized\":0}"),
                  std::string::npos)
            << l;
        EXPECT_NE(l.find("\"seconds\":"), std::string::npos) << l;
    }
    EXPECT_NE(r.err.find("Demo/TMC-FT-Log-364: harvested 24192 records"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Site/Site-Meter-03: harvested "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("harvest: 3 meters: 3 harvested"), std::string::npos) << r.err;
    EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << "no control codes without a terminal";
    EXPECT_FALSE(std::filesystem::exists(csv("Site-Meter-02")));
    EXPECT_TRUE(lockFiles().empty());

    const ToolRun again = run("Site --meter Site-Meter-01");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("Site/Site-Meter-01: up to date, no new records"), std::string::npos) << again.err;
}

// A failing meter gives exit status 1 while the others are harvested. Under systemd the
// journal gets each line with its priority.
TEST_F(HarvestToolTest, FailedMeterGivesOneAndJournalLinesCarryTheirPriority)
{
    makeSite();
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-02 log-fail-after 1000"), 0);
    test::writeFile(home.root() / "tool.err", "");
    struct stat st {};
    ASSERT_EQ(::stat((home.root() / "tool.err").c_str(), &st), 0);
    const std::string journal = "JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    // A retry would wait its back-off on the system clock; the harvest's tests take retries.
    const ToolRun r = run("Site --retries 0", journal);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("<6>Site/Site-Meter-01: harvested"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("<3>Site/Site-Meter-02: FAILED after "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error retrieving log data: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("<6>Site/Site-Meter-03: harvested"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(csv("Site-Meter-02"))) << "a failed first download leaves no file";

    const ToolRun plain = run("Site --meter Site-Meter-02 --retries 0");
    EXPECT_EQ(plain.status, 1);
    EXPECT_TRUE(plain.err.starts_with("Site/Site-Meter-02: FAILED")) << plain.err;
}

TEST_F(HarvestToolTest, SecondHarvestOfANetworkSaysSoAndEnds)
{
    makeSite();
    auto running = FileLock::tryAcquire(harvestLockPath("Site"), "process 4242");
    ASSERT_TRUE(running);
    const ToolRun r = run("Site");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Site: a harvest of this network is already running (process 4242)"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(csv("Site-Meter-01")));

    // A script reading standard output alone learns it too.
    const ToolRun json = run("Site --json");
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(json.out, "{\"network\":\"Site\",\"outcome\":\"not harvested\",\"error\":\"a harvest of this network is "
                        "already running (process 4242)\"}\n");
}

// A file at a meter's log name that is no CSV log of its format is refused with the reason
// and left byte for byte: never cut as a torn line, never appended to. Its records could not
// be told from the rest, and those the meter no longer holds would be gone for good.
TEST_F(HarvestToolTest, AFileThatIsNoLogOfTheMeterIsLeftAsItIs)
{
    makeSite();
    ASSERT_EQ(run("Site --meter Site-Meter-01").status, 0);
    ASSERT_EQ(run("Site --meter Site-Meter-01 --short").status, 0);
    const std::string log = test::readFile(csv("Site-Meter-01"));
    std::string shortCsv = csv("Site-Meter-01");
    shortCsv.replace(shortCsv.find("-log-full-"), 10, "-log-short-");
    const std::string shortLog = test::readFile(shortCsv);
    std::string crOnly;
    for (const char c : log)
        if (c != '\n')
            crOnly.push_back(c);
    std::string binary(10 << 20, '\0');
    std::uint32_t x = 12345;
    for (char &c : binary) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    const std::string header = std::string(logCsvHeader(false)) + "\r\n";
    struct Row
    {
        const char *what;
        std::string text;
    };
    const Row rows[] = {
        {"lines ending in CR alone", crOnly},
        {"random binary data", binary},
        {"a log of short records", shortLog},
        {"the header and then binary data", header + binary.substr(0, 1 << 20)},
        {"a last line longer than any line", log + std::string(5000, '7')},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        test::writeFile(csv("Site-Meter-01"), row.text);
        const ToolRun r = run("Site --meter Site-Meter-01");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("is not a CSV log of this meter"), std::string::npos) << r.err;
        EXPECT_TRUE(test::readFile(csv("Site-Meter-01")) == row.text) << "the file was changed";
    }
}

// Records that fail their check are written as the Logging tab writes them, and counted: in
// the meter's line, in its summary object, and in the exit status.
TEST_F(HarvestToolTest, RecordsThatFailTheirCheckAreCountedAndEndWithOne)
{
    makeSite();
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-02 log-bad-crc 10 >/dev/null"), 0);
    const ToolRun r = run("Site --json");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string file = test::readFile(csv("Site-Meter-02"));
    std::int64_t mismatches = 0;
    for (std::size_t at = 0; (at = file.find(kCrcMismatchNote, at)) != std::string::npos; ++at)
        ++mismatches;
    ASSERT_GT(mismatches, 0);
    const std::string counted = "\"failed_check\":" + std::to_string(mismatches) + ",\"unrecognized\":0}";
    const auto meter02 = r.out.find("\"name\":\"Site-Meter-02\"");
    ASSERT_NE(meter02, std::string::npos) << r.out;
    const std::string object = r.out.substr(meter02, r.out.find('\n', meter02) - meter02);
    EXPECT_NE(object.find(counted), std::string::npos) << object;
    EXPECT_NE(object.find(std::to_string(mismatches) + " records failed their check (CRC mismatch)"), std::string::npos)
        << object;
    EXPECT_NE(r.err.find(" bytes, " + std::to_string(mismatches) + " failed their check) into "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; " + std::to_string(mismatches) + " records lost to a failed check or an unrecognised type on 1 meter"),
              std::string::npos)
        << r.err;
    const auto meter01 = r.out.find("\"name\":\"Site-Meter-01\"");
    ASSERT_NE(meter01, std::string::npos) << r.out;
    EXPECT_NE(r.out.substr(meter01, r.out.find('\n', meter01) - meter01).find("\"failed_check\":0,\"unrecognized\":0}"),
              std::string::npos)
        << "the other meters lost nothing";
}

TEST_F(HarvestToolTest, DryRunShowsWhatWouldBeFetched)
{
    makeSite();
    const ToolRun r = run("Site --dry-run");
    EXPECT_EQ(r.status, 0) << r.err;
    std::int64_t records = 0;
    for (int n = 0; n < 3; ++n) {
        const std::string label = "Site/Site-Meter-0" + std::to_string(n + 1) + ": would fetch ";
        const auto at = r.out.find(label);
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::int64_t fetch = numberAt(r.out, at + label.size());
        EXPECT_TRUE(closeTo(fetch, sim::siteLog(n).records)) << r.out;
        EXPECT_EQ(r.out.find(" records (" + std::to_string(fetch * 86) + " bytes)", at), at + label.size() + std::to_string(fetch).size());
        records += fetch;
    }
    EXPECT_NE(r.out.find("total: 3 meters would bring " + std::to_string(records) + " records"), std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(csv("Site-Meter-01")));
}

// SIGINT or SIGTERM in the middle of a transfer: it is cancelled, no further meter is taken,
// every file stays whole and no lock is left behind.
class HarvestToolSignal : public HarvestToolTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(HarvestToolSignal, CancelsTheTransferAndLeavesEveryFileWhole)
{
    // The first meter's 96 records take about a second, the second's 384 about four.
    makeSite("20");
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::string tool = TELLUMIC_LOG_TOOL;
    char *argv[] = {tool.data(), const_cast<char *>("harvest"), const_cast<char *>("Site"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);

    // Once the first meter's line is out, the second meter's transfer runs.
    std::string seen;
    char buf[512];
    while (seen.find("Site/Site-Meter-01: harvested") == std::string::npos) {
        const ssize_t n = ::read(err[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << seen;
        seen.append(buf, static_cast<std::size_t>(n));
    }
    ::kill(pid, GetParam());
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;)
        seen.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(err[0]);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + GetParam());
    // The second meter is stopped in the transfer of its log information or of its records
    // (or, should the signal come just between two meters, before it starts); the third is
    // not taken.
    const bool inTransfer = seen.find("Site/Site-Meter-02: cancelled: Error re") != std::string::npos &&
                            seen.find("LCA: The operation was cancelled") != std::string::npos &&
                            seen.find("Site: 1 meter not taken: the harvest was stopped") != std::string::npos;
    const bool between = seen.find("Site: 2 meters not taken: the harvest was stopped") != std::string::npos;
    EXPECT_TRUE(inTransfer || between) << seen;
    const std::string first = test::readFile(csv("Site-Meter-01"));
    EXPECT_TRUE(closeTo(std::count(first.begin(), first.end(), '\n') - 2, sim::siteLog(0).records));
    EXPECT_EQ(test::readFile(csv("Site-Meter-02")), "");
    EXPECT_FALSE(std::filesystem::exists(csv("Site-Meter-03")));
    EXPECT_TRUE(lockFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, HarvestToolSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto &info) { return info.param == SIGINT ? "Interrupt" : "Terminate"; });

// The process of the tool's own that a network runs in, found by its parent.
pid_t childOf(pid_t parent)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = test::readFile(entry.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            return static_cast<pid_t>(std::stol(entry.path().filename().string()));
    }
    return -1;
}

// The process harvesting a network dies in a transfer: the meters it had not reported fail
// with the reason, in the lines and on standard output, and the run ends with one.
TEST_F(HarvestToolTest, ANetworkWhoseProcessDiesReportsItsRemainingMeters)
{
    makeSite("20");
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (home.root() / "tool.out").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::string tool = TELLUMIC_LOG_TOOL;
    char *argv[] = {tool.data(), const_cast<char *>("harvest"), const_cast<char *>("Site"),
                    const_cast<char *>("--json"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);

    std::string seen;
    char buf[512];
    while (seen.find("Site/Site-Meter-01: harvested") == std::string::npos) {
        const ssize_t n = ::read(err[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << seen;
        seen.append(buf, static_cast<std::size_t>(n));
    }
    const pid_t network = childOf(pid);
    ASSERT_GT(network, 0);
    ::kill(network, SIGKILL);
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;)
        seen.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(err[0]);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1) << seen;

    const std::string why = "the harvest of this network ended unexpectedly: killed by signal 9 (Killed)";
    const std::string json = test::readFile(out);
    EXPECT_NE(json.find("\"name\":\"Site-Meter-01\""), std::string::npos) << json;
    for (const char *meter : {"Site-Meter-02", "Site-Meter-03"}) {
        const auto at = json.find("\"name\":\"" + std::string(meter) + "\"");
        ASSERT_NE(at, std::string::npos) << json;
        const std::string object = json.substr(at, json.find('\n', at) - at);
        EXPECT_NE(object.find("\"outcome\":\"failed\",\"error\":\"" + why + "\""), std::string::npos) << object;
        EXPECT_NE(seen.find("Site/" + std::string(meter) + ": FAILED after "), std::string::npos) << seen;
    }
    EXPECT_NE(seen.find(why), std::string::npos) << seen;
}

// The main process killed outright: its network's worker ends with it, so that no worker holds
// the network's lock with nobody to report to, and a harvest started at once goes on. The
// worker is held stopped, so that it could not notice the loss of its reader by itself.
TEST_F(HarvestToolTest, AWorkerEndsWithItsMainProcess)
{
    makeSite("20");
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::string tool = TELLUMIC_LOG_TOOL;
    char *argv[] = {tool.data(), const_cast<char *>("harvest"), const_cast<char *>("Site"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    std::string seen;
    char buf[512];
    while (seen.find("Site/Site-Meter-01: harvested") == std::string::npos) {
        const ssize_t n = ::read(err[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << seen;
        seen.append(buf, static_cast<std::size_t>(n));
    }
    const pid_t worker = childOf(pid);
    ASSERT_GT(worker, 0);
    ::kill(worker, SIGSTOP);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(err[0]);

    std::unique_ptr<FileLock> free;
    for (int i = 0; i < 500 && !free; ++i) {
        free = FileLock::tryAcquire(harvestLockPath("Site"));
        if (!free)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool workerLived = ::kill(worker, 0) == 0 && test::readFile("/proc/" + std::to_string(worker) + "/stat")
                                                               .find(") T ") != std::string::npos;
    ::kill(worker, SIGKILL);  // the test leaves nothing running, whatever it found
    EXPECT_FALSE(workerLived) << "the worker outlived its main process";
    ASSERT_TRUE(free) << "the network's lock is still held";
    free.reset();

    const ToolRun next = run("Site");
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_TRUE(lockFiles().empty());
}

// --max-time: the run ends within its bound, says in --json what each meter left, and keeps
// whole files that the next run completes.
TEST_F(HarvestToolTest, MaxTimeEndsTheRunOnTimeAndTheNextCompletesIt)
{
    makeSite("20");  // about 1, 4 and 1.5 seconds of records
    const auto start = std::chrono::steady_clock::now();
    const ToolRun bounded = run("Site --json --max-time 2");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(bounded.status, 1) << bounded.err;
    EXPECT_LT(elapsed, 3.0) << "two seconds and the start of the processes";
    EXPECT_NE(bounded.out.find("\"outcome\":\"cancelled\",\"error\":\"the run's time bound was reached"), std::string::npos)
        << bounded.out;
    EXPECT_NE(bounded.out.find("\"tries\":1,\"left\":"), std::string::npos) << bounded.out;

    const ToolRun rest = run("Site --json");
    EXPECT_EQ(rest.status, 0) << rest.err;
    for (int n = 0; n < 3; ++n) {
        const std::string text = test::readFile(csv("Site-Meter-0" + std::to_string(n + 1)));
        EXPECT_TRUE(closeTo(std::count(text.begin(), text.end(), '\n') - 1, sim::siteLog(n).records)) << n;
    }
}

// The demo installation of the README's run command.
TEST_F(HarvestToolTest, HarvestsTheDemoNetwork)
{
    ASSERT_EQ(shell(LNS_SIM " init >/dev/null && " LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    const ToolRun r = run("Demo");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Demo/TMC-FT-Log-364: harvested 24192 records"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Demo/TMC-FT-Log-PT-370: harvested 24192 records"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("harvest: 2 meters: 2 harvested (48384 records"), std::string::npos) << r.err;
}

// --events: what a program showing the harvest reads, one event a line on standard output,
// each line one the harvest's own event reader takes; the console lines stay on standard error.
class EventLog final : public HarvestReport
{
public:
    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override
    {
        for (const auto &m : meters)
            seen.push_back("planned " + network + "/" + m.name + (m.estimated ? " estimated" : ""));
    }
    void started(const MeterProgress &p) override { seen.push_back("started " + p.network + "/" + p.name); }
    void progress(const MeterProgress &p) override { lastProgress = p.records; }
    void finished(const MeterResult &r) override
    {
        seen.push_back("finished " + r.network + "/" + r.name + " " + std::string(harvestOutcomeName(r.outcome)));
        records.push_back(r.records);
    }
    void networkMessage(const std::string &network, const std::string &text) override
    {
        seen.push_back("message " + network + ": " + text);
    }
    std::vector<std::string> seen;
    std::vector<std::int64_t> records;
    std::int64_t lastProgress = 0;
};

EventLog replayLines(const std::string &out)
{
    EventLog log;
    for (std::size_t at = 0, eol; (eol = out.find('\n', at)) != std::string::npos; at = eol + 1)
        EXPECT_TRUE(harvest::replayEvent(std::string_view(out).substr(at, eol - at), log)) << out.substr(at, eol - at);
    return log;
}

TEST_F(HarvestToolTest, EventsOnStandardOutputForAProgramThatShowsTheHarvest)
{
    makeSite();
    const ToolRun r = run("Site --events --meter Site-Meter-01 --meter Site-Meter-02 --meter Site-Meter-99");
    EXPECT_EQ(r.status, 1) << "a meter asked for is missing: " << r.err;
    const EventLog log = replayLines(r.out);
    const std::vector<std::string> expected = {
        "planned Site/Site-Meter-01 estimated", "planned Site/Site-Meter-02 estimated",
        "started Site/Site-Meter-01",           "finished Site/Site-Meter-01 harvested",
        "started Site/Site-Meter-02",           "finished Site/Site-Meter-02 harvested",
    };
    EXPECT_EQ(log.seen, expected) << r.out;
    ASSERT_EQ(log.records.size(), 2u);
    EXPECT_TRUE(closeTo(log.records[0], sim::siteLog(0).records)) << log.records[0];
    EXPECT_NE(r.err.find("Site/Site-Meter-02: harvested "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no meter named \"Site-Meter-99\""), std::string::npos) << r.err;

    const ToolRun refused = run("Nowhere --events");
    EXPECT_EQ(refused.status, 2);
    const EventLog why = replayLines(refused.out);
    ASSERT_EQ(why.seen.size(), 1u) << refused.out;
    EXPECT_EQ(why.seen[0].rfind("message Nowhere: ", 0), 0u) << why.seen[0];

    const ToolRun both = run("Site --events --json");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--json and --events both write to standard output"), std::string::npos) << both.err;
    EXPECT_EQ(both.out, "");
}

}  // namespace
}  // namespace tellumic
