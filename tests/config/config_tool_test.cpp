// tellumic-config as users run it: on a site of 60 logging meters, one of which refuses
// writes, and two applies on one network at once.

#include <gtest/gtest.h>

#include "log/log_file.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"
#include "tools/config/config_tool.h"
#include "tools/config/stop_signals.h"

#include <csignal>
#include <sys/stat.h>
#include <map>
#include <unistd.h>

namespace tellumic::config::test {
namespace {

using ToolRun = tellumic::test::CommandRun;

ToolRun run(const char *program, const std::string &args)
{
    return tellumic::test::runCommand(std::string(program) + " " + args + " 2>&1");
}
ToolRun lnsSim(const std::string &args) { return run(LNS_SIM_PATH, args); }
ToolRun tool(const std::string &args) { return run(TELLUMIC_CONFIG_PATH, args); }

int count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ConfigToolTest : public tellumic::test::HomeTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(lnsSim("init --network Plant --logging-meters 60").status, 0);
        // The site's calls take no time here; the benchmark measures them at their latency.
        ASSERT_EQ(lnsSim("latency 0").status, 0);
        file = (home.root() / "plant.json").string();
    }
    std::string file;
};

TEST_F(ConfigToolTest, AppliesToSixtyMetersAndReportsTheOneThatFails)
{
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciCtAmps 250").status, 0);
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciDemPerMins 30").status, 0);
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    ASSERT_EQ(lnsSim("fault Plant-Meter-07 refuse-writes on").status, 0);

    const ToolRun apply = tool("apply " + file + " Plant --all");
    EXPECT_EQ(apply.status, 1) << apply.out;
    EXPECT_EQ(count(apply.out, ": applied"), 59) << apply.out;
    EXPECT_EQ(count(apply.out, "\n"), 60) << apply.out;
    EXPECT_NE(apply.out.find("Plant-Meter-07: failed at nciCtAmps: "), std::string::npos) << apply.out;
    EXPECT_NE(apply.out.find("; the meter reads as before\n"), std::string::npos) << apply.out;

    EXPECT_EQ(tool("diff " + file + " Plant Plant-Meter-60").status, 0);
    const ToolRun failed = tool("diff " + file + " Plant Plant-Meter-07");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("nciCtAmps: file 250 A, meter 100 A\n"), std::string::npos) << failed.out;
}

TEST_F(ConfigToolTest, DryRunWritesNothingAndOnlyLimitsTheEntries)
{
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciCtAmps 250").status, 0);
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciDemPerMins 30").status, 0);
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);

    const ToolRun dry = tool("apply " + file + " Plant --meter Plant-Meter-02 Plant-Meter-03 --dry-run");
    EXPECT_EQ(dry.status, 0) << dry.out;
    EXPECT_EQ(count(dry.out, ": 3 differing\n"), 2) << dry.out;
    EXPECT_EQ(tool("diff " + file + " Plant Plant-Meter-02").status, 1);

    const ToolRun only = tool("apply " + file + " Plant --meter Plant-Meter-02 --only nciCtAmps --json");
    EXPECT_EQ(only.status, 0) << only.out;
    EXPECT_NE(only.out.find("\"written\": 1"), std::string::npos) << only.out;
    const ToolRun after = tool("diff " + file + " Plant Plant-Meter-02 --json");
    EXPECT_EQ(after.status, 1);
    EXPECT_NE(after.out.find("\"entry\": \"nciDemPerMins\""), std::string::npos) << after.out;
    EXPECT_EQ(after.out.find("\"entry\": \"nciCtAmps\""), std::string::npos) << after.out;
}

TEST_F(ConfigToolTest, SecondApplyOnOneNetworkSaysSoAndEnds)
{
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    std::filesystem::create_directories(home.programFolder());
    const auto held = FileLock::tryAcquire(applyLockPath("Plant"), "process 4242");
    ASSERT_TRUE(held);
    const ToolRun second = tool("apply " + file + " Plant --all");
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.out, "tellumic-config: an apply on network Plant is already running (process 4242)\n");
}

