// tellumic-plugin: the plug-in's one executable. Started by the session bus with
// -Embedding it serves automation objects; started by a person or an installer it acts on
// its command line and ends, or shows the registration window.

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/device_window.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/qt_dialogs.h"
#include "foundation/qt_display.h"
#include "foundation/trace_log.h"
#include "foundation/ui_pump.h"
#include "host/automation_service.h"
#include "host/plugin_api.h"
#include "host/registration.h"
#include "host/registration_window.h"
#include "model/product_tables.h"
#include "sim/installation.h"
#include "sim/object_seam.h"
#include "sim/resource_files.h"
#include "sim/sim_object_server.h"

using namespace tellumic;

namespace {

std::string lowerTrimmed(std::string text)
{
    const auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
    text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Answers every box with its default button and writes what it showed to a file, one line
// each ("caption<TAB>style<TAB>text"): for tests and unattended demo runs that drive the
// plug-in from outside, selected by TELLUMIC_DIALOG_LOG.
class LoggedDialogs final : public Dialogs
{
public:
    explicit LoggedDialogs(std::string file) : m_file(std::move(file)) {}
    MsgResult messageBox(std::string_view text, int style, std::string_view caption) override
    {
        std::string oneLine(text);
        std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        if (std::FILE *f = std::fopen(m_file.c_str(), "a")) {
            std::fprintf(f, "%.*s\t%d\t%s\n", static_cast<int>(caption.size()), caption.data(), style, oneLine.c_str());
            std::fclose(f);
        }
        return defaultButtonOf(style);
    }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }

private:
    std::string m_file;
};

// The platform this build runs on: the simulated LNS installation named in the registry.
void installPlatform()
{
    setObjectServerFactory([] {
        const auto folder = nativePath(GetLonWorksPath());
        return std::make_shared<sim::SimObjectServer>(folder, sim::atSeam([&] { return sim::installationOptions(folder); }));
    });
    setResourceCatalogueFactory([] { return sim::makeResourceCatalogue(); });
}

// The platforms the bus-started plug-in tries in turn: the display the environment names,
// then none.
QByteArray fallbackPlatforms()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return "wayland;xcb;offscreen";
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return "xcb;offscreen";
    return "offscreen";
}

int registerServer()
{
    return installActivationFile(QCoreApplication::applicationFilePath().toStdString()) ? 0 : 1;
}

int unregisterServer()
{
    return removeActivationFile() ? 0 : 1;
}

int registerPlugIn()
{
    const std::string why = RegisterRegistrationCommand(false);
    if (why.empty())
        return 0;
    std::fprintf(stderr, "tellumic-plugin: the plug-in could not be registered: %s\n", why.c_str());
    return 1;
}

template <int mode>
int deregisterPlugIn()
{
    const std::string why = DeregisterMe(mode, false);
    if (why.empty())
        return 0;
    std::fprintf(stderr, "tellumic-plugin: the plug-in could not be deregistered: %s\n", why.c_str());
    return 1;
}

// A switch that acts without a window; run returns the exit status.
struct Switch
{
    const char *commandLine;
    int (*run)();
};

// The switches; the rest of the command line shows the registration window.
constexpr Switch kSwitches[] = {
    {"/regserver", registerServer},
    {"/unregserver", unregisterServer},
    {"/regplugin", registerPlugIn},
    {"/deregplugin", deregisterPlugIn<0>},
    {"/deregplugin /deregmode:-1", deregisterPlugIn<-1>},
    {"/deregplugin /deregmode:0", deregisterPlugIn<0>},
    {"/deregplugin /deregmode:1", deregisterPlugIn<1>},
};

const Switch *findSwitch(const std::string &commandLine)
{
    const auto it = std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                 [&](const Switch &s) { return commandLine == s.commandLine; });
    return it == std::end(kSwitches) ? nullptr : &*it;
}

int runAutomation(QApplication &app)
{
    AutomationService service(QDBusConnection::sessionBus());
    if (!service.start()) {
        DebugLog("ERROR: MMain.Main(), the session bus name " + std::string(kBusName) + " is not available");
        return 1;
    }
    // The end of the run ends the process at once, wherever it is reached (the watchdog
    // fires inside blocking steps), once the replies already sent have left.
    setProcessEndHandler([&service] {
        service.flushReplies();
        endProcessNow(0);
    });
    // Started by the bus, the plug-in has no one to serve once the bus is gone.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, &app, [] {
        if (!QDBusConnection::sessionBus().isConnected())
            EndPlugIn();
    });
    busWatch.start(1000);
    return app.exec();
}

