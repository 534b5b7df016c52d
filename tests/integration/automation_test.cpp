// The plug-in as a host meets it: a separate process on a private session bus, started by
// bus activation from the file its registration installs.

#include <functional>

#include <unistd.h>

#include "foundation/registry.h"
#include "tests/integration/automation_fixture.h"

namespace tellumic {
namespace {

using test::AutomationTest;
using test::kWaitMs;

TEST_F(AutomationTest, RegistrationInstallsTheActivationAndAClientCreatesObjects)
{
    ASSERT_EQ(run(PLUGIN_EXE, {" /REGPLUGIN "}), 0);
    EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\Tellumic LNS Plug-In", "Version"), "1.11");
    const QString path = createObject();
    ASSERT_EQ(path, "/Tellumic_PlugIn/LNSPlugInAPI/1");
    EXPECT_EQ(getProperty(path, "Version").toString(), "1.11");
    EXPECT_EQ(getProperty(path, "ManufacturerName").toString(), "Halvern Instruments, LLC");

    struct ErrorCase
    {
        std::function<QDBusMessage()> call;
        const char *name;
        const char *text;
    };
    const ErrorCase cases[] = {
        {[&] { return setProperty(path, "Version", "2.0"); }, "Tellumic_PlugIn.Error.E20002",
         "Attempt to write to read-only property"},
        {[&] { return setProperty(path, "networkName", "Nowhere"); }, "Tellumic_PlugIn.Error.E20006",
         "Cannot open the network Nowhere"},
        {[&] { return call(path, "Tellumic_PlugIn.LNSPlugInAPI", "SendCommand", {21, QVariant::fromValue(qint16(7)), "x"}); },
         "Tellumic_PlugIn.Error.E20003", "Command not supported"},
        {[&] { return call(path, "Tellumic_PlugIn.LNSPlugInAPI", "SendCommand", {20, QVariant::fromValue(qint16(8)), "x"}); },
         "Tellumic_PlugIn.Error.E20004", "Object type not supported for this command"},
        {[&] { return call(path, "Tellumic_PlugIn.LNSPlugInAPI", "SendCommand", {20, QVariant::fromValue(qint16(7)), "x"}); },
         "Tellumic_PlugIn.Error.E20005", "CommandReceived(): Object not found"},
    };
    for (const auto &c : cases) {
        const auto reply = c.call();
        EXPECT_EQ(reply.errorName(), c.name);
        EXPECT_EQ(reply.errorMessage(), c.text);
    }

    // gdbus, a client nobody here wrote: it sees what the object offers, and may not use
    // an object that another client created.
    QString out;
    EXPECT_EQ(run("gdbus", {"introspect", "--session", "--dest", "Tellumic_PlugIn.LNSPlugInAPI", "--object-path", path}, &out),
              0);
    EXPECT_TRUE(out.contains("SendCommand(in  i commandId,")) << out.toStdString();
    EXPECT_TRUE(out.contains("readonly s Version = '1.11';")) << out.toStdString();
    EXPECT_NE(run("gdbus", {"call", "--session", "--dest", "Tellumic_PlugIn.LNSPlugInAPI", "--object-path", path,
                            "--method", "Tellumic_PlugIn.LNSPlugInAPI.SendCommand", "21", "7", "x"},
                  &out),
              0);
    EXPECT_TRUE(out.contains("org.freedesktop.DBus.Error.AccessDenied")) << out.toStdString();

    // The last release with the window hidden ends the plug-in.
    EXPECT_EQ(call(path, "Tellumic_PlugIn.LNSPlugInAPI", "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(pluginLeaves());
}

TEST_F(AutomationTest, AClientThatLeavesTheBusReleasesItsObjects)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    QString out;
    ASSERT_EQ(run("gdbus", {"call", "--session", "--dest", "Tellumic_PlugIn.LNSPlugInAPI", "--object-path",
                            "/Tellumic_PlugIn/LNSPlugInAPI", "--method", "Tellumic_PlugIn.Factory.CreateObject"},
                  &out),
              0)
        << out.toStdString();
    EXPECT_TRUE(out.contains("/Tellumic_PlugIn/LNSPlugInAPI/1"));
    EXPECT_TRUE(pluginLeaves());
}

TEST_F(AutomationTest, LnsHostBrowsesADemoMeter)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    QString out;
    EXPECT_EQ(run(LNS_HOST_EXE, {"plugins"}, &out), 0);
    EXPECT_TRUE(out.contains("Tellumic LNS Plug-In\tTellumic_PlugIn.LNSPlugInAPI\tversion 1.11")) << out.toStdString();
    EXPECT_EQ(run(LNS_HOST_EXE, {"browse", "Demo", "Demo/Demo/Meters/TMC-FT-Log-364", "--exit-after", "0", "--width",
                                 "790", "--height", "500"},
                  &out),
              0)
        << out.toStdString();
    // The window stays open for the user after the director let go of its object.
    EXPECT_TRUE(pluginOnBus());
    const QString path = createObject();
    EXPECT_TRUE(getProperty(path, "Visible").toBool());
    EXPECT_EQ(getProperty(path, "Width").toInt(), 790);
    EXPECT_EQ(getProperty(path, "networkName").toString(), "Demo");  // the process's network
    EXPECT_NE(run(LNS_HOST_EXE, {"browse", "Demo", "Demo/Demo/Meters/Nothing"}, &out), 0);
    EXPECT_TRUE(out.contains("error 20005: ProcessDeviceCommand(): ") || out.contains("error 20005: CommandReceived()"))
        << out.toStdString();
    EXPECT_EQ(setProperty(path, "Visible", false).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(path, "Tellumic_PlugIn.LNSPlugInAPI", "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(pluginLeaves());
}

// A script's last step: the plug-in left open for the user is ended as a host ends it (its
// window hidden, its last object released), and "close" returns once it is gone, so that
// nothing it needs (the display, the bus) is taken away while it still runs.
TEST_F(AutomationTest, LnsHostCloseEndsThePlugInLeftOpen)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    QString out;
    ASSERT_EQ(run(LNS_HOST_EXE, {"browse", "Demo", "Demo/Demo/Meters/TMC-FT-Log-364", "--exit-after", "0"}, &out), 0)
        << out.toStdString();
    ASSERT_TRUE(pluginOnBus());
    EXPECT_EQ(run(LNS_HOST_EXE, {"close"}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("The plug-in has ended.")) << out.toStdString();
    EXPECT_FALSE(pluginOnBus()) << "gone when close returns";

    // Nothing running: nothing is started to be closed.
    EXPECT_EQ(run(LNS_HOST_EXE, {"close"}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("The plug-in is not running.")) << out.toStdString();
    EXPECT_FALSE(pluginOnBus());
}

TEST_F(AutomationTest, DeregistrationSwitchesAndTheExactMatchRule)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    const auto activation = home.root() / "xdg" / "dbus-1" / "services" / "Tellumic_PlugIn.LNSPlugInAPI.service";
    EXPECT_TRUE(std::filesystem::exists(activation));
    ASSERT_EQ(run(PLUGIN_EXE, {"/deregplugin /deregmode:-1"}), 0);
    EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\Tellumic LNS Plug-In", "Version"), "");
    EXPECT_FALSE(std::filesystem::exists(activation));
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    ASSERT_EQ(run(PLUGIN_EXE, {"/deregplugin"}), 0);
    EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\Tellumic LNS Plug-In", "Version"), "");
}

// A registration that fails leaves the activation file as it found it: the bus must not
// start a plug-in that host tools do not know, nor another program than before.
TEST_F(AutomationTest, AFailedRegistrationLeavesTheActivationFileAsItWas)
{
    const auto activation = home.root() / "xdg" / "dbus-1" / "services" / "Tellumic_PlugIn.LNSPlugInAPI.service";
    // A registry that cannot be written: a folder where its file belongs.
    const auto registry = home.root() / "registry.sqlite";
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(registry.string() + suffix);
    std::filesystem::create_directories(registry);
    const char *befores[] = {nullptr, "[D-BUS Service]\nName=Tellumic_PlugIn.LNSPlugInAPI\nExec=/opt/earlier -Embedding\n"};
    for (const char *before : befores) {
        std::filesystem::remove(activation);
        if (before)
            test::writeFile(activation, before);
        QString out;
        EXPECT_EQ(run(PLUGIN_EXE, {"/regplugin"}, &out), 1) << out.toStdString();
        EXPECT_TRUE(out.contains("the plug-in could not be registered: the registry could not be written")) << out.toStdString();
        EXPECT_EQ(std::filesystem::exists(activation), before != nullptr);
        if (before) {
            EXPECT_EQ(test::readFile(activation), before);
        }
    }
}

// An activation file that an earlier /regserver from elsewhere (a build tree, or an
// installation) left in the user's folder overrides the machine's: lns-host names the
// program the bus starts, and /unregserver removes the file.
TEST_F(AutomationTest, AnActivationFileForAnotherProgramIsNamed)
{
    const auto activation = home.root() / "xdg" / "dbus-1" / "services" / "Tellumic_PlugIn.LNSPlugInAPI.service";
    const QString ours = QString::fromLocal8Bit(PLUGIN_EXE);
    struct Row
    {
        const char *exec;
        const char *started;
    };
    const Row rows[] = {
        {"/usr/bin/env \"TELLUMIC_HOME=/home/u/t\" \"/home/u/src/build/host/tellumic-plugin\" -Embedding",
         "/home/u/src/build/host/tellumic-plugin"},
        {"/usr/bin/tellumic-plugin -Embedding", "/usr/bin/tellumic-plugin"},
    };
    for (const auto &row : rows) {
        std::filesystem::create_directories(activation.parent_path());
        test::writeFile(activation, std::string("[D-BUS Service]\nName=Tellumic_PlugIn.LNSPlugInAPI\nExec=") + row.exec + "\n");
        QString out;
        EXPECT_EQ(run(LNS_HOST_EXE, {"close"}, &out), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(QString("lns-host: note: the session bus starts the plug-in ") + row.started + ", as " +
                                 QString::fromStdString(activation.string()) + " says"))
            << out.toStdString();
        EXPECT_TRUE(out.contains("'" + ours + " /unregserver' removes the file")) << out.toStdString();
        ASSERT_EQ(run(PLUGIN_EXE, {"/unregserver"}), 0);
        EXPECT_FALSE(std::filesystem::exists(activation));
        EXPECT_EQ(run(LNS_HOST_EXE, {"close"}, &out), 0);
        EXPECT_FALSE(out.contains("note:")) << out.toStdString();
    }
    // The file for the plug-in beside lns-host: nothing to say.
    ASSERT_EQ(run(PLUGIN_EXE, {"/regserver"}), 0);
    QString out;
    EXPECT_EQ(run(LNS_HOST_EXE, {"close"}, &out), 0);
    EXPECT_FALSE(out.contains("note:")) << out.toStdString();
}

// The plug-in's command line where there is no display (over ssh): the switches that show
// no window work; the registration window says it needs one. A home that is a file is
// named in one line.
TEST_F(AutomationTest, CommandLineWithoutADisplay)
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    const auto activation = home.root() / "xdg" / "dbus-1" / "services" / "Tellumic_PlugIn.LNSPlugInAPI.service";
    struct Row
    {
        QStringList args;
        bool succeeds;
        const char *says;
    };
    const Row rows[] = {
        {{"/regserver"}, true, ""},
        {{"/unregserver"}, true, ""},
        {{"/regplugin"}, true, ""},
        {{"/deregplugin", "/deregmode:-1"}, true, ""},
        {{"/deregplugin"}, true, ""},
        {{}, false, "needs a display"},
        {{"/unknown"}, false, "needs a display"},
    };
    for (const auto &row : rows) {
        QString out;
        const int status = run(PLUGIN_EXE, row.args, &out);
        EXPECT_EQ(status == 0, row.succeeds) << row.args.join(' ').toStdString() << ": " << status << " " << out.toStdString();
        EXPECT_NE(status, 134) << row.args.join(' ').toStdString();
        EXPECT_TRUE(out.contains(row.says)) << out.toStdString();
        if (row.args == QStringList{"/regplugin"}) {
            EXPECT_TRUE(std::filesystem::exists(activation));
        }
    }
    EXPECT_FALSE(std::filesystem::exists(activation));

    // The display is named but cannot be reached.
    env.insert("DISPLAY", ":99");
    QString out;
    EXPECT_EQ(run(PLUGIN_EXE, {}, &out), 1);
    EXPECT_TRUE(out.contains("needs a display")) << out.toStdString();

    const auto file = home.root() / "a-file";
    test::writeFile(file, "x");
    env.insert("TELLUMIC_HOME", QString::fromStdString(file.string()));
    EXPECT_EQ(run(PLUGIN_EXE, {"/regplugin"}, &out), 1);
    EXPECT_TRUE(out.startsWith("tellumic-plugin: cannot use the program folder " + QString::fromStdString(file.string())))
        << out.toStdString();
    EXPECT_EQ(out.count('\n'), 1) << out.toStdString();
}

// Started by the bus where there is no display (over ssh), the plug-in serves what needs
// none, and what would show the device window is refused with the reason.
TEST_F(AutomationTest, WithoutADisplayThePlugInServesWhatNeedsNone)
{
    // The bus starts the plug-in in its own environment: a bus without a display.
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    QDBusConnection::disconnectFromBus(bus->name());
    daemon.stop(kWaitMs);
    ASSERT_TRUE(daemon.start(kWaitMs, env));
    env.insert("DBUS_SESSION_BUS_ADDRESS", daemon.address());
    bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(daemon.address(), "headless"));
    ASSERT_TRUE(bus->isConnected());
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);

