// What the network browser reads through the object-server interfaces, without a window:
// devices with model, commands and state, refreshed states, and the last record of a logging
// meter's logs.

#include <gtest/gtest.h>

#include "browser/network_snapshot.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "sim/installation.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/logview/log_lines.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

using browser::DeviceEntry;
using browser::NetworkReader;

TEST(DeviceStateTextTest, NodeStatesAsAnEngineerReadsThem)
{
    struct Row
    {
        bool commissioned;
        std::int32_t nodeState;
        const char *text;
    };
    const Row rows[] = {
        {true, 4, "Online"},         {true, 6, "Offline"},    {true, 12, "Soft offline"},
        {true, 2, "Unconfigured"},   {true, 3, "Applicationless"}, {true, 140, "Bypassed"},
        {false, 4, "Uncommissioned"}, {true, 9, "Unknown (9)"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(browser::deviceStateText(r.commissioned, r.nodeState), r.text) << r.nodeState;
}

class NetworkReaderTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        folder = sim::createDemoInstallation(home.root()).lonWorksFolder;
        server = std::make_unique<sim::SimObjectServer>(folder);
    }
    const DeviceEntry *find(const std::vector<browser::NetworkEntry> &networks, const std::string &name)
    {
        for (const auto &n : networks)
            for (const auto &s : n.subsystems)
                for (const auto &d : s.devices)
                    if (d.name == name)
                        return &d;
        return nullptr;
    }

    std::filesystem::path folder;
    std::unique_ptr<sim::SimObjectServer> server;
};

TEST_F(NetworkReaderTest, ReadsDevicesWithModelCommandsAndState)
{
    // A plug-in's command on the logging meter's template, as registration adds it.
    {
        server->Open();
        auto system = server->Networks().Item("Demo")->Systems().Item(1);
        server->Networks().Item("Demo")->Open();
        system->Open();
        const auto meter = system->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
        auto app = system->DeviceTemplates().Item(meter->TemplateName())->ComponentApplications()->Add(
            "Browse Tellumic", "Tellumic_PlugIn.LNSPlugInAPI", 7);
        app->SetCommandId(20);
        server->Close();
    }
    NetworkReader reader(*server);
    const auto networks = reader.read();
    ASSERT_EQ(networks.size(), 1u);
    EXPECT_EQ(networks[0].name, "Demo");
    EXPECT_EQ(networks[0].system, "Demo");
    ASSERT_EQ(networks[0].subsystems.size(), 1u);
    EXPECT_EQ(networks[0].subsystems[0].devices.size(), 10u);

    const DeviceEntry *logger = find(networks, "TMC-FT-Log-364");
    ASSERT_TRUE(logger);
    EXPECT_EQ(logger->objectName, "Demo/Demo/Meters/TMC-FT-Log-364");
    EXPECT_EQ(logger->network, "Demo");
    EXPECT_EQ(logger->model, "TMC-FT-Log-364");
    EXPECT_EQ(logger->programId, "80B7E515000A040A");
    EXPECT_TRUE(logger->logging);
    EXPECT_EQ(logger->state, "Online");
    ASSERT_EQ(logger->commands.size(), 1u);
    EXPECT_EQ(logger->commands[0].name, "Browse Tellumic");
    EXPECT_EQ(logger->commands[0].progId, "Tellumic_PlugIn.LNSPlugInAPI");
    EXPECT_EQ(logger->commands[0].commandId, 20);
    EXPECT_EQ(logger->commands[0].objectType, 7);
    EXPECT_EQ(browser::commandOf(*logger, 0), &logger->commands[0]);
    EXPECT_EQ(browser::commandOf(*logger, 1), nullptr);

    const DeviceEntry *thermostat = find(networks, "Thermostat");
    ASSERT_TRUE(thermostat);
    EXPECT_EQ(thermostat->model, "");
    EXPECT_FALSE(thermostat->logging);
    EXPECT_TRUE(thermostat->commands.empty());
    EXPECT_FALSE(find(networks, "TMC-FT-362")->logging);

    EXPECT_THROW(reader.readNetwork("Nowhere"), RuntimeError);
}

