#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>

#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "device/monitor.h"
#include "foundation/plugin_state.h"
#include "host/object_names.h"
#include "host/device_templates.h"
#include "host/plugin_api.h"
#include "host/registration.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

int g_lastReleases = 0;

// A plug-in process as a host drives it: the demo installation, the simulated object
// server as the composition root installs it, and automation objects.
class PlugInApiTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        plugIn() = PlugInState{};
        LnsBusy() = false;
        g_lastReleases = 0;
        setObjectServerFactory([this] {
            sim::SimOptions options;
            options.clock = &home.clock;
            auto server = std::make_shared<sim::SimObjectServer>(lonWorks, options);
            ++serversMade;
            return server;
        });
        LNSPlugInAPI::setLastReleaseHandler([] { ++g_lastReleases; });
        setProcessEndHandler([] {});
    }
    void TearDown() override
    {
        if (DeviceWindow::exists())
            delete &DeviceWindow::instance();
        plugIn() = PlugInState{};
        monitorState() = MonitorState{};
        CurrentNvs() = {};
        setObjectServerFactory(nullptr);
        setProcessEndHandler(nullptr);
        LnsBusy() = false;
    }

    static std::int32_t errorOf(const std::function<void()> &call)
    {
        try {
            call();
        } catch (const RuntimeError &e) {
            return e.number();
        }
        return 0;
    }
    static std::string descriptionOf(const std::function<void()> &call)
    {
        try {
            call();
        } catch (const RuntimeError &e) {
            return e.description();
        }
        return {};
    }

    std::filesystem::path lonWorks;
    int serversMade = 0;
};

TEST_F(PlugInApiTest, BrowseOpensTheDeviceWindowByFourPartAndPrefixedNames)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    EXPECT_EQ(api.networkName(), "Demo");
    api.SendCommand(20, 7, "Demo/Demo/Meters/TMC-FT-Log-364");
    ASSERT_TRUE(plugIn().CurrentDevice);
    EXPECT_EQ(plugIn().CurrentDeviceName, "TMC-FT-Log-364");
    EXPECT_EQ(DeviceWindow::instance().findChild<QLineEdit *>("txtNodeName")->text(), "TMC-FT-Log-364");
    EXPECT_FALSE(LnsBusy());

    // A second device in the same process: the first one's NVs are no longer monitored.
    auto first = plugIn().CurrentDevice;
    DeviceWindow::instance().tabs().setCurrentIndex(1);
    DeviceWindow::instance().Timer1_Timer();
    EXPECT_TRUE(first->GetInterface()->Nvs().Item("nvoPowerSum")->IsMonitorOn());
    api.SendCommand(20, 7, "net:Demo/sys:Demo/sub:Meters/dev:TMC-FT-Plus-333");
    EXPECT_EQ(plugIn().CurrentDeviceName, "TMC-FT-Plus-333");
    EXPECT_FALSE(first->GetInterface()->Nvs().Item("nvoPowerSum")->IsMonitorOn());
    EXPECT_EQ(objectNames().LastObjectName, "net:Demo/sys:Demo/sub:Meters/dev:TMC-FT-Plus-333");
}

