// tellumic-log view: the log viewer for a CSV log file, such as one a customer sent.

#include "tools/tellumic_log_view.h"

#include <iostream>

#include <fcntl.h>

#include <QApplication>
#include <QIcon>

#include "foundation/file_io.h"
#include "foundation/qt_dialogs.h"
#include "foundation/qt_display.h"
#include "logview/log_csv_reader.h"
#include "logview/log_viewer_window.h"

namespace tellumic {

namespace {

// The header decides whether a file is a log; the first 64 KB hold it if anything does.
std::string checkLogFile(const std::string &path)
{
    std::string head;
    try {
        // A pipe or a device is refused: reading one could block for good.
        const RegularFile file = openRegularFile(path, O_RDONLY, "log files", Links::kFollow);
        head = file.readAt(0, logview::kMaxLineBytes + 2);
    } catch (const RuntimeError &e) {
        return "cannot be read: " + e.description();
    }
    if (head.empty())
        return "is empty";
    logview::LogCsvReader reader;
    reader.feed(head);
    if (reader.failed())
        return "cannot be shown: " + reader.error();
    if (!reader.formatKnown())
        return "cannot be shown: it holds no complete header line";
    return {};
}

}  // namespace

int runLogView(const std::vector<std::string> &args, int &argc, char **argv)
{
    if (args.size() != 1 || args[0].starts_with("-")) {
        std::cerr << "tellumic-log: view: give one CSV log file\n\nUsage: tellumic-log view FILE.csv\n";
        return 2;
    }
    const std::string &file = args[0];
    if (const std::string problem = checkLogFile(file); !problem.empty()) {
        std::cerr << "tellumic-log: " << file << ' ' << problem << '\n';
        return 1;
    }
    if (!displayNamed()) {
        std::cerr << "tellumic-log: view opens a window and needs a display; neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set\n";
        return 1;
    }
    QtDialogs dialogs;
    int status = 0;
    try {
        const auto app = startApplication(argc, argv, "tellumic-log", "view opens a window and needs a display");
        // The window class is the program's name, as the desktop entry's StartupWMClass says.
        QApplication::setApplicationName(QStringLiteral("tellumic-log"));
        QApplication::setApplicationDisplayName(QStringLiteral("Tellumic Log Viewer"));
        QApplication::setDesktopFileName(QStringLiteral("com.tellumic.LogViewer"));
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.tellumic.LogViewer"),
                                                     QIcon(QStringLiteral(":/icons/com.tellumic.LogViewer.svg"))));
        const DialogsScope boxes(dialogs);
        logview::LogViewerWindow window;
        dialogs.setParent(&window);
        window.openFile(QString::fromLocal8Bit(file.c_str()));
        window.show();
        status = app->exec();
    } catch (const std::exception &e) {
        std::cerr << "tellumic-log: the viewer failed: " << e.what() << '\n';
        status = 1;
    }
    return status;
}

}  // namespace tellumic