    QString out;
    EXPECT_EQ(run(LNS_HOST_EXE, {"register", "Demo"}, &out), 0) << out.toStdString();
    EXPECT_EQ(run(LNS_HOST_EXE, {"devices", "Demo"}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("Browse Tellumic (20)")) << out.toStdString();

    const QString path = createObject();
    EXPECT_EQ(getProperty(path, "Version").toString(), "1.11");
    EXPECT_EQ(setProperty(path, "networkName", "Demo").type(), QDBusMessage::ReplyMessage);
    const QString reason = "the device window needs a display, and none is available (DISPLAY is not set)";
    const auto browse = call(path, "Tellumic_PlugIn.LNSPlugInAPI", "SendCommand",
                             {20, QVariant::fromValue(qint16(7)), "Demo/Demo/Meters/TMC-FT-Log-364"});
    EXPECT_EQ(browse.errorName(), "Tellumic_PlugIn.Error.E20006");
    EXPECT_EQ(browse.errorMessage(), "ProcessDeviceCommand(): " + reason);
    const auto show = setProperty(path, "Visible", true);
    EXPECT_EQ(show.errorName(), "Tellumic_PlugIn.Error.E20006");
    EXPECT_EQ(show.errorMessage(), reason);
    EXPECT_FALSE(getProperty(path, "Visible").toBool());
    EXPECT_EQ(call(path, "Tellumic_PlugIn.LNSPlugInAPI", "Release").type(), QDBusMessage::ReplyMessage);

    EXPECT_NE(run(LNS_HOST_EXE, {"browse", "Demo", "Demo/Demo/Meters/TMC-FT-Log-364"}, &out), 0);
    EXPECT_TRUE(out.contains(reason)) << out.toStdString();
    EXPECT_EQ(run(LNS_HOST_EXE, {"deregister", "Demo"}, &out), 0) << out.toStdString();
}

// The first start in a fresh home traces its own start line.
TEST_F(AutomationTest, TheFirstStartTracesItsStart)
{
    const auto fresh = home.root() / "fresh";
    env.insert("TELLUMIC_HOME", QString::fromStdString(fresh.string()));
    ASSERT_EQ(run(PLUGIN_EXE, {"/regserver"}), 0);
    const std::string trace = test::readFile(fresh / "Plug-In" / "TmPlugin.log");
    EXPECT_NE(trace.find("MMain.Main(), Plugin version=1.11"), std::string::npos) << trace;
}

// A home this user may not write: registering fails and says so in its exit status, and
// the tools name the read-only folder instead of a missing installation or an unreadable
// registry. Run as an unprivileged user when the tests run as root (root writes anywhere).
TEST_F(AutomationTest, AReadOnlyHomeIsReportedAsSuch)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    const bool root = ::geteuid() == 0;
    // The activation file's folder stays the user's own: only the home is read-only.
    const auto xdg = home.root() / "xdg";
    if (root) {
        ASSERT_EQ(::chown(xdg.c_str(), 65534, 65534), 0);
        for (const auto &e : std::filesystem::recursive_directory_iterator(xdg))
            ASSERT_EQ(::chown(e.path().c_str(), 65534, 65534), 0);
    }
    std::filesystem::permissions(home.root(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                                  (root ? std::filesystem::perms::others_read | std::filesystem::perms::others_exec
                                                        : std::filesystem::perms::none));
    const QStringList as = root ? QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} : QStringList{};
    // The unprivileged user may not reach the build tree (a checkout in a private folder),
    // so it runs copies of the programs kept beside the home.
    const auto bin = home.root().parent_path() / (home.root().filename().string() + "-bin");
    std::filesystem::create_directories(bin);
    std::filesystem::permissions(bin, std::filesystem::perms::owner_all | std::filesystem::perms::others_read |
                                          std::filesystem::perms::others_exec);
    const auto reachable = [&](const char *program) {
        if (!root)
            return QString::fromLocal8Bit(program);
        const auto copy = bin / std::filesystem::path(program).filename();
        std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_all | std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
        return QString::fromStdString(copy.string());
    };
    const auto runAs = [&](const QString &program, const QStringList &args, QString *out) {
        return root ? run("setpriv", as + QStringList{program} + args, out) : run(program, args, out);
    };
    const QString readOnly = "the folder " + QString::fromStdString(home.root().string()) + " is read-only";
    QString out;
    const QString plugIn = reachable(PLUGIN_EXE);
    EXPECT_EQ(runAs(plugIn, {"/regplugin"}, &out), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("tellumic-plugin: the plug-in could not be registered: the registry could not be written: " +
                             readOnly))
        << out.toStdString();
    EXPECT_EQ(runAs(plugIn, {"/deregplugin", "/deregmode:-1"}, &out), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("tellumic-plugin: the plug-in could not be deregistered: the registry could not be written: " +
                             readOnly))
        << out.toStdString();
    EXPECT_EQ(runAs(reachable(LNS_HOST_EXE), {"plugins"}, &out), 1);
    EXPECT_TRUE(out.contains(readOnly)) << out.toStdString();
    EXPECT_NE(runAs(reachable(TELLUMIC_LOG_EXE), {"harvest", "Demo"}, &out), 0);
    EXPECT_TRUE(out.contains(readOnly)) << out.toStdString();
    EXPECT_FALSE(out.contains("no simulated LNS installation")) << out.toStdString();
    std::filesystem::permissions(home.root(), std::filesystem::perms::owner_all);
    std::filesystem::remove_all(bin);
}

// A deleted network database: the plug-in says it is missing, with its path, and does not
// put an empty one in its place.
TEST_F(AutomationTest, AMissingNetworkDatabaseIsNamedAndNotReplaced)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    const auto db = home.root() / "LonWorks" / "Database" / "network.sqlite";
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(db.string() + suffix);
    const auto created = call("/Tellumic_PlugIn/LNSPlugInAPI", "Tellumic_PlugIn.Factory", "CreateObject");
    EXPECT_EQ(created.errorName(), "Tellumic_PlugIn.Error.E" + QString::number(0x80040FA7u));
    EXPECT_EQ(created.errorMessage(), "LCA: The network database " + QString::fromStdString(db.string()) +
                                          " is missing; run 'lns-sim init' to create it");
    EXPECT_FALSE(std::filesystem::exists(db));
}

