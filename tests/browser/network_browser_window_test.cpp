// The network browser on the simulated installation, driven as users and screen readers
// drive it: the first-run offer, the tree and its states, the Simulator menu, the logs,
// and failures told in the window.

#include <QApplication>
#include <QContextMenuEvent>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <SQLiteCpp/SQLiteCpp.h>

#include "browser/sim_installation.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "log/log_csv.h"
#include "logview/log_viewer_window.h"
#include "sim/network_db.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/browser/browser_fixture.h"
#include "tests/logview/log_lines.h"

namespace tellumic {
namespace {

using browser::NetworkTreeModel;

constexpr const char *kLogMeter = "Demo/Demo/Meters/TMC-FT-Log-364";

sim::DeviceInfo simDevice(const std::string &objectName)
{
    return sim::SimControl(sim::installedLonWorksFolder()).device(objectName);
}

class NetworkBrowserTest : public test::BrowserTest
{
};

TEST_F(NetworkBrowserTest, FirstRunOffersTheDemoInstallationAndMakesIt)
{
    openWindow();
    ASSERT_TRUE(window->offeringDemo());
    const QString offer = window->findChild<QLabel *>("offerText")->text();
    const QString root = QString::fromStdString(home.root().string());
    EXPECT_TRUE(offer.startsWith("There is no LonWorks installation in " + root + ".")) << offer.toStdString();
    EXPECT_TRUE(offer.contains("It is made in " + root + "/LonWorks")) << offer.toStdString();
    EXPECT_EQ(model().rowCount(), 0);
    window->tick();
    EXPECT_FALSE(std::filesystem::exists(registryStorePath())) << "nothing is made before the user asks";

    auto *create = window->findChild<QPushButton *>("cmdCreateDemo");
    ASSERT_TRUE(create);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(create)->text(QAccessible::Name).remove('&'),
              "Create Demo Installation");
    ASSERT_TRUE(test::press(create));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->offeringDemo(); }, test::kProcessWaitMs));
    EXPECT_TRUE(browser::SimInstallation::present());
    EXPECT_TRUE(window->status().startsWith("Created the demo installation in " + root + "/LonWorks."))
        << window->status().toStdString();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Online");
    EXPECT_EQ(sim::lonWorksPathSetting(registryStorePath()), (home.root() / "LonWorks").string());
}

// The window carries the icon its desktop entry names (from the icon theme, or its own where
// the theme lacks it), so that a task bar shows the browser as the menu does.
TEST_F(NetworkBrowserTest, TheWindowCarriesItsIcon)
{
    openWindow();
    EXPECT_FALSE(window->windowIcon().pixmap(32, 32).isNull());
    EXPECT_FALSE(browser::NetworkBrowserWindow::icon().pixmap(64, 64).isNull());
}

TEST_F(NetworkBrowserTest, AnInstallationMadeElsewhereShowsAtTheNextRefresh)
{
    openWindow();
    ASSERT_TRUE(window->offeringDemo());
    makeDemo();  // lns-sim init in another terminal
    window->tick();
    EXPECT_FALSE(window->offeringDemo());
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kName), "TMC-FT-Log-364");
}

// Every device with its model, program ID, state and commands, as a screen reader reads
// the row.
TEST_F(NetworkBrowserTest, TreeShowsNetworksSubsystemsAndDevices)
{
    makeDemo();
    openWindow();
    ASSERT_EQ(model().rowCount(), 1);
    const QModelIndex demo = model().index(0, 0);
    EXPECT_EQ(demo.data().toString(), "Demo");
    ASSERT_EQ(model().rowCount(demo), 1);
    const QModelIndex meters = model().index(0, 0, demo);
    EXPECT_EQ(meters.data().toString(), "Meters");
    EXPECT_EQ(model().rowCount(meters), 10);

    struct Row
    {
        QString name, model, programId, commands, lastRecord;
    };
    const Row rows[] = {
        {"TMC-FT-362", "TMC-FT-362", "80B7E515008A0409", "No plug-in", ""},
        {"TMC-FT-Log-364", "TMC-FT-Log-364", "80B7E515000A040A", "No plug-in", "No log yet"},
        {"TMB-FT-Int-211", "TMB-FT-Int-211", "80B7E515000A0403", "No plug-in", ""},
        {"TMC-FT-Log-PT-370", "TMC-FT-Log-PT-370", "90B7E515000A040D", "No plug-in", "No log yet"},
        {"Thermostat", "Not a Tellumic meter", "9F1234560A040101", "No plug-in", ""},
    };
    for (const Row &r : rows) {
        const QStringList heard = accessibleRow(r.name);
        const QStringList expected = {r.name, r.model, r.programId, "Online", r.commands, r.lastRecord, ""};
        EXPECT_EQ(heard, expected) << r.name.toStdString();
    }
    EXPECT_EQ(window->status(), "1 network, 10 devices in " + QString::fromStdString(home.root().string()));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->tree())->text(QAccessible::Name), "Networks and devices");
}

