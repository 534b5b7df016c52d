#include "foundation/qt_display.h"

#include <cstdio>
#include <cstdlib>

namespace tellumic {

namespace {

// Read by the message handler, which Qt calls with nothing of ours.
std::string g_program;
std::string g_need;

void reportMissingDisplay(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fprintf(stderr, "%s: %s (%s)\n", g_program.c_str(), g_need.c_str(), message.toLocal8Bit().constData());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

bool displayNamed()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char *value = std::getenv(name); value && *value)
            return true;
    return false;
}

std::unique_ptr<QApplication> startApplication(int &argc, char **argv, std::string program, std::string need)
{
    g_program = std::move(program);
    g_need = std::move(need);
    const QtMessageHandler previous = qInstallMessageHandler(reportMissingDisplay);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return app;
}

}  // namespace tellumic