TEST_F(PlugInApiTest, TheDeviceWindowOffersTheTypeChangeOfA363)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    api.SendCommand(20, 7, "Demo/Demo/Meters/TMC-FT-Log-364");
    auto &window = DeviceWindow::instance();
    const auto actions = window.queue().registeredActions();
    for (const char *name : {"ChangeCurrentType", "ChangeDemandType", "ChangeEnergyType", "ChangeFreqType",
                             "ChangePowerFactType", "ChangePowerType", "ChangeReacPwrType", "ChangeVoltType"})
        EXPECT_NE(std::find(actions.begin(), actions.end(), name), actions.end()) << name;
    ASSERT_TRUE(window.changeTypesAction()->isEnabled());
    window.changeTypesAction()->trigger();
    auto *dialog = window.findChild<QWidget *>("fChangeType");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PlugInApiTest, CommandErrorsReachTheHostWithTheirNumbers)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    EXPECT_EQ(errorOf([&] { api.SendCommand(21, 7, "Demo/Demo/Meters/TMC-FT-362"); }), 20003);
    EXPECT_EQ(descriptionOf([&] { api.SendCommand(21, 7, "x"); }), "Command not supported");
    EXPECT_EQ(errorOf([&] { api.SendCommand(20, 8, "Demo/Demo/Meters/TMC-FT-362"); }), 20004);
    EXPECT_EQ(errorOf([&] { api.SendCommand(20, 7, "TMC-FT-362"); }), 20005);
    EXPECT_EQ(descriptionOf([&] { api.SendCommand(20, 7, "Demo/Demo/Meters/Nothing"); }),
              "CommandReceived(): Object not found");
    EXPECT_FALSE(LnsBusy());
    const auto &shown = home.dialogs.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].caption, "Tellumic Plug-in Error");
    EXPECT_EQ(shown[0].text, "Tellumic Plug-in error in SendCommand(): 20003,Command not supported");
}

TEST_F(PlugInApiTest, NetworkIsOpenedOnceAndAFailureSaysWhich)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    auto network = plugIn().CurrentNetwork;
    api.SetNetworkName("Demo");
    EXPECT_EQ(plugIn().CurrentNetwork, network);
    EXPECT_EQ(serversMade, 1);
    EXPECT_EQ(descriptionOf([&] { api.SetNetworkName("Nowhere"); }), "Cannot open the network Nowhere");
    EXPECT_FALSE(plugIn().NetworkOpened);
    EXPECT_EQ(api.networkName(), "");
    api.SetNetworkName("Demo");
    EXPECT_TRUE(plugIn().NetworkOpened);
}

TEST_F(PlugInApiTest, PropertiesAndTheirErrors)
{
    LNSPlugInAPI api;
    EXPECT_EQ(api.Version(), "1.11");
    EXPECT_EQ(api.ManufacturerID(), "47077");
    EXPECT_EQ(api.ManufacturerName(), "Halvern Instruments, LLC");
    EXPECT_EQ(api.LcaVersion(), "3.0");
    EXPECT_EQ(api.Name(), "Tellumic LNS Plug-In");
    EXPECT_EQ(errorOf([] { LNSPlugInAPI::refuseWrite("Version"); }), 20002);

    api.SetDevelopmentProgramId("80B7E515000A040");
    EXPECT_EQ(api.DevelopmentProgramId(), "");
    api.SetDevelopmentProgramId("80B7E515000A040A");
    EXPECT_EQ(api.DevelopmentProgramId(), "80B7E515000A040A");
    api.SetDevelopmentProgramId("80B7E515000A040AB");
    EXPECT_EQ(api.DevelopmentProgramId(), "");

    // Minimising a hidden window sets the state and still reports the error.
    EXPECT_FALSE(api.Visible());
    EXPECT_EQ(descriptionOf([&] { api.SetMinimized(true); }),
              "Can not modify the minimzed property when invisble. The property will be applied the next time the "
              "plug-in is made visible");
    EXPECT_TRUE(api.Minimized());
    EXPECT_EQ(errorOf([&] { api.SetHeight(500); }), 20006);
    EXPECT_EQ(errorOf([&] { api.SetMinimized(false); }), 20006);  // hidden: reported again
    EXPECT_FALSE(api.Minimized());
    EXPECT_EQ(errorOf([&] { api.SetHeight(500); }), 0);
}