TEST_F(NetworkBrowserTest, ADeviceTakenOfflineShowsOfflineAtTheNextRefresh)
{
    makeDemo();
    openWindow();
    auto *timer = window->findChild<QTimer *>("refreshTimer");
    ASSERT_TRUE(timer);
    EXPECT_TRUE(timer->isActive());
    EXPECT_LE(timer->interval(), 2000);
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));

    // lns-sim condition TMC-FT-Log-364 offline, in another program.
    sim::SimControl control(sim::installedLonWorksFolder());
    control.setCondition(simDevice(kLogMeter).id, sim::DeviceCondition::Offline);
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Online") << "not before the refresh";
    window->tick();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Offline");
    EXPECT_EQ(window->tree()->currentIndex().data().toString(), "TMC-FT-Log-364") << "the selection stays";
    control.setCondition(simDevice(kLogMeter).id, sim::DeviceCondition::Uncommissioned);
    window->tick();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Uncommissioned");
}

// The Simulator menu acts on the selected device through the simulator's control API.
// A refresh that brings a longer state than the tree showed widens its column: no state is
// cut off ("Soft Offli...").
TEST_F(NetworkBrowserTest, EveryStateIsShownWholeAfterARefresh)
{
    makeDemo();
    openWindow();
    sim::SimControl control(sim::installedLonWorksFolder());
    QTreeView *tree = window->tree();
    const QAbstractItemView *view = tree;  // the widest cell, as the view measures it
    for (const auto &choice : browser::conditionChoices()) {
        SCOPED_TRACE(choice.label);
        control.setCondition(simDevice(kLogMeter).id, choice.condition);
        window->tick();
        ASSERT_EQ(cell(kLogMeter, NetworkTreeModel::kState).toLower(), QString::fromLatin1(choice.label).toLower());
        EXPECT_GE(tree->columnWidth(NetworkTreeModel::kState), view->sizeHintForColumn(NetworkTreeModel::kState));
    }
}

TEST_F(NetworkBrowserTest, SimulatorMenuChangesTheSelectedDevice)
{
    makeDemo();
    openWindow();
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    struct Row
    {
        const char *entry;
        const char *state;
        std::int32_t nodeState;
        bool commissioned;
    };
    const Row rows[] = {
        {"Offline", "Offline", 6, true},         {"Soft Offline", "Soft offline", 12, true},
        {"Unconfigured", "Unconfigured", 2, true}, {"Uncommissioned", "Uncommissioned", 4, false},
        {"Online", "Online", 4, true},
    };
    for (const Row &r : rows) {
        ASSERT_TRUE(choose("Simulator", "Device Condition", r.entry)) << r.entry;
        EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), r.state) << "shown at once";
        const auto d = simDevice(kLogMeter);
        EXPECT_EQ(d.nodeState, r.nodeState) << r.entry;
        EXPECT_EQ(d.commissioned, r.commissioned) << r.entry;
    }

    ASSERT_TRUE(choose("Simulator", "Transfer Speed", "50 Times Faster"));
    EXPECT_EQ(browser::SimInstallation::transferSpeed(), 50);
    ASSERT_TRUE(choose("Simulator", "Make Log Downloads Fail"));
    sim::SimControl control(sim::installedLonWorksFolder());
    ASSERT_TRUE(choose("Simulator", "Clear Faults"));
    EXPECT_TRUE(window->status().endsWith("has no simulated faults.")) << window->status().toStdString();

    // The reference load's dialog, filled in by keys as a user fills it.
    ASSERT_TRUE(choose("Simulator", "Reference Load..."));
    auto *dialog = window->findChild<QDialog *>("referenceLoadDialog");
    ASSERT_TRUE(dialog);
    auto *amps = dialog->findChild<QDoubleSpinBox *>("amps");
    ASSERT_TRUE(amps);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(amps)->text(QAccessible::Name), "Current:");
    amps->setFocus();
    amps->selectAll();
    QTest::keyClicks(amps, "101");
    QTest::keyClick(amps, Qt::Key_Return);
    EXPECT_EQ(window->status(), "Demo/Demo/Meters/TMC-FT-Log-364 measures a reference source of 120 V, 101 A, power "
                                "factor 1 on every phase.");
    const auto loads = control.referenceLoads(simDevice(kLogMeter).id);
    for (const auto &load : loads) {
        ASSERT_TRUE(load.has_value());
        EXPECT_DOUBLE_EQ(load->amps, 101);
        EXPECT_DOUBLE_EQ(load->volts, 120);
    }
    ASSERT_TRUE(choose("Simulator", "Disconnect Reference Load"));
    for (const auto &load : control.referenceLoads(simDevice(kLogMeter).id))
        EXPECT_FALSE(load.has_value());

    // The thermostat has no reference load, but a condition.
    ASSERT_TRUE(selectByKeys("Thermostat"));
    EXPECT_FALSE(menuItemEnabled("Simulator", "Reference Load..."));
    EXPECT_TRUE(menuItemEnabled("Simulator", "Device Condition"));
}

