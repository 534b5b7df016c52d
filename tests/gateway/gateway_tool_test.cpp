// The built tellumic-gateway on the demo installation of a temporary TELLUMIC_HOME: its
// command line and exit statuses, /metrics scraped over HTTP and checked with promtool, a
// meter taken offline, hostile names, SIGTERM.

#include <chrono>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "gateway/metrics_text.h"
#include "model/si_value.h"
#include "sim/logging_site.h"
#include "tests/gateway/gateway_process.h"

namespace tellumic::gateway::test {
namespace {

using tellumic::test::runCommand;
using namespace std::chrono_literals;

struct CommandRow
{
    std::string name;
    std::string args;
    int status;
    std::string message;  // the start of what it prints on standard error
};

void PrintTo(const CommandRow &row, std::ostream *os)
{
    *os << row.name;
}

class GatewayCommandTest : public tellumic::test::HomeTest, public ::testing::WithParamInterface<CommandRow>
{
};

TEST_P(GatewayCommandTest, ExitStatusAndMessage)
{
    const auto &row = GetParam();
    sim::createDemoInstallation(home.root());
    const auto r = runCommand(kGateway + " " + row.args + " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, row.status) << r.out;
    EXPECT_EQ(r.out.substr(0, row.message.size()), row.message) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GatewayCommandTest,
    ::testing::Values(
        CommandRow{"NoNetwork", "--metrics :0", 2, "tellumic-gateway: name at least one NETWORK; see"},
        CommandRow{"NothingToPublish", "Demo", 2, "tellumic-gateway: nothing to publish: give --mqtt URL or --metrics"},
        CommandRow{"UnknownOption", "Demo --metrics :0 --bogus", 2, "tellumic-gateway: unknown option --bogus"},
        CommandRow{"BadRate", "Demo --metrics :0 --rate 0", 2, "tellumic-gateway: --rate takes whole seconds"},
        CommandRow{"BadPort", "Demo --metrics 127.0.0.1:70000", 2, "tellumic-gateway: --metrics takes a port"},
        CommandRow{"UnknownNetwork", "Nowhere --metrics :0", 2, "tellumic-gateway: cannot open network 'Nowhere': "},
        CommandRow{"UnknownMeter", "Demo --meter Nope --metrics :0", 2,
                   "tellumic-gateway: there is no meter 'Nope' in the networks given"},
        CommandRow{"NotAnAddress", "Demo --metrics localhost:0", 1,
                   "tellumic-gateway: 'localhost' is not an IP address to listen on"}),
    [](const auto &info) { return info.param.name; });

TEST(GatewayHelpTest, HelpNeedsNoHomeAndTouchesNone)
{
    const std::string home = ::testing::TempDir() + "gateway-help-home";
    std::filesystem::remove_all(home);
    const auto r = runCommand("TELLUMIC_HOME=" + home + " " + kGateway + " --help 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tellumic-gateway NETWORK...", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Exit status:"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home)) << "--help created TELLUMIC_HOME";
}

TEST(GatewayHelpTest, NoInstallationIsSaid)
{
    tellumic::test::TempHome home;
    const auto r = runCommand(kGateway + " Demo --metrics :0 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("there is no simulated LNS installation in"), std::string::npos) << r.out;
}

TEST_F(RunningGatewayTest, MetricsPassPromtoolEqualTheSimulatorAndAnOfflineMeterIsDownWithinAPeriod)
{
    // One meter: each device call waits on the channel, and the gateway does not share it out yet.
    startGateway("Demo", "--meter TMC-FT-362 --meter TMC-FT-BI-313 --metrics 127.0.0.1:0 --rate 2");
    std::string text = scrape();
    const auto check = runCommand("curl -sf http://127.0.0.1:" + m_port + "/metrics | promtool check metrics 2>&1");
    EXPECT_EQ(check.status, 0) << check.out;

    const std::string labels = "{network=\"Demo\",meter=\"TMC-FT-362\"}";
    EXPECT_EQ(sample(text, "tellumic_meter_up" + labels), "tellumic_meter_up" + labels + " 1") << text;
    auto volts = nv("nvoVoltsA", device("TMC-FT-362"));
    const auto expected = siValue(volts->Value(), volts->FormatSpec());
    ASSERT_TRUE(expected.has_value());
    const std::string head = "tellumic_meter_voltage_volts{network=\"Demo\",meter=\"TMC-FT-362\",phase=\"a\"}";
    const std::string line = sample(text, head);
    ASSERT_FALSE(line.empty()) << text;
    EXPECT_DOUBLE_EQ(std::stod(line.substr(head.size() + 1)), expected->value);
    EXPECT_NE(text.find("# TYPE tellumic_meter_energy_joules_total counter"), std::string::npos);

    sim::SimControl control(lonWorks);
    control.setCondition(control.device("TMC-FT-362").id, sim::DeviceCondition::Offline);
    const auto takenAway = std::chrono::steady_clock::now();
    while (sample(text, "tellumic_meter_up" + labels) != "tellumic_meter_up" + labels + " 0" &&
           std::chrono::steady_clock::now() - takenAway < 5s) {
        std::this_thread::sleep_for(100ms);
        text = scrape();
    }
    EXPECT_EQ(sample(text, "tellumic_meter_up" + labels), "tellumic_meter_up" + labels + " 0");
    EXPECT_LT(std::chrono::steady_clock::now() - takenAway, 3500ms) << "one period of two seconds, and a scrape";
    EXPECT_EQ(text.find(head), std::string::npos) << "no stale values of a meter that is down";

    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(tellumic::test::readFile(home.root() / "gateway.err"), "tellumic-gateway: SIGTERM, ended\n");
}

TEST_F(RunningGatewayTest, HostileNamesAreEscapedInLabels)
{
    const std::string network = "Pl\"ant\\ #1 +/x\ny";
    sim::createLoggingNetwork(lonWorks, network, 1);
    startGateway(network, "--metrics 127.0.0.1:0 --rate 2");
    const std::string text = scrape();
    const auto check = runCommand("curl -sf http://127.0.0.1:" + m_port + "/metrics | promtool check metrics 2>&1");
    EXPECT_EQ(check.status, 0) << check.out << text;
    const std::string escaped = escapeLabelValue(network);
    EXPECT_EQ(escaped, "Pl\\\"ant\\\\ #1 +/x\\ny");
    EXPECT_NE(text.find("tellumic_meter_up{network=\"" + escaped + "\",meter=\"" + escapeLabelValue(network) +
                        "-Meter-01\"} 1"),
              std::string::npos)
        << text;
    EXPECT_EQ(terminate(), 0);
}

}  // namespace
}  // namespace tellumic::gateway::test