TEST_F(NetworkReaderTest, RefreshReadsTheStatesThatAnotherProgramSet)
{
    NetworkReader reader(*server);
    auto networks = reader.read();
    sim::SimControl control(folder);
    control.setCondition(control.device("TMC-FT-Log-364").id, sim::DeviceCondition::Offline);
    control.setCondition(control.device("Thermostat").id, sim::DeviceCondition::Uncommissioned);
    EXPECT_EQ(find(networks, "TMC-FT-Log-364")->state, "Online");
    reader.refresh(networks);
    EXPECT_EQ(find(networks, "TMC-FT-Log-364")->state, "Offline");
    EXPECT_EQ(find(networks, "Thermostat")->state, "Uncommissioned");
    EXPECT_EQ(find(networks, "TMC-FT-362")->state, "Online");
}

// A plug-in that another program registers in the network (or deregisters) shows in the
// devices' commands at the next refresh.
TEST_F(NetworkReaderTest, RefreshReadsTheCommandsThatAnotherProgramRegistered)
{
    NetworkReader reader(*server);
    auto networks = reader.read();
    ASSERT_TRUE(find(networks, "TMC-FT-Log-364")->commands.empty());
    {
        sim::SimObjectServer other(folder);
        other.Open();
        auto network = other.Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        const auto meter = system->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
        system->DeviceTemplates().Item(meter->TemplateName())->ComponentApplications()->Add(
            "Browse Tellumic", "Tellumic_PlugIn.LNSPlugInAPI", 7)->SetCommandId(20);
        network->Close();
    }
    reader.refresh(networks);
    ASSERT_EQ(find(networks, "TMC-FT-Log-364")->commands.size(), 1u);
    EXPECT_EQ(find(networks, "TMC-FT-Log-364")->commands[0].name, "Browse Tellumic");
    EXPECT_EQ(find(networks, "TMC-FT-Log-364")->commands[0].commandId, 20);
    EXPECT_TRUE(find(networks, "Thermostat")->commands.empty());
}

// The newest of a meter's two logs, by the time of its last record; what cannot be read says so.
TEST_F(NetworkReaderTest, LogStatusTakesTheNewestLog)
{
    const auto longLog = programFolder() / logFileName("TMC-FT-Log-364", false);
    const auto shortLog = programFolder() / logFileName("TMC-FT-Log-364", true);
    struct Row
    {
        const char *what;
        std::int32_t longLast;   // 0: no long log
        std::int32_t shortLast;  // 0: no short log
        std::filesystem::path expectedFile;
        std::int32_t expectedRecord;
    };
    // Records are 15 minutes apart, numbered from the same start: the higher number is later.
    const Row rows[] = {
        {"no log", 0, 0, {}, 0},
        {"long only", 120, 0, longLog, 120},
        {"short only", 0, 30, shortLog, 30},
        {"short later", 50, 80, shortLog, 80},
        {"long later", 90, 20, longLog, 90},
    };
    const auto start = test::civil(2011, 3, 1);
    for (const Row &r : rows) {
        std::filesystem::remove(longLog);
        std::filesystem::remove(shortLog);
        if (r.longLast)
            test::writeFile(longLog, test::logText(test::loadRecords(static_cast<std::size_t>(r.longLast), 1, start), false));
        if (r.shortLast)
            test::writeFile(shortLog, test::logText(test::loadRecords(static_cast<std::size_t>(r.shortLast), 1, start), true));
        const auto status = browser::readLogStatus("TMC-FT-Log-364");
        EXPECT_EQ(status.file, r.expectedFile) << r.what;
        EXPECT_EQ(status.last.recordNumber, r.expectedRecord) << r.what;
        EXPECT_EQ(status.error, "") << r.what;
    }

    std::filesystem::remove(shortLog);
    test::writeFile(longLog, std::string(logCsvHeader(false)) + "\r\n");
    auto status = browser::readLogStatus("TMC-FT-Log-364");
    EXPECT_EQ(status.file, longLog);
    EXPECT_EQ(status.last.recordNumber, 0) << "a log without records";

    std::filesystem::remove(longLog);
    std::filesystem::create_directory(longLog);
    status = browser::readLogStatus("TMC-FT-Log-364");
    EXPECT_EQ(status.file, longLog);
    EXPECT_NE(status.error, "") << "a folder in the log's place";
}

}  // namespace
}  // namespace tellumic