// A missing LonWorks path reaches the host with the plug-in's own message.
TEST_F(AutomationTest, AMissingLonWorksPathIsThePlugInsError)
{
    const auto bare = home.root() / "bare";
    env.insert("TELLUMIC_HOME", QString::fromStdString(bare.string()));
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    const auto reply = call("/Tellumic_PlugIn/LNSPlugInAPI", "Tellumic_PlugIn.Factory", "CreateObject");
    EXPECT_EQ(reply.errorMessage(), "GetLonWorksPath(): Invalid LonWorks path in registry");
    EXPECT_EQ(reply.errorName(), "Tellumic_PlugIn.Error.E" + QString::number(0x800407DAu));
}

// Every program says the same where there is no installation at all, and how to make one.
TEST_F(AutomationTest, AMissingInstallationIsToldAlikeByEveryProgram)
{
    const auto fresh = home.root() / "fresh";
    env.insert("TELLUMIC_HOME", QString::fromStdString(fresh.string()));
    const QString says = "there is no simulated LNS installation in " + QString::fromStdString(fresh.string()) +
                         "; run 'lns-sim init' first";
    struct Row
    {
        const char *program;
        QStringList args;
    };
    const Row rows[] = {
        {LNS_HOST_EXE, {"devices", "Demo"}},
        {LNS_SIM_EXE, {"list"}},
        {LNS_SIM_EXE, {"show", "TMC-FT-Log-364"}},
        {TELLUMIC_LOG_EXE, {"harvest", "Demo"}},
        {TELLUMIC_LOG_EXE, {"audit", "--network", "Demo"}},
        {TELLUMIC_CONFIG_EXE, {"save", "Demo", "TMC-FT-Log-364"}},
    };
    for (const auto &row : rows) {
        QString out;
        const QString line = QString(row.program).section('/', -1) + " " + row.args.join(' ');
        EXPECT_NE(run(row.program, row.args, &out), 0) << line.toStdString();
        EXPECT_TRUE(out.contains(says)) << line.toStdString() << ": " << out.toStdString();
        EXPECT_FALSE(out.contains(QString::number(0x800407DAu))) << line.toStdString() << ": " << out.toStdString();
    }
}