TEST_F(NetworkBrowserTest, LogColumnsAndViewLog)
{
    makeDemo();
    openWindow();
    const auto file = programFolder() / logFileName("TMC-FT-Log-364", false);
    const auto records = test::loadRecords(40, 1001, test::civil(2011, 3, 4, 10, 0));
    test::writeFile(file, test::logText(records, false));
    window->tick();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kLastRecord), "1040");
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kRecordTime),
              QString::fromStdString(FormatDateTime(records.back().dateTime)));

    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    ASSERT_TRUE(choose("Device", "View Log"));
    auto *viewer = window->findChild<logview::LogViewerWindow *>();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->file(), QString::fromStdString(file.string()));

    ASSERT_TRUE(selectByKeys("TMC-FT-Log-PT-370"));
    ASSERT_TRUE(choose("Device", "View Log"));
    EXPECT_EQ(window->status(), "TMC-FT-Log-PT-370 has no log yet: download it on the Logging tab of the device "
                                "window, or harvest the network.");
    EXPECT_EQ(window->findChildren<logview::LogViewerWindow *>().size(), 1);
    ASSERT_TRUE(selectByKeys("Thermostat"));
    EXPECT_FALSE(menuItemEnabled("Device", "View Log")) << "the thermostat keeps no log";
}

