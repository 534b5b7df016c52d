// lns-host: a small director that drives a registered plug-in through its automation
// interface the way an LNS host tool does; with no command, the network browser window.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <iostream>
#include <limits>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

#include "browser/browser_main.h"
#include "browser/network_snapshot.h"
#include "browser/plugin_client.h"
#include "browser/registered_plugins.h"
#include "foundation/paths.h"
#include "foundation/qt_display.h"
#include "foundation/registry.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "host/activation_file.h"
#include "sim/sim_object_server.h"
#include "tools/standard_output.h"

namespace {

using namespace tellumic;

constexpr const char *kUsage = R"(Usage: lns-host [COMMAND [ARGUMENTS] [OPTIONS]]

Drives LNS plug-ins the way a network-management tool does, on this TELLUMIC_HOME.
With no command and a display, opens the network browser: the networks and their
devices with their state, the plug-in commands of each device, the meters' logs and
their harvest, and the simulated installation's conditions. Without a display and
without a command, shows this text and exits with status 2.

Commands:
  plugins                       list the plug-ins registered on this machine
  devices NETWORK               list a network's subsystems and devices, with the
                                commands registered for each device
  register NETWORK              send the plug-in command 50 (register) for a network
  deregister NETWORK            send the plug-in command 51 (deregister) for a network
  browse NETWORK OBJECT-NAME    open the plug-in's device window on a device, for
                                example: lns-host browse Demo Demo/Demo/Meters/TMC-FT-Log-364
                                and keep it until the window is closed or Ctrl-C
  close                         hide the running plug-in's window and let go of it, as a
                                host does when it is done with the plug-in: one that has
                                no other client then ends; returns once it has ended
  --help                        show this text

Options (set on the automation object before it opens the network):
  --plugin BUS-NAME             the plug-in's bus name (default Tellumic_PlugIn.LNSPlugInAPI)
  --interface NAME              NetworkInterfaceName ("Internet" for internet mode)
  --remote                      Remote = true
  --dev-program-id ID           DevelopmentProgramId
  --left N, --top N, --width N, --height N
                                the window's geometry in pixels (browse)
  --exit-after SECONDS          browse: release the object after this long, the window
                                staying open (for scripts); with no command: close
                                the network browser after this long
)";

struct UsageError
{
    std::string message;
};

struct Options
{
    browser::PluginSettings plugin;
    bool pluginOptions = false;  // an option for the automation object was given
    std::optional<int> left, top, width, height;
    std::optional<int> exitAfterSeconds;
    std::vector<std::string> positional;
};

// The longest --exit-after: its milliseconds must fit a timer's interval.
constexpr std::int64_t kMaxExitAfterSeconds = std::numeric_limits<int>::max() / 1000;
// How long "close" waits for the plug-in to end: it closes its network first.
constexpr int kCloseWaitMs = 15'000;

int numberOption(const std::string &text, const std::string &option, std::int64_t low, std::int64_t high)
{
    if (const auto v = parseWholeNumber(text, low, high))
        return static_cast<int>(*v);
    throw UsageError{option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not '" + text + "'"};
}

int pixelOption(const std::string &text, const std::string &option)
{
    return numberOption(text, option, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}

Options parse(const std::vector<std::string> &args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size())
                throw UsageError{a + " needs a value"};
            return args[++i];
        };
        o.pluginOptions = o.pluginOptions || a == "--plugin" || a == "--interface" || a == "--remote" ||
                          a == "--dev-program-id" || a == "--left" || a == "--top" || a == "--width" ||
                          a == "--height";
        if (a == "--plugin")
            o.plugin.plugin = QString::fromStdString(value());
        else if (a == "--interface")
            o.plugin.interfaceName = QString::fromStdString(value());
        else if (a == "--remote")
            o.plugin.remote = true;
        else if (a == "--dev-program-id")
            o.plugin.devProgramId = QString::fromStdString(value());
        else if (a == "--left")
            o.left = pixelOption(value(), a);
        else if (a == "--top")
            o.top = pixelOption(value(), a);
        else if (a == "--width")
            o.width = pixelOption(value(), a);
        else if (a == "--height")
            o.height = pixelOption(value(), a);
        else if (a == "--exit-after")
            o.exitAfterSeconds = numberOption(value(), a, 0, kMaxExitAfterSeconds);
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError{"unknown option " + a};
        else
            o.positional.push_back(a);
    }
    return o;
}

int listPlugins()
{
    const auto registered = browser::registeredPlugins();
    // An unreadable registry is no empty one.
    if (!registered.failure.empty()) {
        std::cerr << "lns-host: the registry " << registryStorePath().string()
                  << " could not be read: " << registered.failure << "\n";
        return 1;
    }
    for (const auto &p : registered.plugins)
        std::cout << p.name << "\t" << p.progId << "\tversion " << p.version << "\t" << p.description << "\n";
    if (registered.plugins.empty())
        std::cout << "No plug-ins are registered on this machine.\n";
    return 0;
}

int listDevices(const std::string &networkName)
{
    sim::SimObjectServer server(sim::installedLonWorksFolder());
    server.Open();
    const auto network = browser::NetworkReader(server).readNetwork(networkName);
    for (const auto &sub : network.subsystems) {
        std::cout << network.name << "/" << network.system << "/" << sub.name << "\n";
        for (const auto &device : sub.devices) {
            std::cout << "  " << device.name << "\tprogram ID " << device.programId;
            std::string commands;
            for (const auto &c : device.commands)
                commands += (commands.empty() ? "" : ", ") + c.name + " (" + std::to_string(c.commandId) + ")";
            std::cout << "\tcommands: " << (commands.empty() ? "none" : commands) << "\n";
        }
    }
    server.Close();
    return 0;
}

