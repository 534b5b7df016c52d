#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>

#include <SQLiteCpp/SQLiteCpp.h>

#include <csignal>
#include <limits>

#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "device/monitor.h"
#include "foundation/child_process.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/ui_pump.h"
#include "host/object_names.h"
#include "host/device_templates.h"
#include "host/plugin_api.h"
#include "host/registration.h"
#include "foundation/resource_catalogue.h"
#include "sim/installation.h"
#include "sim/resource_files.h"
#include "sim/network_db.h"
#include "sim/sim_object_server.h"
#include "tests/host/plugin_fixture.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

// A plug-in process as a host drives it, with automation objects.
class PlugInApiTest : public test::PlugInProcessTest
{
protected:
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

    // A command handled while other LNS work holds the object server (a download processing
    // its events) leaves that hold in place.
    LnsBusy() = true;
    EXPECT_EQ(errorOf([&] { api.SendCommand(21, 7, "x"); }), 20003);
    EXPECT_TRUE(LnsBusy()) << "the running work's hold was ended by the command";
    LnsBusy() = false;

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
        EXPECT_EQ(lastReleases, 0);
    }
    EXPECT_EQ(lastReleases, 1);
    EXPECT_EQ(plugIn().ClientCount, 0);
    {
        LNSPlugInAPI api;
        api.SetVisible(true);
    }
    EXPECT_EQ(lastReleases, 1);
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
    // An installation whose database holds no network (only its set-up makes a database).
    sim::NetworkDb(sim::networkDbPath(empty), sim::NetworkDb::kBusyTimeout, sim::NetworkDb::Open::Create);
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

// Commands 50 and 51 work on the open network; sent before the host names one they fail
// with the registration error, and the plug-in goes on serving.
TEST_F(PlugInApiTest, RegistrationCommandsBeforeANetworkIsOpenFail)
{
    LNSPlugInAPI api;
    for (const std::int32_t command : {50, 51}) {
        try {
            api.SendCommand(command, 0, "");
            ADD_FAILURE() << "command " << command << " succeeded without a network";
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), 20000) << command;
            EXPECT_NE(e.description().find("networkName"), std::string::npos) << e.description();
        }
        EXPECT_FALSE(LnsBusy());
    }
    api.SetNetworkName("Demo");
    api.SendCommand(50, 0, "");
    api.SendCommand(51, 0, "");
}

// A host cannot make the window larger than the screens or move it off them.
TEST_F(PlugInApiTest, GeometryStaysOnTheScreens)
{
    LNSPlugInAPI api;
    api.SetVisible(true);
    const QRect screens = QGuiApplication::primaryScreen()->virtualGeometry();
    struct Row
    {
        const char *property;
        std::function<void(std::int32_t)> set;
        std::function<std::int32_t()> get;
        std::int32_t low, high;
    };
    const Row rows[] = {
        {"Width", [&](std::int32_t v) { api.SetWidth(v); }, [&] { return api.Width(); }, 1, screens.width()},
        {"Height", [&](std::int32_t v) { api.SetHeight(v); }, [&] { return api.Height(); }, 1, screens.height()},
        {"Left", [&](std::int32_t v) { api.SetLeft(v); }, [&] { return api.Left(); }, screens.left(), screens.right()},
        {"Top", [&](std::int32_t v) { api.SetTop(v); }, [&] { return api.Top(); }, screens.top(), screens.bottom()},
    };
    for (const auto &row : rows) {
        for (const std::int32_t value : {16777215, std::numeric_limits<std::int32_t>::max(), -16777215,
                                         std::numeric_limits<std::int32_t>::min()}) {
            row.set(value);
            QApplication::processEvents();
            EXPECT_GE(row.get(), row.low) << row.property << " " << value;
            EXPECT_LE(row.get(), row.high) << row.property << " " << value;
        }
    }
    api.SetWidth(screens.width());
    EXPECT_EQ(api.Width(), screens.width());
}

// The network database locked by another program while a device is browsed: the failures
// take the plug-in's error paths, and no exception of the database escapes.
TEST_F(PlugInApiTest, ALockedDatabaseWhileBrowsingIsReportedNotFatal)
{
    options.databaseBusyTimeout = std::chrono::milliseconds(0);
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    SQLite::Database other((lonWorks / "Database" / "network.sqlite").string(), SQLite::OPEN_READWRITE);
    other.exec("BEGIN IMMEDIATE");
    try {
        api.SendCommand(20, 7, "Demo/Demo/Meters/TMC-FT-Log-364");
        api.SendCommand(50, 0, "");
    } catch (const RuntimeError &e) {
        EXPECT_NE(e.description().find("locked"), std::string::npos) << e.description();
    }
    EXPECT_FALSE(LnsBusy());
    bool told = false;
    for (const auto &shown : home.dialogs.shown())
        told = told || shown.text.find("database is locked") != std::string::npos;
    EXPECT_TRUE(told);
    other.exec("ROLLBACK");
    api.SendCommand(20, 7, "Demo/Demo/Meters/TMC-FT-Log-364");
    EXPECT_EQ(plugIn().CurrentDeviceName, "TMC-FT-Log-364");
}