// A network database that cannot be read, or that another program holds locked, is told in
// the status line (and a box for what the user asked for); the window stays.
TEST_F(NetworkBrowserTest, DatabaseFailuresAreToldInTheWindow)
{
    makeDemo();
    openWindow();
    const auto db = sim::networkDbPath(sim::installedLonWorksFolder());
    {
        SQLite::Database other(db.string(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        ASSERT_TRUE(choose("File", "Refresh"));
        EXPECT_TRUE(window->status().startsWith("The networks cannot be read: LCA: The network database is locked by "
                                                "another program"))
            << window->status().toStdString();
        other.exec("ROLLBACK");
    }
    ASSERT_TRUE(choose("File", "Refresh"));
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Online");
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    {
        SQLite::Database other(db.string(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        home.dialogs.clearShown();
        ASSERT_TRUE(choose("Simulator", "Device Condition", "Offline"));
        ASSERT_EQ(home.dialogs.shown().size(), 1u);
        EXPECT_EQ(home.dialogs.shown()[0].caption, "Tellumic Network Browser");
        EXPECT_NE(home.dialogs.shown()[0].text.find("The simulator could not change the device: LCA: The network "
                                                    "database is locked by another program"),
                  std::string::npos)
            << home.dialogs.shown()[0].text;
        other.exec("ROLLBACK");
    }

    for (const char *suffix : {"-wal", "-shm"})
        std::filesystem::remove(db.string() + suffix);
    test::writeFile(db, std::string(4096, 'x'));
    window->tick();
    ASSERT_TRUE(choose("File", "Refresh"));
    EXPECT_TRUE(window->status().startsWith("The networks cannot be read: LCA: The network database is damaged"))
        << window->status().toStdString();
    EXPECT_EQ(model().rowCount(), 0);
}

// A device whose template carries two plug-in commands: double-click runs the first, the
// context menu (the keyboard's menu key) and the Device menu list both, and the one chosen
// runs. Their plug-in is not registered here, which the window tells by the command's name.
TEST_F(NetworkBrowserTest, EveryCommandOfADeviceIsOfferedAndDoubleClickRunsTheFirst)
{
    makeDemo();
    {
        sim::SimObjectServer server(sim::installedLonWorksFolder());
        server.Open();
        auto network = server.Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        auto device = system->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-362");
        auto apps = system->DeviceTemplates().Find(device->TemplateName())->ComponentApplications();
        apps->Add("Commission", "Other_Tool.Commissioning", 7)->SetCommandId(30);
        apps->Add("Configure", "Other_Tool.Commissioning", 7)->SetCommandId(31);
        network->Close();
    }
    openWindow();
    constexpr const char *k362 = "Demo/Demo/Meters/TMC-FT-362";
    EXPECT_EQ(cell(k362, NetworkTreeModel::kCommands), "Commission, Configure");
    // Registered meanwhile by another program: shown at the next refresh, in the tree and in
    // the Device menu of the selected device.
    ASSERT_TRUE(selectByKeys("TMC-FT-Plus-333"));
    EXPECT_FALSE(menuItemEnabled("Device", "Inspect"));
    {
        sim::SimObjectServer server(sim::installedLonWorksFolder());
        server.Open();
        auto network = server.Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        auto device = system->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Plus-333");
        system->DeviceTemplates().Find(device->TemplateName())->ComponentApplications()->Add(
            "Inspect", "Other_Tool.Commissioning", 7)->SetCommandId(32);
        network->Close();
    }
    window->tick();
    EXPECT_EQ(cell("Demo/Demo/Meters/TMC-FT-Plus-333", NetworkTreeModel::kCommands), "Inspect");
    EXPECT_TRUE(menuItemEnabled("Device", "Inspect"));
    const auto notRegistered = [](const char *command) {
        return std::string("The plug-in Other_Tool.Commissioning that serves \"") + command +
               "\" is not registered on this machine; register it with \"tellumic-plugin /regplugin\", then refresh.";
    };

    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));  // the tree laid out where the pointer is
    QTreeView *tree = window->tree();
    // A double-click arrives as a click and then the double-click event.
    const QPoint on362 = tree->visualRect(model().indexOf(k362)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, on362);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, on362);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, notRegistered("Commission"));

    ASSERT_TRUE(selectByKeys("TMC-FT-362"));
    EXPECT_TRUE(menuItemEnabled("Device", "Commission"));
    EXPECT_TRUE(menuItemEnabled("Device", "Configure"));
    const auto openContextMenu = [&]() -> QMenu * {
        const QPoint at = tree->visualRect(tree->currentIndex()).center();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &key);
        return window->findChild<QMenu *>("commandMenu");
    };
    QMenu *menu = openContextMenu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(menu);
    EXPECT_EQ(heard->text(QAccessible::Name), "Commands of TMC-FT-362");
    QStringList entries;
    for (int i = 0; i < heard->childCount(); ++i)
        if (const QString name = heard->child(i)->text(QAccessible::Name); !name.isEmpty())
            entries << name + (heard->child(i)->state().disabled ? " (disabled)" : "");
    EXPECT_EQ(entries, QStringList({"Commission", "Configure", "View Log (disabled)", "Harvest Network Now"}));
    QAccessibleInterface *configure = test::accessibleChild(heard, "Configure");
    ASSERT_TRUE(configure && configure->actionInterface());
    configure->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(home.dialogs.shown().size(), 2u);
    EXPECT_EQ(home.dialogs.shown()[1].text, notRegistered("Configure"));
    EXPECT_TRUE(window->status().startsWith("The plug-in Other_Tool.Commissioning that serves \"Configure\""));

    ASSERT_TRUE(selectByKeys("Thermostat"));
    menu = openContextMenu();
    ASSERT_TRUE(menu);
    heard = QAccessible::queryAccessibleInterface(menu);
    QAccessibleInterface *none = test::accessibleChild(heard, "No Plug-in for This Device");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->state().disabled);
    EXPECT_EQ(window->findChildren<QMenu *>("commandMenu").size(), 1) << "one context menu at a time";
}

// A network that cannot be opened is shown as such and told; the others show and refresh as
// before.
TEST_F(NetworkBrowserTest, ANetworkThatCannotBeOpenedIsTold)
{
    makeDemo();
    {
        SQLite::Database db(sim::networkDbPath(sim::installedLonWorksFolder()).string(), SQLite::OPEN_READWRITE);
        // Without a system it cannot be opened; it comes before Demo.
        db.exec("INSERT INTO networks (id, name) VALUES (0, 'Annex')");
    }
    openWindow();
    ASSERT_EQ(model().rowCount(), 2);
    const QModelIndex annex = model().index(0, 0);
    EXPECT_EQ(annex.data().toString(), "Annex");
    EXPECT_EQ(annex.siblingAtColumn(NetworkTreeModel::kState).data().toString(), "Cannot be opened");
    EXPECT_EQ(model().rowCount(annex), 0);
    EXPECT_TRUE(window->status().startsWith("The network Annex cannot be opened: ")) << window->status().toStdString();

    sim::SimControl(sim::installedLonWorksFolder()).setCondition(simDevice(kLogMeter).id, sim::DeviceCondition::Offline);
    window->tick();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Offline");
}