// lns-host refuses numbers it cannot use and says which option they were given to.
TEST_F(AutomationTest, LnsHostRefusesBadNumbers)
{
    struct Row
    {
        QStringList args;
        const char *option;
    };
    const QStringList browse = {"browse", "Demo", "Demo/Demo/Meters/TMC-FT-Log-364"};
    const Row rows[] = {
        {browse + QStringList{"--exit-after", "-5"}, "--exit-after"},
        {browse + QStringList{"--exit-after", "2147483647"}, "--exit-after"},
        {browse + QStringList{"--exit-after", "1e10"}, "--exit-after"},
        {browse + QStringList{"--exit-after", "nan"}, "--exit-after"},
        {browse + QStringList{"--exit-after", "12abc"}, "--exit-after"},
        {browse + QStringList{"--width", "99999999999"}, "--width"},
        {browse + QStringList{"--left", "1.5"}, "--left"},
        {browse + QStringList{"--top", ""}, "--top"},
    };
    for (const auto &row : rows) {
        QString out;
        EXPECT_EQ(run(LNS_HOST_EXE, row.args, &out), 2) << row.args.join(' ').toStdString();
        EXPECT_TRUE(out.contains(QString("lns-host: ") + row.option + " takes a whole number")) << out.toStdString();
    }
}