TEST_F(ConfigToolTest, UsageAndFileErrorsEndWithTwo)
{
    const struct
    {
        const char *args;
        const char *says;
    } rows[] = {
        {"", "Usage:"},
        {"apply x.json Plant", "exactly one of --meter NAME..., --model PROGRAM-ID, --all"},
        {"apply x.json Plant --all --meter Plant-Meter-01", "exactly one of"},
        {"diff /nonexistent.json Plant Plant-Meter-01", "/nonexistent.json: cannot be read"},
        {"save Plant Plant-Meter-99", "no device Plant-Meter-99 on network Plant"},
        {"save Nowhere Plant-Meter-01", "Nowhere"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        const ToolRun r = tool(row.args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
    }
}

// What a command printed must reach standard output: a full disk ends it with the reason and
// status 2, not a success status over a lost configuration.
TEST_F(ConfigToolTest, OutputToAFullDiskIsAnError)
{
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    ASSERT_EQ(lnsSim("set Plant-Meter-02 nciCtAmps 250").status, 0);
    for (const std::string &args : {std::string("save Plant Plant-Meter-01"), "diff " + file + " Plant Plant-Meter-02 --json",
                                   "diff " + file + " Plant Plant-Meter-02",
                                   "apply " + file + " Plant --meter Plant-Meter-03 --dry-run"}) {
        SCOPED_TRACE(args);
        const ToolRun r = tellumic::test::runCommand(std::string(TELLUMIC_CONFIG_PATH) + " " + args + " 2>&1 >/dev/full");
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_EQ(r.out, "tellumic-config: cannot write standard output: No space left on device\n");
    }
}

// A save that cannot be written says why; a device in the file's place is never replaced;
// a good save replaces the file whole.
TEST_F(ConfigToolTest, SaveSaysWhyItCannotWrite)
{
    const struct
    {
        std::string target;
        std::string says;
    } rows[] = {
        {file + ".d/plant.json", "tellumic-config: cannot write " + file + ".d/plant.json: No such file or directory\n"},
        {"/dev/full", "tellumic-config: cannot write /dev/full: it is not a regular file\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.target);
        const ToolRun r = tool("save Plant Plant-Meter-01 " + row.target);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, row.says);
    }
    struct stat st{};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciCtAmps 250").status, 0);
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    EXPECT_NE(tellumic::test::readFile(file).find("\"raw\": \"250\""), std::string::npos);
}

// SIGTERM, SIGINT or SIGHUP while meters are written: the meter being written is put back,
// the rest are not touched, and the program says so and ends as the signal ends programs.
class ConfigToolSignalTest : public ConfigToolTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(ConfigToolSignalTest, StopPutsTheMeterBeingWrittenBack)
{
    const int signal = GetParam();
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciCtAmps 250").status, 0);
    ASSERT_EQ(lnsSim("set Plant-Meter-01 nciDemPerMins 30").status, 0);
    ASSERT_EQ(tool("save Plant Plant-Meter-01 " + file).status, 0);
    std::map<std::string, std::string> before;
    for (const char *meter : {"Plant-Meter-03", "Plant-Meter-04"})
        before[meter] = tool("diff " + file + " Plant " + meter).out;
    ASSERT_EQ(lnsSim("latency 15").status, 0);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::execl(TELLUMIC_CONFIG_PATH, TELLUMIC_CONFIG_PATH, "apply", file.c_str(), "Plant", "--meter", "Plant-Meter-02",
                "Plant-Meter-03", "Plant-Meter-04", nullptr);
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
        // The first meter's line: the second is being read or written now.
        if (text.empty())
            ::kill(pid, signal);
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    const int status = tellumic::test::waitForChild(pid);
    EXPECT_EQ(status, 128 + signal) << text;
    const std::string name = signalName(signal);
    EXPECT_NE(text.find("Plant-Meter-02: applied, 3 entries written\n"), std::string::npos) << text;
    // The signal finds the third meter being read or written, or (rarely) the program between
    // the two: either way that meter is left as it was and the last is not touched.
    const bool third = text.find("Plant-Meter-03: ") != std::string::npos;
    if (third) {
        EXPECT_NE(text.find("Plant-Meter-03: stopped by " + name + "; the meter reads as before\n"), std::string::npos)
            << text;
    }
    EXPECT_NE(text.find("tellumic-config: stopped by " + name + "; " + (third ? "1" : "2") + " meter(s) not written\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Plant-Meter-04: "), std::string::npos) << text;
    ASSERT_EQ(lnsSim("latency 0").status, 0);
    EXPECT_EQ(tool("diff " + file + " Plant Plant-Meter-02").status, 0);
    for (const auto &[meter, diff] : before)
        EXPECT_EQ(tool("diff " + file + " Plant " + meter).out, diff) << meter;
}

INSTANTIATE_TEST_SUITE_P(Signals, ConfigToolSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto &info) { return std::string(signalName(info.param)).substr(3); });

}  // namespace
}  // namespace tellumic::config::test
