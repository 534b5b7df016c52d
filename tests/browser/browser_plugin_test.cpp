// The network browser with the real plug-in: the built tellumic-plugin, registered on this
// machine and started by a private session bus from its activation file, as a host tool
// meets it. Register and deregister through the Plug-ins menu, Browse with Enter on a device,
// and the plug-in's failures told in the window.

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

#include "foundation/registry.h"
#include "tests/browser/browser_fixture.h"
#include "tests/support/private_bus.h"

namespace tellumic {
namespace {

using browser::NetworkTreeModel;

constexpr const char *kMeter = "Demo/Demo/Meters/TMC-FT-Log-364";
const QString kPlugin = QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI");

class BrowserPluginTest : public test::BrowserTest
{
protected:
    void SetUp() override
    {
        makeDemo();
        startBus();
        ASSERT_EQ(runPlugin({"/regplugin"}), 0);
        openWindow(*bus);
    }
    // A private session bus that starts the plug-in from the activation file in the test's
    // home; the window's own children (Create Demo Installation's registration) write there.
    void startBus()
    {
        m_xdgDataHome = qgetenv("XDG_DATA_HOME");
        m_hadXdgDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((home.root() / "xdg").string()));
        env = QProcessEnvironment::systemEnvironment();
        env.insert("TELLUMIC_HOME", QString::fromStdString(home.root().string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((home.root() / "xdg").string()));
        env.insert("TELLUMIC_DIALOG_LOG", QString::fromStdString((home.root() / "dialogs.log").string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        ASSERT_TRUE(daemon.start(test::kProcessWaitMs, env));
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(daemon.address(), "browser-test-" + QString::number(++s_count)));
        ASSERT_TRUE(bus->isConnected());
    }
    void TearDown() override
    {
        window.reset();
        if (bus)
            QDBusConnection::disconnectFromBus(bus->name());
        daemon.stop(test::kProcessWaitMs);
        if (m_hadXdgDataHome)
            qputenv("XDG_DATA_HOME", m_xdgDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    // Lets go of the device window that Browse opened, as a host does, and waits for the
    // plug-in to end.
    void releaseDeviceWindow()
    {
        const QString path = call("/Tellumic_PlugIn/LNSPlugInAPI", "Tellumic_PlugIn.Factory", "CreateObject")
                                 .arguments()
                                 .value(0)
                                 .value<QDBusObjectPath>()
                                 .path();
        EXPECT_TRUE(property(path, "Visible").toBool());
        call(path, "org.freedesktop.DBus.Properties", "Set", {kPlugin, "Visible", QVariant::fromValue(QDBusVariant(false))});
        call(path, kPlugin, "Release");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !pluginOnBus(); }, test::kProcessWaitMs));
    }

    int runPlugin(const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(PLUGIN_EXE, args);
        return p.waitForFinished(test::kProcessWaitMs) ? p.exitCode() : -1;
    }

    // Waits for the answer to the plug-in command the window sent; its error or "".
    QString commandAnswer(QSignalSpy &spy)
    {
        if (spy.isEmpty() && !spy.wait(test::kProcessWaitMs))
            return QStringLiteral("(no answer)");
        return spy.takeFirst().value(0).toString();
    }

    QDBusMessage call(const QString &path, const QString &interface, const QString &method, const QVariantList &args = {})
    {
        auto m = QDBusMessage::createMethodCall(kPlugin, path, interface, method);
        m.setArguments(args);
        return bus->call(m, QDBus::Block, test::kProcessWaitMs);
    }
    QVariant property(const QString &path, const QString &name)
    {
        return call(path, "org.freedesktop.DBus.Properties", "Get", {kPlugin, name})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }
    bool pluginOnBus() { return bus->interface()->isServiceRegistered(kPlugin).value(); }