// A damaged registry or network database is reported, not an abort and not "nothing there".
TEST_F(AutomationTest, LnsHostReportsStoresItCannotRead)
{
    ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
    QString out;
    const auto network = home.root() / "LonWorks" / "Database" / "network.sqlite";
    for (const char *suffix : {"-wal", "-shm"})
        std::filesystem::remove(network.string() + suffix);
    test::writeFile(network, std::string(4096, 'x'));
    EXPECT_EQ(run(LNS_HOST_EXE, {"devices", "Demo"}, &out), 1);
    EXPECT_TRUE(out.contains("lns-host: LCA: The network database is damaged")) << out.toStdString();

    const auto registry = home.root() / "registry.sqlite";
    for (const char *suffix : {"-wal", "-shm"})
        std::filesystem::remove(registry.string() + suffix);
    test::writeFile(registry, std::string(4096, 'x'));
    EXPECT_EQ(run(LNS_HOST_EXE, {"plugins"}, &out), 1);
    EXPECT_TRUE(out.contains("could not be read")) << out.toStdString();
    EXPECT_FALSE(out.contains("No plug-ins")) << out.toStdString();

    env.insert("TELLUMIC_HOME", QString::fromStdString(registry.string()));
    EXPECT_EQ(run(LNS_HOST_EXE, {"plugins"}, &out), 1);
    EXPECT_TRUE(out.contains("could not be read")) << out.toStdString();
}

}  // namespace
}  // namespace tellumic
