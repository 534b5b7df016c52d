// lns-host: a small director that drives a registered plug-in through its automation
// interface the way an LNS host tool does.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
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

#include "foundation/paths.h"
#include "foundation/registry.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "sim/sim_object_server.h"

namespace {

using namespace tellumic;

constexpr const char *kUsage = R"(Usage: lns-host COMMAND [ARGUMENTS] [OPTIONS]

Drives LNS plug-ins the way a network-management tool does, on this TELLUMIC_HOME.

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
                                staying open (for scripts)
)";

struct UsageError
{
    std::string message;
};

struct Options
{
    QString plugin = QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI");
    std::optional<QString> interfaceName;
    bool remote = false;
    std::optional<QString> devProgramId;
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
        if (a == "--plugin")
            o.plugin = QString::fromStdString(value());
        else if (a == "--interface")
            o.interfaceName = QString::fromStdString(value());
        else if (a == "--remote")
            o.remote = true;
        else if (a == "--dev-program-id")
            o.devProgramId = QString::fromStdString(value());
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

// A failure reported by the plug-in or the bus.
struct CallError
{
    std::string text;
};

// One automation object of the plug-in, released when this goes.
class PluginObject
{
public:
    explicit PluginObject(const Options &o) : m_bus(QDBusConnection::sessionBus()), m_service(o.plugin)
    {
        if (!m_bus.isConnected())
            throw CallError{"no session bus: " + m_bus.lastError().message().toStdString()};
        const QDBusMessage reply = call(QStringLiteral("/Tellumic_PlugIn/LNSPlugInAPI"), QStringLiteral("Tellumic_PlugIn.Factory"),
                                        QStringLiteral("CreateObject"), {});
        m_path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (o.interfaceName)
            set(QStringLiteral("NetworkInterfaceName"), *o.interfaceName);
        if (o.remote)
            set(QStringLiteral("Remote"), true);
        if (o.devProgramId)
            set(QStringLiteral("DevelopmentProgramId"), *o.devProgramId);
    }
    ~PluginObject()
    {
        try {
            release();
        } catch (const CallError &) {
        }
    }