    QProcessEnvironment env;
    QByteArray m_xdgDataHome;
    bool m_hadXdgDataHome = false;
    test::PrivateBus daemon;
    std::unique_ptr<QDBusConnection> bus;
    static inline int s_count = 0;
};

TEST_F(BrowserPluginTest, RegisterBrowseAndDeregisterInTheDemoNetwork)
{
    QSignalSpy answers(window.get(), &browser::NetworkBrowserWindow::commandFinished);
    EXPECT_EQ(cell(kMeter, NetworkTreeModel::kCommands), "No plug-in");
    ASSERT_TRUE(choose("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
    EXPECT_EQ(commandAnswer(answers), "");
    EXPECT_EQ(window->status(), "Registered the plug-in Tellumic LNS Plug-In in network Demo.");
    EXPECT_EQ(cell(kMeter, NetworkTreeModel::kCommands), "Browse Tellumic");
    EXPECT_EQ(cell("Demo/Demo/Meters/Thermostat", NetworkTreeModel::kCommands), "No plug-in");

    // Enter on a device runs its first command: Browse opens the device window.
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    QTest::keyClick(window->tree(), Qt::Key_Return);
    EXPECT_EQ(commandAnswer(answers), "");
    EXPECT_EQ(window->status(), "\"Browse Tellumic\" sent for Demo/Demo/Meters/TMC-FT-Log-364.");
    ASSERT_TRUE(pluginOnBus()) << "the window stays open for the user";
    const QString path = call("/Tellumic_PlugIn/LNSPlugInAPI", "Tellumic_PlugIn.Factory", "CreateObject")
                             .arguments()
                             .value(0)
                             .value<QDBusObjectPath>()
                             .path();
    EXPECT_TRUE(property(path, "Visible").toBool());
    EXPECT_EQ(property(path, "networkName").toString(), "Demo");
    call(path, "org.freedesktop.DBus.Properties", "Set", {kPlugin, "Visible", QVariant::fromValue(QDBusVariant(false))});
    call(path, kPlugin, "Release");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pluginOnBus(); }, test::kProcessWaitMs));

    // A device without a plug-in says so.
    ASSERT_TRUE(selectByKeys("Thermostat"));
    QTest::keyClick(window->tree(), Qt::Key_Return);
    EXPECT_EQ(window->status(), "Thermostat has no plug-in: no plug-in registered a command for its device template in "
                                "the network Demo.");
    EXPECT_FALSE(window->commandRunning());

