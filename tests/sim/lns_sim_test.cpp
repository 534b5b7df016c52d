#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/sim_control.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

using Run = tellumic::test::CommandRun;  // out: standard output and error together

// Runs the built lns-sim in this test's TELLUMIC_HOME.
Run lnsSim(const std::string &args)
{
    return tellumic::test::runCommand(std::string(LNS_SIM_PATH) + " " + args + " 2>&1");
}

class LnsSimTest : public tellumic::test::HomeTest
{
};

TEST_F(LnsSimTest, InitThenListShowsTheDemoNetworkAndInitAgainChangesNothing)
{
    auto init = lnsSim("init");
    ASSERT_EQ(init.status, 0) << init.out;
    EXPECT_NE(init.out.find("Created"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.programFolder() / "TmPlugin.log"))
        << "the simulator must not decide the plug-in's tracing";
    auto list = lnsSim("list");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("Network \"Demo\", system \"Demo\", subsystem \"Meters\""), std::string::npos) << list.out;
    for (const char *name : {"TMC-FT-Log-364", "TMC-FT-362", "TMB-FT-Int-211", "TMC-FT-Log-PT-370", "Thermostat"})
        EXPECT_NE(list.out.find(name), std::string::npos) << name;

    auto again = lnsSim("init");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;
    EXPECT_EQ(lnsSim("list").out, list.out);
}

TEST_F(LnsSimTest, ReadsAndWritesNvsAndCps)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    EXPECT_EQ(lnsSim("get Demo/Demo/Meters/TMC-FT-Log-364 nciCtAmps").out, "nciCtAmps = 100\n");
    EXPECT_EQ(lnsSim("set Meters/TMC-FT-Log-364 nciCtAmps 250").out, "nciCtAmps = 250\n");
    EXPECT_EQ(lnsSim("get TMC-FT-Log-364 nciCtAmps").out, "nciCtAmps = 250\n");
    EXPECT_EQ(lnsSim("set TMC-FT-Log-364 F:0/C:0:17 'Panel 4'").out, "F:0/C:0:17 = Panel 4\n");
    EXPECT_EQ(lnsSim("get TMC-FT-Log-364 SCPTlocation").out, "SCPTlocation = Panel 4\n");
    EXPECT_EQ(lnsSim("get TMC-FT-Log-364 N:nvoEnergySum/C:0:22").out, "N:nvoEnergySum/C:0:22 = 0 0:5:0:0\n");

    const auto show = lnsSim("show TMC-FT-Log-364").out;
    EXPECT_NE(show.find("  nciCtAmps            250\n"), std::string::npos) << show;
    EXPECT_NE(show.find("  F:0/C:0:17 SCPTlocation (NodeObject) = Panel 4\n"), std::string::npos) << show;
    EXPECT_NE(show.find("    N:nvoEnergySum/C:0:22 SCPTmaxSndT = 0 0:5:0:0\n"), std::string::npos) << show;
}

TEST_F(LnsSimTest, ConditionFaultsAndServicePinReachAServer)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    SimOptions options;
    options.clock = &home.clock;
    SimObjectServer server(home.root() / "LonWorks", options);
    server.Open();
    auto net = server.Networks().Item("Demo");
    net->Open();
    auto sys = net->Systems().Item(1);
    sys->Open();
    auto meter = sys->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-362");
    RecordingSink sink;
    server.SetEventSink(&sink);

    ASSERT_EQ(lnsSim("condition TMC-FT-362 soft-offline").status, 0);
    EXPECT_EQ(meter->QueryStatus().nodeState, 12);
    ASSERT_EQ(lnsSim("fault TMC-FT-362 last-error 11").status, 0);
    ASSERT_EQ(lnsSim("fault TMC-FT-362 self-test 3").status, 0);
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 11);
    EXPECT_EQ(meter->SelfTest(), 3);
    EXPECT_NE(lnsSim("list").out.find("TMC-FT-362           Neuron ID 050000001001  program ID 80B7E515008A0409  Soft Offline"
                                      "  faults: self-test 3, last-error 11"),
              std::string::npos)
        << lnsSim("list").out;
    ASSERT_EQ(lnsSim("fault TMC-FT-362 comm-fail-rate 1").status, 0);
    EXPECT_THROW(meter->SelfTest(), RuntimeError);
    ASSERT_EQ(lnsSim("fault TMC-FT-362 clear").status, 0);
    EXPECT_EQ(meter->SelfTest(), 0);

    ASSERT_EQ(lnsSim("latency 40").status, 0);
    EXPECT_EQ(installationOptions(home.root() / "LonWorks").latency, std::chrono::milliseconds(40));

    ASSERT_EQ(lnsSim("service-pin TMC-FT-362").status, 0);
    server.DispatchEvents();
    ASSERT_EQ(sink.pins.size(), 1u);
    EXPECT_EQ(sink.pins[0].second, "80B7E515008A0409");
}