const char *const kUsage = R"(Usage:
  tellumic-plugin                     show the registration window (needs a display)
  tellumic-plugin /regplugin          register the plug-in in the LNS installation
  tellumic-plugin /deregplugin [/deregmode:-1|0|1]
                                      deregister it
  tellumic-plugin /regserver          install its D-Bus activation file
  tellumic-plugin /unregserver        remove it
  tellumic-plugin -Embedding          serve automation objects (the session bus starts it so)
  tellumic-plugin --help              show this text
The LNS installation and the program folder are under TELLUMIC_HOME.
)";

}  // namespace

int main(int argc, char **argv)
{
    // Help opens nothing, not even the program folder.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        errno = 0;
        std::fputs(kUsage, stdout);
        if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
            return 0;
        std::fprintf(stderr, "tellumic-plugin: cannot write standard output: %s\n", std::strerror(errno));
        return 1;
    }
    // The program folder comes first, so that the start's own trace line lands in it.
    std::filesystem::path folder;
    try {
        folder = programFolder();
        std::filesystem::create_directories(folder);
        if (!std::filesystem::is_directory(folder))
            throw std::filesystem::filesystem_error("not a folder", folder, std::make_error_code(std::errc::not_a_directory));
    } catch (const std::filesystem::filesystem_error &e) {
        std::fprintf(stderr, "tellumic-plugin: cannot use the program folder %s (TELLUMIC_HOME %s): %s\n",
                     folder.c_str(), tellumicHome().c_str(), e.code().message().c_str());
        return 1;
    }
    for (int i = 0; i < 3; ++i)
        DebugLog("");
    DebugLog(std::string("MMain.Main(), Plugin version=") + kPlugInVersion);
    QDir::setCurrent(QString::fromStdString(folder.string()));

    std::vector<std::string> args(argv + 1, argv + argc);
    const bool automation = std::find(args.begin(), args.end(), "-Embedding") != args.end();
    std::string joined;
    for (const auto &a : args)
        joined += (joined.empty() ? "" : " ") + a;
    const std::string commandLine = lowerTrimmed(joined);

    const QByteArray dialogLog = qgetenv("TELLUMIC_DIALOG_LOG");
    LoggedDialogs loggedDialogs(dialogLog.toStdString());
    if (!dialogLog.isEmpty())
        setDialogs(&loggedDialogs);
    installPlatform();
    setProcessEndHandler([] { endProcessNow(0); });

    std::string warning = "0,";
    if (const Switch *action = automation ? nullptr : findSwitch(commandLine)) {
        // The switches show no window and need no display.
        QCoreApplication app(argc, argv);
        setUiPump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
        try {
            return action->run();
        } catch (const RuntimeError &e) {
            warning = errorText(e);
        }
        setUiPump(nullptr);
    }

    const char *needsDisplay = automation ? "the device window needs a display, and none is available"
                                          : "the registration window needs a display, and none is available; "
                                            "/regplugin and /deregplugin work without one";
    // Started by the bus, the plug-in serves whatever display there is, or none: without
    // one it runs on Qt's offscreen platform, and what would show a window says why not.
    const bool offscreenFallback = automation && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (offscreenFallback)
        qputenv("QT_QPA_PLATFORM", fallbackPlatforms());
    if (!displayNamed()) {
        std::fprintf(stderr, "tellumic-plugin: %s (DISPLAY is not set)\n", needsDisplay);
        return 1;
    }
    const auto application = startApplication(argc, argv, "tellumic-plugin", needsDisplay);
    QApplication &app = *application;
    bool headless = false;
    if (offscreenFallback) {
        qunsetenv("QT_QPA_PLATFORM");  // the converter and the other programs started choose their own
        headless = QGuiApplication::platformName() == QLatin1String("offscreen");
    }
    if (headless)
        setWindowsUnavailable(std::string(needsDisplay) +
                              (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                   ? " (DISPLAY is not set)"
                                   : " (the display named in DISPLAY cannot be reached)"));
    QApplication::setApplicationName(QStringLiteral("tellumic-plugin"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kPlugInName));
    QtDialogs qtDialogs;
    // Without a display nobody could answer a message box: each takes its default button.
    if (dialogLog.isEmpty())
        setDialogs(headless ? static_cast<Dialogs *>(&loggedDialogs) : &qtDialogs);
    setUiPump([] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    ProgressWindow::setExpiredHandler([] { EndPlugIn(); });
    if (automation)
        return runAutomation(app);

    DebugLog("WARN: MMain.Main()" + warning);
    auto *window = new RegistrationWindow(!commandLine.empty());
    window->show();
    return app.exec();
}
