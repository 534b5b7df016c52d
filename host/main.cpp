// tellumic-plugin: the plug-in's one executable. Started by the session bus with
// -Embedding it serves automation objects; started by a person or an installer it acts on
// its command line and ends, or shows the registration window.

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "device/device_window.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/qt_dialogs.h"
#include "foundation/trace_log.h"
#include "foundation/ui_pump.h"
#include "host/automation_service.h"
#include "host/registration.h"
#include "host/registration_window.h"
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
        return std::make_shared<sim::SimObjectServer>(sim::installedLonWorksFolder());
    });
}

int runAutomation(QApplication &app)
{
    AutomationService service(QDBusConnection::sessionBus());
    if (!service.start()) {
        DebugLog("ERROR: MMain.Main(), the session bus name " + std::string(kBusName) + " is not available");
        return 1;
    }
    // Started by the bus, the plug-in has no one to serve once the bus is gone.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, &app, [] {
        if (!QDBusConnection::sessionBus().isConnected())
            EndPlugIn();
    });
    busWatch.start(1000);
    return app.exec();
}

// The stand-alone switches; -1 when the command line is none of them.
int runCommandLine(const std::string &commandLine)
{
    if (commandLine == "/regserver")
        return installActivationFile(QCoreApplication::applicationFilePath().toStdString()) ? 0 : 1;
    if (commandLine == "/unregserver")
        return removeActivationFile() ? 0 : 1;
    if (commandLine == "/regplugin") {
        RegisterRegistrationCommand(false);
        return 0;
    }
    static const std::pair<const char *, int> deregistrations[] = {
        {"/deregplugin", 0},
        {"/deregplugin /deregmode:-1", -1},
        {"/deregplugin /deregmode:0", 0},
        {"/deregplugin /deregmode:1", 1},
    };
    for (const auto &[line, mode] : deregistrations)
        if (commandLine == line) {
            DeregisterMe(mode, false);
            return 0;
        }
    return -1;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tellumic-plugin"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kPlugInName));
    QtDialogs qtDialogs;
    const QByteArray dialogLog = qgetenv("TELLUMIC_DIALOG_LOG");
    LoggedDialogs loggedDialogs(dialogLog.toStdString());
    setDialogs(dialogLog.isEmpty() ? static_cast<Dialogs *>(&qtDialogs) : &loggedDialogs);
    setUiPump([] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    ProgressWindow::setExpiredHandler([] { EndPlugIn(); });
    installPlatform();

    for (int i = 0; i < 3; ++i)
        DebugLog("");
    DebugLog(std::string("MMain.Main(), Plugin version=") + kPlugInVersion);
    const auto folder = programFolder();
    std::filesystem::create_directories(folder);
    QDir::setCurrent(QString::fromStdString(folder.string()));

    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (args.contains(QStringLiteral("-Embedding")))
        return runAutomation(app);

    const std::string commandLine = lowerTrimmed(args.join(' ').toStdString());
    try {
        if (const int code = runCommandLine(commandLine); code >= 0)
            return code;
        DebugLog("WARN: MMain.Main()0,");
    } catch (const RuntimeError &e) {
        DebugLog("WARN: MMain.Main()" + errorText(e));
    }
    auto *window = new RegistrationWindow(!commandLine.empty());
    window->show();
    return app.exec();
}