TEST_F(LnsSimTest, LogInformationLogFaultsResourcesAndTransferSpeed)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    const auto lonWorks = home.root() / "LonWorks";
    EXPECT_TRUE(std::filesystem::exists(lonWorks / "bin" / "XIF32BIN"));
    const auto log = lnsSim("log TMC-FT-Log-364");
    ASSERT_EQ(log.status, 0) << log.out;
    EXPECT_NE(log.out.find("newest record "), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("oldest record "), std::string::npos) << log.out;
    EXPECT_NE(lnsSim("log TMB-FT-Int-211").status, 0) << "family 312 keeps no log";

    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 log-short 30").status, 0);
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 log-bad-crc 2").status, 0);
    // lns-sim runs on the system clock; the meter's log began by it.
    home.clock.set(std::chrono::system_clock::now());
    const auto session = openSession(lonWorks, "Demo", &home.clock);
    const auto &sys = session.system;
    auto meter = session.meter("TMC-FT-Log-364");
    auto write = sys->NewFileTransfer();
    write->SetFileNumber(4);
    write->SetTargetDevice(meter);
    std::vector<std::uint8_t> request(42, 0);
    request[0] = 1;
    request[4] = 4;
    request[40] = 3;
    write->Write(request);
    auto read = sys->NewFileTransfer();
    read->SetFileNumber(5);
    read->SetLength(96);
    read->SetTargetDevice(meter);
    EXPECT_EQ(read->Read().size(), 66u);
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 clear").status, 0);
    EXPECT_EQ(read->Read().size(), 96u);

    // A read that stops part-way, until the fault is turned off or cleared.
    const auto failsWith = [&]() -> std::int32_t {
        try {
            read->Read();
        } catch (const RuntimeError &e) {
            return e.number();
        }
        return 0;
    };
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 log-fail-after 50").status, 0);
    EXPECT_EQ(failsWith(), lns::LcaError::kCommunicationFailure);
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 log-fail-after off").status, 0);
    EXPECT_EQ(failsWith(), 0);
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 log-fail-after 0").status, 0);
    EXPECT_EQ(failsWith(), lns::LcaError::kCommunicationFailure);
    ASSERT_EQ(lnsSim("fault TMC-FT-Log-364 clear").status, 0);
    EXPECT_EQ(failsWith(), 0);

    ASSERT_EQ(lnsSim("resources 1.6").status, 0);
    std::ifstream fpt(lonWorks / "Types" / "User" / "HVI" / "HVI.fpt");
    std::string all((std::istreambuf_iterator<char>(fpt)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("Version=1.6"), std::string::npos) << all;
    ASSERT_EQ(lnsSim("resources remove").status, 0);
    EXPECT_FALSE(std::filesystem::exists(lonWorks / "Types" / "User" / "HVI" / "HVI.fpt"));

    ASSERT_EQ(lnsSim("transfer-speed 20").status, 0);
    EXPECT_EQ(installationOptions(lonWorks).transferSpeedFactor, 20.0);
    EXPECT_NE(lnsSim("transfer-speed 0").status, 0);
}

struct BadInput
{
    std::string args;
    std::string message;
};

class LnsSimBadInput : public LnsSimTest, public ::testing::WithParamInterface<BadInput>
{
};

TEST_P(LnsSimBadInput, FailsWithAMessageAndChangesNothing)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    const auto state = [this] {
        return lnsSim("get TMC-FT-Log-364 nciCtAmps").out + lnsSim("list").out +
               tellumic::test::readFile(home.root() / "LonWorks" / "Types" / "User" / "HVI" / "HVI.fpt");
    };
    const auto before = state();
    const auto r = lnsSim(GetParam().args);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
    EXPECT_EQ(state(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LnsSimBadInput,
    ::testing::Values(BadInput{"frobnicate", "Unknown command"}, BadInput{"set TMC-FT-Log-364 nciCtAmps abc", "not a valid value"},
                      BadInput{"set TMC-FT-Log-364 nciCtAmps", "takes 3 argument"},
                      BadInput{"get Nobody nciCtAmps", "No device named"},
                      BadInput{"get TMC-FT-Log-364 nvoNothing", "has no NV or CP"},
                      BadInput{"condition TMC-FT-Log-364 asleep", "Unknown condition"},
                      BadInput{"fault TMC-FT-Log-364 comm-fail-rate 2", "not a rate"},
                      BadInput{"fault TMC-FT-Log-364 last-error x", "not a whole number"},
                      BadInput{"fault TMC-FT-Log-364 gremlins 1", "Unknown fault"},
                      // Every number is checked whole and named with the option it was given to.
                      BadInput{"fault TMC-FT-Log-364 comm-fail-rate nan", "comm-fail-rate: 'nan' is not a rate"},
                      BadInput{"fault TMC-FT-Log-364 comm-fail-at 1e3", "comm-fail-at: '1e3' is not a whole number"},
                      BadInput{"fault TMC-FT-Log-364 log-short -1", "log-short: '-1' is not a whole number"},
                      BadInput{"transfer-speed nan", "transfer-speed: 'nan' is not a factor"},
                      BadInput{"latency 99999999999", "latency: '99999999999' is not a whole number"},
                      BadInput{"resources -1.5", "resources: '-1.5' is not a version"},
                      BadInput{"resources 1.", "resources: '1.' is not a version"},
                      BadInput{"resources 1.5.3", "resources: '1.5.3' is not a version"},
                      BadInput{"get TMC-FT-Log-364 F:2147483647/C:0:17", "names no functional block"},
                      BadInput{"get TMC-FT-Log-364 F:1e10/C:0:17", "names no functional block"},
                      BadInput{"get TMC-FT-Log-364 F:nan/C:0:17", "names no functional block"},
                      BadInput{"get TMC-FT-Log-364 F:-1/C:0:17", "names no functional block"},
                      BadInput{"fault TMC-FT-Log-364 log-fail-after -1", "log-fail-after: '-1' is not a whole number"},
                      BadInput{"fault TMC-FT-Log-364 log-fail-after soon", "not a whole number"}));

TEST_F(LnsSimTest, HelpAndMissingInstallation)
{
    const auto help = lnsSim("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: lns-sim"), std::string::npos);
    EXPECT_NE(help.out.find("soft-offline"), std::string::npos);
    const auto list = lnsSim("list");
    EXPECT_NE(list.status, 0);
    EXPECT_NE(list.out.find("lns-sim init"), std::string::npos) << list.out;
    EXPECT_FALSE(std::filesystem::exists(home.root() / "LonWorks"));
}