// An installation whose registry cannot be read (a read-only home, a damaged file) is not a
// first run: the window gives the reason the command-line tools give, and offers no demo
// installation to put over it. Mended, it shows at the next refresh.
TEST_F(NetworkBrowserTest, AnInstallationThatCannotBeOpenedIsToldNotOfferedAgain)
{
    makeDemo();
    const auto kept = home.root() / "registry.kept";
    std::filesystem::rename(registryStorePath(), kept);
    test::writeFile(registryStorePath(), "not a registry, but not nothing either");
    std::string reason;
    try {
        sim::lonWorksPathSetting(registryStorePath());
    } catch (const RuntimeError &e) {
        reason = e.description();
    }
    ASSERT_FALSE(reason.empty());

    openWindow();
    EXPECT_FALSE(window->offeringDemo());
    const QString root = QString::fromStdString(home.root().string());
    const QString text = window->findChild<QLabel *>("offerText")->text();
    EXPECT_EQ(text, "The LonWorks installation in " + root + " cannot be opened: " + QString::fromStdString(reason));
    EXPECT_FALSE(window->findChild<QPushButton *>("cmdCreateDemo")->isVisible());
    EXPECT_EQ(window->status(), text);
    window->tick();
    EXPECT_EQ(window->status(), text);

    std::filesystem::remove(registryStorePath());
    std::filesystem::rename(kept, registryStorePath());
    window->tick();
    EXPECT_EQ(cell(kLogMeter, NetworkTreeModel::kState), "Online");
    EXPECT_TRUE(window->status().startsWith("1 network, ")) << window->status().toStdString();
}

// Screen readers and tools that drive the window from outside find every control, and every
// menu entry, by name: on the first-run page, on the browser with its harvest panel, and in
// the reference load dialog.
TEST_F(NetworkBrowserTest, EveryControlHasAnAccessibleName)
{
    int controls = 0;
    const auto expectNamed = [&](QWidget *top) {
        for (QWidget *w : top->findChildren<QWidget *>()) {
            // A combo box's or spin box's own text field goes by the box's name.
            if (!w->focusPolicy() || qobject_cast<QComboBox *>(w->parentWidget()) ||
                qobject_cast<QAbstractSpinBox *>(w->parentWidget()) || w->window() != top)
                continue;
            ++controls;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
                << w->metaObject()->className() << " " << w->objectName().toStdString();
        }
    };
    openWindow();
    ASSERT_TRUE(window->offeringDemo());
    expectNamed(window.get());
    makeDemo();
    window->tick();
    ASSERT_FALSE(window->offeringDemo());
    expectNamed(window.get());
    EXPECT_GE(controls, 5);

    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    int entries = 0;
    for (QMenu *menu : window->menuBar()->findChildren<QMenu *>()) {
        Q_EMIT menu->aboutToShow();
        for (QAction *a : menu->actions()) {
            if (a->isSeparator())
                continue;
            ++entries;
            EXPECT_FALSE(a->text().remove('&').trimmed().isEmpty()) << menu->title().toStdString();
        }
    }
    EXPECT_GE(entries, 15);

    ASSERT_TRUE(choose("Simulator", "Reference Load..."));
    auto *dialog = window->findChild<QDialog *>("referenceLoadDialog");
    ASSERT_TRUE(dialog);
    controls = 0;
    expectNamed(dialog);
    EXPECT_GE(controls, 4);
}

// lns-host itself: the browser with a display, its usage without one.
TEST(LnsHostTest, OpensTheBrowserWithADisplayAndShowsItsUsageWithout)
{
    test::TempHome home;
    const std::string host = "TELLUMIC_HOME='" + home.root().string() + "' '" LNS_HOST_EXE "'";
    const auto bare = test::runCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + host + " 2>/dev/null");
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.out.rfind("Usage: lns-host [COMMAND [ARGUMENTS] [OPTIONS]]", 0), 0u) << bare.out;
    const auto shown = test::runCommand("QT_QPA_PLATFORM=offscreen " + host + " --exit-after 0 2>&1");
    EXPECT_EQ(shown.status, 0) << shown.out;
    const auto refused = test::runCommand("QT_QPA_PLATFORM=offscreen " + host + " --width 300 2>&1");
    EXPECT_EQ(refused.status, 2) << refused.out;
    EXPECT_NE(refused.out.find("the network browser takes no options but --exit-after"), std::string::npos)
        << refused.out;
}

}  // namespace
}  // namespace tellumic