    ASSERT_TRUE(choose("Plug-ins", "Deregister Tellumic LNS Plug-In in Demo"));
    EXPECT_EQ(commandAnswer(answers), "");
    EXPECT_EQ(window->status(), "Deregistered the plug-in Tellumic LNS Plug-In in network Demo.");
    EXPECT_EQ(cell(kMeter, NetworkTreeModel::kCommands), "No plug-in");
    EXPECT_TRUE(home.dialogs.shown().empty());
}

// A command whose plug-in is not registered on this machine, or does not answer on the bus,
// is told in a box and the status line.
TEST_F(BrowserPluginTest, APluginThatIsNotRegisteredIsTold)
{
    QSignalSpy answers(window.get(), &browser::NetworkBrowserWindow::commandFinished);
    ASSERT_TRUE(choose("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
    ASSERT_EQ(commandAnswer(answers), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pluginOnBus(); }, test::kProcessWaitMs));

    // The activation file gone: no program answers for the plug-in's name.
    std::filesystem::remove(home.root() / "xdg" / "dbus-1" / "services" / "Tellumic_PlugIn.LNSPlugInAPI.service");
    auto reload = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                                 "ReloadConfig");
    bus->call(reload, QDBus::Block, test::kProcessWaitMs);
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    QTest::keyClick(window->tree(), Qt::Key_Return);
    const QString error = commandAnswer(answers);
    EXPECT_TRUE(error.startsWith("no program on the session bus answers for Tellumic_PlugIn.LNSPlugInAPI; the plug-in "
                                 "is not registered on this machine"))
        << error.toStdString();
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "The plug-in answered with an error: " + error.toStdString());
    EXPECT_EQ(window->status(), "The plug-in answered with an error: " + error);

    // The machine's record gone: the browser tells it without asking the bus.
    ASSERT_TRUE(CRegistry().DeleteMachineKey("SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\Tellumic LNS Plug-In"));
    ASSERT_TRUE(choose("File", "Refresh"));
    EXPECT_FALSE(menuItemEnabled("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    QTest::keyClick(window->tree(), Qt::Key_Return);
    ASSERT_EQ(home.dialogs.shown().size(), 2u);
    EXPECT_EQ(home.dialogs.shown()[1].text,
              "The plug-in Tellumic_PlugIn.LNSPlugInAPI that serves \"Browse Tellumic\" is not registered on this "
              "machine; register it with \"tellumic-plugin /regplugin\", then refresh.");
    EXPECT_FALSE(window->commandRunning());
}

// The first run on a machine where nothing is registered yet.
class BrowserFirstRunTest : public BrowserPluginTest
{
protected:
    void SetUp() override { startBus(); }
};

// The demo installation made in the window is ready to browse, as scripts/run.sh leaves it:
// the plug-in registered on this machine and in Demo, "Browse Tellumic" on every meter.
TEST_F(BrowserFirstRunTest, TheDemoMadeInTheWindowOpensADeviceWindow)
{
    openWindow(*bus);
    window->setPluginProgram(PLUGIN_EXE);
    QSignalSpy answers(window.get(), &browser::NetworkBrowserWindow::commandFinished);
    auto *create = window->findChild<QPushButton *>("cmdCreateDemo");
    ASSERT_TRUE(create);
    ASSERT_TRUE(test::press(create));
    EXPECT_EQ(commandAnswer(answers), "");
    const QString root = QString::fromStdString(home.root().string());
    // (Between the two, the note that a test's folder has no XIF converter beside it.)
    EXPECT_TRUE(window->status().startsWith("Created the demo installation in " + root + "/LonWorks."))
        << window->status().toStdString();
    EXPECT_TRUE(window->status().endsWith(" The plug-in Tellumic LNS Plug-In is registered on this machine and in the "
                                          "network Demo: double-click a meter to browse it."))
        << window->status().toStdString();
    int meters = 0;
    for (const auto &network : model().networks())
        for (const auto &subsystem : network.subsystems)
            for (const auto &device : subsystem.devices)
                if (!device.model.empty()) {
                    ++meters;
                    EXPECT_EQ(cell(device.objectName, NetworkTreeModel::kCommands), "Browse Tellumic") << device.name;
                }
    EXPECT_GT(meters, 5);
    EXPECT_TRUE(menuItemEnabled("Plug-ins", "Deregister Tellumic LNS Plug-In in Demo"));

    // Enter on a meter opens its device window.
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-364"));
    QTest::keyClick(window->tree(), Qt::Key_Return);
    EXPECT_EQ(commandAnswer(answers), "");
    EXPECT_EQ(window->status(), "\"Browse Tellumic\" sent for Demo/Demo/Meters/TMC-FT-Log-364.");
    ASSERT_TRUE(pluginOnBus());
    releaseDeviceWindow();
    EXPECT_TRUE(home.dialogs.shown().empty());
}

// A plug-in that another program registers on this machine shows in the Plug-ins menu at the
// next refresh of the window, without File > Refresh.
TEST_F(BrowserFirstRunTest, APluginRegisteredElsewhereShowsAtTheNextRefresh)
{
    makeDemo();
    openWindow(*bus);
    EXPECT_FALSE(menuItemEnabled("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
    ASSERT_EQ(runPlugin({"/regplugin"}), 0);
    window->tick();
    EXPECT_TRUE(menuItemEnabled("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
    ASSERT_EQ(runPlugin({"/deregplugin"}), 0);
    window->tick();
    EXPECT_FALSE(menuItemEnabled("Plug-ins", "Register Tellumic LNS Plug-In in Demo"));
}

}  // namespace
}  // namespace tellumic