// A home this user may not write is a permission problem, not a missing installation. Run
// as an unprivileged user when the tests run as root (root may write anywhere).
TEST_F(LnsSimTest, AHomeItMayNotUseIsReportedAsPermissionDenied)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    const bool root = ::geteuid() == 0;
    const std::string as = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!root)
        std::filesystem::permissions(home.root(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    for (const char *command : {"list", "init", "fault TMC-FT-Log-364 clear", "transfer-speed 2"}) {
        const auto [status, out] = tellumic::test::runCommand(as + LNS_SIM_PATH + " " + command + " 2>&1");
        EXPECT_TRUE(status > 0) << command;
        EXPECT_NE(out.find("lns-sim: Permission denied"), std::string::npos) << command << ": " << out;
        EXPECT_EQ(out.find("lns-sim init' first"), std::string::npos) << command << ": " << out;
    }
    std::filesystem::permissions(home.root(), std::filesystem::perms::owner_all);
}

// A deleted network database is said to be missing, with its path; only init makes a new one.
TEST_F(LnsSimTest, AMissingNetworkDatabaseIsReportedNotReplaced)
{
    ASSERT_EQ(lnsSim("init").status, 0);
    const auto db = home.root() / "LonWorks" / "Database" / "network.sqlite";
    ASSERT_TRUE(std::filesystem::exists(db));
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(db.string() + suffix);
    for (const char *command : {"list", "fault TMC-FT-Log-364 clear", "transfer-speed 2"}) {
        const auto [status, out] = lnsSim(command);
        EXPECT_GT(status, 0) << command;
        EXPECT_NE(out.find("The network database " + db.string() + " of the installation in " + home.root().string() +
                           " is missing; run 'lns-sim init' to create it."),
                  std::string::npos)
            << command << ": " << out;
        EXPECT_FALSE(std::filesystem::exists(db)) << command;
    }
    // Nothing but the set-up makes one.
    EXPECT_THROW(tellumic::sim::SimControl{home.root() / "LonWorks"}, tellumic::RuntimeError);
    EXPECT_FALSE(std::filesystem::exists(db));
    ASSERT_EQ(lnsSim("init").status, 0);
    EXPECT_NE(lnsSim("list").out.find("TMC-FT-Log-364"), std::string::npos);
}

// Two inits at once end with one complete installation, whichever comes first.
TEST_F(LnsSimTest, InitRunTwiceAtOnceIsIdempotent)
{
    for (int round = 0; round < 4; ++round) {
        const auto where = home.root() / ("home" + std::to_string(round));
        const std::string command = "TELLUMIC_HOME='" + where.string() + "' " + LNS_SIM_PATH + " init 2>&1";
        FILE *first = ::popen(command.c_str(), "r");
        FILE *second = ::popen(command.c_str(), "r");
        std::string out;
        std::array<char, 4096> buf{};
        for (FILE *p : {first, second})
            while (auto n = std::fread(buf.data(), 1, buf.size(), p))
                out.append(buf.data(), n);
        for (FILE *p : {first, second}) {
            const int status = ::pclose(p);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
        }
        const std::string index = tellumic::test::readFile(where / "LonWorks" / "Types" / "ldrf.cat");
        std::istringstream lines(index);
        std::set<std::string> seen;
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(seen.insert(line).second) << "listed twice: " << line;
        EXPECT_EQ(seen.size(), 2u) << index;
        EXPECT_TRUE(std::filesystem::is_symlink(where / "LonWorks" / "types"));
    }
}

}  // namespace
}  // namespace tellumic::sim::test