int networkCommand(const Options &o, int commandId)
{
    browser::PluginObject object(QDBusConnection::sessionBus(), o.plugin);
    object.set(QStringLiteral("networkName"), QString::fromStdString(o.positional.at(1)));
    object.sendCommand(commandId, 0, QString());
    std::cout << (commandId == browser::HostCommand::kRegister ? "Registered" : "Deregistered") << " the plug-in in network " << o.positional.at(1)
              << ".\n";
    return 0;
}

// A plug-in without clients whose window is hidden ends; this waits (bounded) for it to go.
int closePlugin(const Options &o)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw browser::CallError{"no session bus: " + bus.lastError().message().toStdString()};
    const auto running = [&] { return bus.interface()->isServiceRegistered(o.plugin.plugin).value(); };
    // Asking a plug-in that is not running would start it.
    if (!running()) {
        std::cout << "The plug-in is not running.\n";
        return 0;
    }
    {
        browser::PluginObject object(bus, o.plugin);
        object.set(QStringLiteral("Visible"), false);
    }
    QDeadlineTimer deadline(kCloseWaitMs);
    while (running() && !deadline.hasExpired())
        QThread::msleep(20);
    if (running()) {
        std::cerr << "lns-host: the plug-in is still running; another client holds it\n";
        return 1;
    }
    std::cout << "The plug-in has ended.\n";
    return 0;
}

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

int browse(const Options &o)
{
    browser::PluginObject object(QDBusConnection::sessionBus(), o.plugin);
    object.set(QStringLiteral("networkName"), QString::fromStdString(o.positional.at(1)));
    object.sendCommand(browser::HostCommand::kBrowse, browser::HostCommand::kApplicationDevice,
                       QString::fromStdString(o.positional.at(2)));
    object.set(QStringLiteral("Visible"), true);
    if (o.width)
        object.set(QStringLiteral("Width"), *o.width);
    if (o.height)
        object.set(QStringLiteral("Height"), *o.height);
    if (o.left)
        object.set(QStringLiteral("Left"), *o.left);
    if (o.top)
        object.set(QStringLiteral("Top"), *o.top);
    std::cout << "Browsing " << o.positional.at(2) << "; close the window or press Ctrl-C to end." << std::endl;

    // Wait for the window to close, the plug-in to leave, a signal, or the time given.
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QEventLoop loop;
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        try {
            if (!object.pluginOnBus() || !object.get(QStringLiteral("Visible")).toBool())
                loop.quit();
        } catch (const browser::CallError &) {
            loop.quit();
        }
    });
    poll.start(500);
    if (o.exitAfterSeconds)
        QTimer::singleShot(*o.exitAfterSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    object.release();
    return 0;
}

int run(const std::vector<std::string> &args, int &argc, char **argv)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    const Options o = parse(args);
    if (o.positional.empty()) {
        if (!displayNamed()) {
            std::cout << kUsage;
            return 2;
        }
        if (o.pluginOptions)
            throw UsageError{"the network browser takes no options but --exit-after; give a command"};
        return browser::runNetworkBrowser(argc, argv, o.exitAfterSeconds);
    }
    QCoreApplication app(argc, argv);
    const std::string &command = o.positional[0];
    // The plug-in a person means is the one beside this program; the bus may start another.
    if (command == "register" || command == "deregister" || command == "browse" || command == "close")
        if (const std::string note = otherActivationNote(programPath("tellumic-plugin")); !note.empty())
            std::cerr << "lns-host: note: " << note << "\n";
    auto need = [&](std::size_t n) {
        if (o.positional.size() != n)
            throw UsageError{"'" + command + "' takes " + std::to_string(n - 1) + " argument" + (n == 2 ? "" : "s")};
    };
    if (command == "plugins") {
        need(1);
        return listPlugins();
    }
    if (command == "devices") {
        need(2);
        return listDevices(o.positional[1]);
    }
    if (command == "register" || command == "deregister") {
        need(2);
        return networkCommand(o, command == "register" ? browser::HostCommand::kRegister
                                                       : browser::HostCommand::kDeregister);
    }
    if (command == "browse") {
        need(3);
        return browse(o);
    }
    if (command == "close") {
        need(1);
        return closePlugin(o);
    }
    throw UsageError{"unknown command '" + command + "'"};
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return checkedExit("lns-host", run(args, argc, argv), 1);
    } catch (const UsageError &e) {
        std::cerr << "lns-host: " << e.message << "\nTry 'lns-host --help'.\n";
        return 2;
    } catch (const browser::CallError &e) {
        std::cerr << "lns-host: " << e.text << "\n";
        return 1;
    } catch (const sim::NoInstallation &e) {
        std::cerr << "lns-host: " << e.description() << "\n";
        return 1;
    } catch (const RuntimeError &e) {
        std::cerr << "lns-host: " << e.description() << " (" << e.unsignedNumber() << ")\n";
        return 1;
    } catch (const std::exception &e) {
        std::cerr << "lns-host: " << e.what() << "\n";
        return 1;
    }
}
