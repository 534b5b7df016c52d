// The device window's menus: File, Monitor (with the Calibrate entry that the Ctrl key
// shows), Log and Help.

#include <QApplication>
#include <QMenuBar>

#include "device/about_box.h"
#include "device/device_window.h"
#include "device/event_log_widget.h"
#include "device/monitor.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"
#include "model/product_tables.h"

namespace tellumic {

void DeviceWindow::buildMenus()
{
    auto *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_mnuReconnect = file->addAction(QStringLiteral("&Reconnect"));
    m_mnuReconnect->setObjectName("mnuReconnect");
    m_mnuReconnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_mnuReconnect->setToolTip(QStringLiteral("Run the start-up again for this meter"));
    m_mnuReconnect->setEnabled(false);
    connect(m_mnuReconnect, &QAction::triggered, this, [this] {
        try {
            Reconnect();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: fMain.mnuReconnect_Click()," + errorText(e));
            UpdateStatus(QString::fromStdString("Reconnect failed: " + errorText(e)), 0);
        }
    });
    file->addSeparator();
    auto *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName("mnuExit");
    connect(exit, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuExit_Click()");
        const int clients = plugIn().ClientCount;
        if (clients == 0) {
            m_queue.ExecuteLnsAction("EndPlugIn");
            return;
        }
        const std::string text =
            clients == 1 ? std::string("A director is using this plug-in. Exiting may cause the director to experience "
                                       "errors. Are you sure that you want to exit?")
                         : "There are " + std::to_string(clients) +
                               " directors using this plug-in. Exiting may cause the directors to experience errors. "
                               "Are you sure that you want to exit?";
        if (MsgBox(text, MsgStyle::kYesNo + MsgStyle::kDefaultButton2, kPlugInName) == MsgResult::Yes)
            m_queue.ExecuteLnsAction("EndPlugIn");
    });

    auto *monitor = menuBar()->addMenu(QStringLiteral("&Monitor"));
    m_mnuEnableMonitor = monitor->addAction(QStringLiteral("Enable Monitor"));
    m_mnuEnableMonitor->setObjectName("mnuEnableMonitor");
    m_mnuEnableMonitor->setCheckable(true);
    m_mnuDisableMonitor = monitor->addAction(QStringLiteral("Disable Monitor"));
    m_mnuDisableMonitor->setObjectName("mnuDisableMonitor");
    m_mnuDisableMonitor->setCheckable(true);
    connect(m_mnuEnableMonitor, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuEnableMonitor_Click()");
        UpdateMonitoringIndicators();
        m_queue.ExecuteLnsAction("EnableMonitoring," + activeTabCaption());
    });
    connect(m_mnuDisableMonitor, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuDisableMonitor_Click()");
        UpdateMonitoringIndicators();
        m_queue.ExecuteLnsAction("DisableMonitoring");
    });
    monitor->addSeparator();
    m_mnuChangeTypes = monitor->addAction(QStringLiteral("Change SNVT Types..."));
    m_mnuChangeTypes->setObjectName("mnuChangeTypes");
    m_mnuChangeTypes->setEnabled(false);
    connect(m_mnuChangeTypes, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuChangeTypes_Click()");
        try {
            if (m_changeTypes)
                m_changeTypes();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: fMain.mnuChangeTypes_Click()," + errorText(e));
            addError(errorText(e));
        }
    });
    m_mnuCalibrate = monitor->addAction(QStringLiteral("Calibrate"));
    m_mnuCalibrate->setObjectName("mnuCalibrate");
    m_mnuCalibrate->setVisible(false);
    connect(m_mnuCalibrate, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuCalibrate_Click()");
        if (!m_calibrate)
            return;
        // Monitoring rests while the calibration window works with the meter, and is put
        // back as it was when it closes.
        const bool monitoring = monitorState().MonitoringEnabled;
        try {
            DisableMonitoring(*this);
            m_calibrate();
            if (monitoring)
                EnableMonitoring(*this, activeTabCaption());
        } catch (const std::exception &e) {
            DebugLog(std::string("ERROR: fMain.mnuCalibrate_Click(),") + e.what());
        }
        UpdateMonitoringIndicators();
    });

    auto *log = menuBar()->addMenu(QStringLiteral("&Log"));
    auto *clearLog = log->addAction(QStringLiteral("Clear Log"));
    clearLog->setObjectName("mnuClearLog");
    auto *saveLog = log->addAction(QStringLiteral("&Save Log"));
    saveLog->setObjectName("mnuSaveLog");
    auto *saveLogAs = log->addAction(QStringLiteral("Save Log &As..."));
    saveLogAs->setObjectName("mnuSaveLogAs");
    connect(clearLog, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuClearLog_Click()");
        m_echLog->clearLog();
    });
    connect(saveLog, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuSaveLog_Click()");
        m_echLog->saveLog();
    });
    connect(saveLogAs, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuSaveLogAs_Click()");
        m_echLog->saveLogAs();
    });

    auto *help = menuBar()->addMenu(QStringLiteral("&Help"));
    auto *about = help->addAction(QStringLiteral("About"));
    about->setObjectName("mnuAbout");
    connect(about, &QAction::triggered, this, [this] {
        DebugLog("fMain.mnuAbout_Click()");
        AboutBox box(this);
        box.exec();
    });
    qApp->installEventFilter(this);
}

void DeviceWindow::enableChangeTypes(const std::string &programId)
{
    const auto *meter = findProgramId(programId);
    m_mnuChangeTypes->setEnabled(m_changeTypes && meter &&
                                 (meter->family == CatalogueFamily::F362 || meter->family == CatalogueFamily::F363));
}

}  // namespace tellumic
