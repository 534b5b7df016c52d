#include "browser/browser_main.h"

#include <iostream>

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

#include "browser/network_browser_window.h"
#include "foundation/qt_accessible.h"
#include "foundation/qt_dialogs.h"
#include "foundation/qt_display.h"

namespace tellumic::browser {

int runNetworkBrowser(int &argc, char **argv, std::optional<int> exitAfterSeconds)
{
    QtDialogs dialogs;
    try {
        const auto app = startApplication(argc, argv, "lns-host", "the network browser needs a display");
        QApplication::setApplicationName(QStringLiteral("lns-host"));
        QApplication::setApplicationDisplayName(QString::fromLatin1(NetworkBrowserWindow::kCaption));
        QApplication::setDesktopFileName(QString::fromLatin1(NetworkBrowserWindow::kDesktopFileName));
        QApplication::setWindowIcon(NetworkBrowserWindow::icon());
        installAccessibleWidgets();
        const DialogsScope boxes(dialogs);
        NetworkBrowserWindow window(QDBusConnection::sessionBus());
        dialogs.setParent(&window);
        window.show();
        if (exitAfterSeconds)
            QTimer::singleShot(*exitAfterSeconds * 1000, &window, &QWidget::close);
        return app->exec();
    } catch (const std::exception &e) {
        std::cerr << "lns-host: the network browser failed: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace tellumic::browser