    void set(const QString &property, const QVariant &value)
    {
        call(m_path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
             {QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI"), property, QVariant::fromValue(QDBusVariant(value))});
    }
    QVariant get(const QString &property)
    {
        const auto reply = call(m_path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                {QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI"), property});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    void sendCommand(int commandId, int objectType, const QString &objectName)
    {
        call(m_path, QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI"), QStringLiteral("SendCommand"),
             {commandId, QVariant::fromValue(static_cast<qint16>(objectType)), objectName});
    }
    void release()
    {
        if (m_path.isEmpty())
            return;
        const QString path = m_path;
        m_path.clear();
        call(path, QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI"), QStringLiteral("Release"), {});
    }
    bool pluginOnBus() { return m_bus.interface()->isServiceRegistered(m_service).value(); }

private:
    QDBusMessage call(const QString &path, const QString &interface, const QString &method, const QVariantList &args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, path, interface, method);
        message.setArguments(args);
        // A command may wait on a question to the user: no reply time-out.
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, std::numeric_limits<int>::max());
        if (reply.type() == QDBusMessage::ErrorMessage) {
            QString name = reply.errorName();
            const QString prefix = QStringLiteral("Tellumic_PlugIn.Error.E");
            if (name.startsWith(prefix))
                throw CallError{"error " + name.mid(prefix.size()).toStdString() + ": " + reply.errorMessage().toStdString()};
            throw CallError{name.toStdString() + ": " + reply.errorMessage().toStdString()};
        }
        return reply;
    }

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
};

int listPlugins()
{
    CRegistry registry;
    const std::string root = "SOFTWARE\\LonWorks\\LCA\\Plug-Ins";
    int count = 0;
    for (std::string name = registry.FindFirstMachineKey(root); !name.empty(); name = registry.GetNextMachineKey()) {
        const std::string key = root + "\\" + name;
        std::string progId;
        registry.GetRegValue(kHkeyLocalMachine, key, "", progId);
        std::cout << name << "\t" << progId << "\tversion " << registry.MachineSetting(key, "Version") << "\t"
                  << registry.MachineSetting(key, "Description") << "\n";
        ++count;
    }
    // An unreadable registry is no empty one.
    if (!registry.storeFailure().empty()) {
        std::cerr << "lns-host: the registry " << registryStorePath().string()
                  << " could not be read: " << registry.storeFailure() << "\n";
        return 1;
    }
    if (count == 0)
        std::cout << "No plug-ins are registered on this machine.\n";
    return 0;
}

int listDevices(const std::string &networkName)
{
    sim::SimObjectServer server(sim::installedLonWorksFolder());
    server.Open();
    auto network = server.Networks().Item(networkName);
    network->Open();
    auto system = network->Systems().Item(1);
    system->Open();
    const auto templates = system->DeviceTemplates();
    for (const auto &sub : system->Subsystems()) {
        std::cout << network->Name() << "/" << system->Name() << "/" << sub->Name() << "\n";
        for (const auto &device : sub->AppDevices()) {
            std::cout << "  " << device->Name() << "\tprogram ID " << device->ProgramId();
            std::string commands;
            if (auto t = templates.Find(device->TemplateName())) {
                for (const auto &app : t->ComponentApplications()->Items())
                    commands += (commands.empty() ? "" : ", ") + app->Name() + " (" + std::to_string(app->CommandId()) + ")";
            }
            std::cout << "\tcommands: " << (commands.empty() ? "none" : commands) << "\n";
        }
    }
    server.Close();
    return 0;
}

int networkCommand(const Options &o, int commandId)
{
    PluginObject object(o);
    object.set(QStringLiteral("networkName"), QString::fromStdString(o.positional.at(1)));
    object.sendCommand(commandId, 0, QString());
    std::cout << (commandId == 50 ? "Registered" : "Deregistered") << " the plug-in in network " << o.positional.at(1)
              << ".\n";
    return 0;
}

// A plug-in without clients whose window is hidden ends; this waits (bounded) for it to go.
int closePlugin(const Options &o)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw CallError{"no session bus: " + bus.lastError().message().toStdString()};
    const auto running = [&] { return bus.interface()->isServiceRegistered(o.plugin).value(); };
    // Asking a plug-in that is not running would start it.
    if (!running()) {
        std::cout << "The plug-in is not running.\n";
        return 0;
    }
    {
        PluginObject object(o);
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
    PluginObject object(o);
    object.set(QStringLiteral("networkName"), QString::fromStdString(o.positional.at(1)));
    object.sendCommand(20, 7, QString::fromStdString(o.positional.at(2)));
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
        } catch (const CallError &) {
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

int run(const std::vector<std::string> &args)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return args.empty() ? 2 : 0;
    }
    const Options o = parse(args);
    const std::string &command = o.positional.empty() ? std::string() : o.positional[0];
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
        return networkCommand(o, command == "register" ? 50 : 51);
    }
    if (command == "browse") {
        need(3);
        return browse(o);
    }
    if (command == "close") {
        need(1);
        return closePlugin(o);
    }
    throw UsageError{command.empty() ? "no command given" : "unknown command '" + command + "'"};
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return run(args);
    } catch (const UsageError &e) {
        std::cerr << "lns-host: " << e.message << "\nTry 'lns-host --help'.\n";
        return 2;
    } catch (const CallError &e) {
        std::cerr << "lns-host: " << e.text << "\n";
        return 1;
    } catch (const RuntimeError &e) {
        std::cerr << "lns-host: " << e.description() << " (" << e.unsignedNumber() << ")\n";
        return 1;
    } catch (const std::exception &e) {
        std::cerr << "lns-host: " << e.what() << "\n";
        return 1;
    }
}