// A dialogs service that runs a step of the test when a box comes, then answers.
class StepDialogs final : public Dialogs
{
public:
    std::function<MsgResult(std::string_view text)> answer;
    int asked = 0;
    MsgResult messageBox(std::string_view text, int, std::string_view) override
    {
        ++asked;
        return answer(text);
    }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
};

// A failing step of the LonMark look-up: Retry runs that step again, Ignore goes on with
// the next object; neither starts the look-up over.
TEST_F(PlugInApiTest, LookUpRetriesOrIgnoresTheFailedStep)
{
    setResourceCatalogueFactory([] { return sim::makeResourceCatalogue(); });
    options.databaseBusyTimeout = std::chrono::milliseconds(0);
    LNSPlugInAPI api;
    api.SetNetworkName("Demo");
    auto device = plugIn().CurrentSystem->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    auto objects = device->GetInterface()->LonMarkObjects();
    std::vector<std::string> makers;  // the objects the maker's profiles cover
    for (const auto &o : objects)
        if (o->FunctionalProfileKey() != 0)
            makers.push_back(o->Name());
    ASSERT_GE(makers.size(), 2u);

    for (const MsgResult answer : {MsgResult::Retry, MsgResult::Ignore}) {
        for (const auto &o : objects)
            o->SetMode(0);
        // The first mode write meets a lock; the box takes the lock away and answers.
        auto other = std::make_unique<SQLite::Database>((lonWorks / "Database" / "network.sqlite").string(),
                                                        SQLite::OPEN_READWRITE);
        other->exec("BEGIN IMMEDIATE");
        StepDialogs dialogs;
        dialogs.answer = [&](std::string_view) {
            other.reset();
            return answer;
        };
        setDialogs(&dialogs);
        std::vector<std::string> titles;
        EXPECT_TRUE(DrfLookUp(*device, [&](const std::string &t) { titles.push_back(t); }));
        setDialogs(&home.dialogs);
        EXPECT_EQ(dialogs.asked, 1);
        EXPECT_EQ(std::count(titles.begin(), titles.end(), "Complete DRF look-up in progress..."), 1);
        for (std::size_t i = 0; i < makers.size(); ++i) {
            const auto mode = objects.Item(makers[i])->Mode();
            EXPECT_EQ(mode, answer == MsgResult::Ignore && i == 0 ? 0 : 3) << makers[i] << " after " << static_cast<int>(answer);
        }
    }
    setResourceCatalogueFactory(nullptr);
}

// The watchdog ends a plug-in stuck in a blocking step (here the XIF converter, which never
// finishes): the process ends there and then, the converter with it, and the step does
// not go on with the state EndPlugIn released.
TEST_F(PlugInApiTest, TheWatchdogEndsTheProcessAndItsConverter)
{
    const auto pidFile = home.root() / "converter.pid";
    const auto converter = lonWorks / "bin" / "XIF32BIN";
    std::filesystem::remove(converter);
    // The number appears whole (a rename), so that what the watchdog's pump waits for is what
    // the test reads afterwards: a file created by the shell may still be empty.
    test::writeFile(converter, "#!/bin/sh\necho $$ > '" + pidFile.string() + ".part' && mv '" + pidFile.string() + ".part' '" +
                                   pidFile.string() + "'\nexec sleep 600\n");
    std::filesystem::permissions(converter, std::filesystem::perms::owner_all);
    const auto xif = lonWorks / "Import" / "TMC-FT-Log-364.xif";
    ASSERT_TRUE(std::filesystem::exists(xif));

    const int status = test::runInChild([&] {
        LNSPlugInAPI api;
        api.SetNetworkName("Demo");
        // As the plug-in's main wires it.
        ProgressWindow::setExpiredHandler([] { EndPlugIn(); });
        setProcessEndHandler([] { endProcessNow(0); });
        setUiPump([this, pidFile] {
            if (!std::filesystem::exists(pidFile))
                return;  // the converter has not started yet
            home.clock.advance(Watchdog::kTimeout);
            if (ProgressWindow::isLoaded())
                ProgressWindow::instance().checkWatchdog();
        });
        DisplayStatus("Registering plug-in . . .");
        XIF_and_XFB(xif.string());
        ::_exit(42);  // the blocking step ran on
    });
    EXPECT_EQ(status, 0);
    const std::string pidText = test::readFile(pidFile);
    ASSERT_FALSE(pidText.empty() || pidText.back() != '\n') << "the converter's number: " << pidText;
    const auto pid = std::stoi(pidText);
    // Gone, or a zombie waiting for whoever adopted it.
    const std::string state = test::readFile("/proc/" + std::to_string(pid) + "/stat");
    EXPECT_TRUE(state.empty() || state.find(") Z ") != std::string::npos) << state;
    if (!state.empty())
        ::kill(pid, SIGKILL);  // a converter left running would outlive the test
}

}  // namespace
}  // namespace tellumic