TEST_F(PlugInApiTest, LastReleaseEndsThePlugInOnlyWhileTheWindowIsHidden)
{
    {
        auto a = std::make_unique<LNSPlugInAPI>();
        auto b = std::make_unique<LNSPlugInAPI>();
        EXPECT_EQ(plugIn().ClientCount, 2);
        EXPECT_EQ(serversMade, 1);
        a.reset();
        EXPECT_EQ(g_lastReleases, 0);
    }
    EXPECT_EQ(g_lastReleases, 1);
    EXPECT_EQ(plugIn().ClientCount, 0);
    {
        LNSPlugInAPI api;
        api.SetVisible(true);
    }
    EXPECT_EQ(g_lastReleases, 1);
}

TEST_F(PlugInApiTest, NetworkRegistrationIsIdempotentAndDeregistrationRemovesIt)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    auto browseApps = [] {
        int count = 0;
        for (const auto &t : plugIn().CurrentSystem->DeviceTemplates())
            for (const auto &app : t->ComponentApplications()->Items())
                count += app->ProgId() == kProgId && app->CommandId() == 20 ? 1 : 0;
        return count;
    };
    api.SendCommand(50, 0, "");
    EXPECT_FALSE(LnsBusy());  // cleared after register and deregister too
    EXPECT_EQ(browseApps(), 9);
    api.SendCommand(50, 0, "");
    EXPECT_EQ(browseApps(), 9);
    auto templ = plugIn().CurrentSystem->DeviceTemplates().Item("80B7E515000A040A");
    auto app = templ->ComponentApplications()->Items().Item(1);
    EXPECT_EQ(app->Name(), "Browse Tellumic");
    EXPECT_EQ(app->Description(), "Browse Tellumic variables");
    EXPECT_EQ(app->Version(), "1.11");
    EXPECT_EQ(app->ManufacturerId(), "47077");
    EXPECT_FALSE(app->IsDefault());
    api.SendCommand(51, 0, "");
    EXPECT_FALSE(LnsBusy());
    EXPECT_EQ(browseApps(), 0);
}

TEST_F(PlugInApiTest, CleanupRemovesTheCommandsFromEveryNetwork)
{
    {
        LNSPlugInAPI api;
        api.SetNetworkName("Demo");
        api.SendCommand(50, 0, "");
    }
    plugIn() = PlugInState{};
    productTables().programIdCount = 0;  // as in a stand-alone start
    Cleanup(false);
    EXPECT_FALSE(plugIn().ObjectServer);
    EXPECT_FALSE(plugIn().CurrentNetwork);
    sim::SimObjectServer server(lonWorks);
    server.Open();
    auto network = server.Networks().Item("Demo");
    network->Open();
    auto system = network->Systems().Item(1);
    system->Open();
    int remaining = 0;
    for (const auto &t : system->DeviceTemplates())
        remaining += t->ComponentApplications()->Items().Count();
    EXPECT_EQ(remaining, 0);
}

TEST_F(PlugInApiTest, CleanupWithoutNetworksOnlyOpensAndClosesTheServer)
{
    const auto empty = home.root() / "EmptyLonWorks";
    std::filesystem::create_directories(empty);
    std::shared_ptr<sim::SimObjectServer> made;
    setObjectServerFactory([&] {
        made = std::make_shared<sim::SimObjectServer>(empty);
        return made;
    });
    Cleanup(true);
    ASSERT_TRUE(made);
    EXPECT_FALSE(made->IsOpen());
    made->Open();
    EXPECT_EQ(made->Networks().Count(), 0);
    EXPECT_FALSE(plugIn().ObjectServer);
    EXPECT_TRUE(home.dialogs.shown().empty());
}

TEST_F(PlugInApiTest, TemplateNamesGetANumberWhenTaken)
{
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    auto &system = *plugIn().CurrentSystem;
    const std::string taken = system.DeviceTemplates().Item(1)->Name();
    EXPECT_EQ(FindName(system, "Fresh Name"), "Fresh Name");
    EXPECT_EQ(FindName(system, taken), taken + " (1)");
    system.AddDeviceTemplate(taken + " (1)");
    EXPECT_EQ(FindName(system, taken), taken + " (2)");
}

}  // namespace
}  // namespace tellumic
