#include "device/device_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "device/about_box.h"
#include "device/event_log_widget.h"
#include "device/logging_tab.h"
#include "device/meter_commands.h"
#include "device/monitor.h"
#include "device/window_support.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/registry.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"
#include "model/product_tables.h"

namespace tellumic {

namespace {

QPointer<DeviceWindow> g_window;

constexpr int kBoxWidth = 130;
constexpr const char *kSettingsSection = "Device Window";
constexpr const char *kLogPaneHeight = "Log Pane Height";

using controls::cp;
using controls::nvi;
using controls::nvo;

QLineEdit *readOnlyBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

QGroupBox *group(const QString &title, QGridLayout *&grid)
{
    auto *box = new QGroupBox(title);
    grid = new QGridLayout(box);
    grid->setColumnStretch(3, 1);
    return box;
}

// A tab's page: its groups stacked at the top.
QWidget *page(std::initializer_list<QWidget *> parts)
{
    auto *w = new QWidget;
    auto *layout = new QVBoxLayout(w);
    for (auto *p : parts)
        layout->addWidget(p);
    layout->addStretch(1);
    return w;
}

// Two groups side by side, as one part of a page.
QWidget *sideBySide(QWidget *left, QWidget *right)
{
    auto *w = new QWidget;
    auto *layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(left, 1);
    layout->addWidget(right, 1);
    return w;
}

}  // namespace

QString controlObjectName(ControlRef control)
{
    const auto name = controlArrayName(control.array);
    if (control.array == ControlArray::txtPtPrimary)
        return QStringLiteral("txtPtPrimary");
    return QString::fromLatin1(name.data(), static_cast<int>(name.size())) + '_' + QString::number(control.index);
}

DeviceWindow::DeviceWindow(QWidget *parent) : QMainWindow(parent), m_queue(*this)
{
    setObjectName("fMain");
    buildUi();
    buildMenus();
    registerActions();
    m_timer.setObjectName("Timer1");
    m_timer.setSingleShot(true);
    m_timer.setInterval(kTimerIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DeviceWindow::Timer1_Timer);
    m_eventPump.setInterval(kEventPumpIntervalMs);
    connect(&m_eventPump, &QTimer::timeout, this, &DeviceWindow::pumpEvents);
    m_waiter = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    };
    DebugLog("fMain.Form_Load()");
    showNoFamilyLayout();
    lockUnboundInputs();
    UpdateTitlebar();
}

DeviceWindow::~DeviceWindow()
{
    DebugLog("fMain.Form_Unload()");
    attachObjectServer(nullptr);
}

DeviceWindow &DeviceWindow::instance()
{
    if (!g_window)
        g_window = new DeviceWindow();
    return *g_window;
}

bool DeviceWindow::exists()
{
    return !g_window.isNull();
}

void DeviceWindow::attachObjectServer(std::shared_ptr<lns::ObjectServer> server)
{
    if (m_server)
        m_server->SetEventSink(nullptr);
    m_server = std::move(server);
    if (m_server) {
        m_server->SetEventSink(this);
        m_eventPump.start();
    } else {
        m_eventPump.stop();
    }
}

void DeviceWindow::pumpEvents()
{
    try {
        if (m_server)
            m_server->DispatchEvents();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.lcaOS_Events()," + errorText(e));
    }
}

void DeviceWindow::buildUi()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    auto *header = new QHBoxLayout;
    m_lblDeviceTemplate = new QLabel(central);
    m_lblDeviceTemplate->setObjectName("lblDeviceTemplate");
    m_lblDeviceTemplate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *nodeCaption = new QLabel(QStringLiteral("Device:"), central);
    m_txtNodeName = readOnlyBox("txtNodeName", central);
    m_txtNodeName->setMinimumWidth(200);
    nodeCaption->setBuddy(m_txtNodeName);
    header->addWidget(nodeCaption);
    header->addWidget(m_txtNodeName);
    header->addSpacing(12);
    header->addWidget(m_lblDeviceTemplate, 1);
    layout->addLayout(header);

    m_tabData = new QTabWidget(central);
    m_tabData->setObjectName("tabData");
    m_tabData->addTab(buildInfoTab(), QStringLiteral("Info"));
    m_tabData->addTab(buildPowerTab(), QStringLiteral("Power"));
    m_tabData->addTab(buildEnergyTab(), QStringLiteral("Energy"));
    m_tabData->addTab(buildDemandTab(), QStringLiteral("Demand"));
    m_tabData->addTab(buildMultimeterTab(), QStringLiteral("Multimeter"));
    m_tabData->addTab(buildPowerFactorTab(), QStringLiteral("Power Factor"));
    m_tabData->addTab(buildLoggingTab(), QStringLiteral("Logging"));
    connect(m_tabData, &QTabWidget::currentChanged, this, &DeviceWindow::onTabChanged);

    m_echLog = new EventLogWidget(central);
    // The user can enlarge the event log by dragging the splitter; the height is kept.
    m_split = new QSplitter(Qt::Vertical, central);
    m_split->setObjectName("splitLog");
    m_split->setChildrenCollapsible(false);
    m_split->addWidget(m_tabData);
    auto *logBox = new QGroupBox(QStringLiteral("Event log"), central);
    auto *logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(m_echLog);
    m_split->addWidget(logBox);
    m_split->setStretchFactor(0, 4);
    m_split->setStretchFactor(1, 1);
    layout->addWidget(m_split, 1);

    auto *buttons = new QHBoxLayout;
    m_cmdApply = new QPushButton(QStringLiteral("&Apply"), central);
    m_cmdApply->setObjectName("cmdApply");
    m_cmdCancel = new QPushButton(QStringLiteral("&Cancel"), central);
    m_cmdCancel->setObjectName("cmdCancel");
    m_cmdApply->setEnabled(false);
    m_cmdCancel->setEnabled(false);
    m_cmdApply->setToolTip(QStringLiteral("Write the values shown in red to the meter"));
    m_cmdCancel->setToolTip(QStringLiteral("Put back the values shown before editing"));
    connect(m_cmdApply, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdApply_Click()");
        m_queue.ExecuteLnsAction("fMain.ApplyNvCpChanges");
    });
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdCancel_Click()");
        m_queue.ExecuteLnsAction("fMain.CancelNvCpChanges");
    });
    m_txtStatus = readOnlyBox("txtStatus", central);
    m_txtStatus->setAccessibleName(QStringLiteral("Status"));
    m_txtStatus->setPlaceholderText(QStringLiteral("Ready"));
    buttons->addWidget(m_txtStatus, 1);
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdCancel);
    layout->addLayout(buttons);

    setCentralWidget(central);
    resize(900, 680);
}

QLineEdit *DeviceWindow::addField(QGridLayout *grid, int row, int column, ControlRef control, const QString &caption,
                                  const QString &unit, ControlRef unitRef)
{
    auto *label = new QLabel(caption);
    label->setObjectName(QStringLiteral("lblNv_") + controlObjectName(control));
    auto *box = new QLineEdit;
    box->setObjectName(controlObjectName(control));
    box->setMinimumWidth(kBoxWidth);
    box->setMaximumWidth(2 * kBoxWidth);
    label->setBuddy(box);
    grid->addWidget(label, row, column);
    grid->addWidget(box, row, column + 1);
    std::vector<QWidget *> widgets{label, box};
    if (!unit.isNull()) {
        auto *unitLabel = new QLabel(unit);
        unitLabel->setMinimumWidth(36);
        if (!unitRef.isNone()) {
            unitLabel->setObjectName(controlObjectName(unitRef));
            m_units[unitRef] = unitLabel;
        } else {
            unitLabel->setObjectName(QStringLiteral("lblNv_unit_") + controlObjectName(control));
        }
        grid->addWidget(unitLabel, row, column + 2);
        widgets.push_back(unitLabel);
    }
    box->setReadOnly(control.array == ControlArray::txtNvo);
    if (control.array == ControlArray::txtNvo)
        box->setAlignment(Qt::AlignRight);
    if (control.array != ControlArray::txtNvo) {
        box->installEventFilter(this);
        // Any change the window did not make itself is an edit: typing, pasting, or a
        // screen reader setting the text.
        connect(box, &QLineEdit::textChanged, this, [this, box] { onBoxTextChanged(box); });
    }
    m_boxes[control] = box;
    m_fieldWidgets[control] = std::move(widgets);
    return box;
}

QWidget *DeviceWindow::buildInfoTab()
{
    QGridLayout *id = nullptr;
    auto *identity = group(QStringLiteral("Meter"), id);
    addField(id, 0, 0, cp(5), QStringLiteral("Model:"), {});
    addField(id, 1, 0, cp(3), QStringLiteral("Serial number:"), {});
    addField(id, 2, 0, cp(0), QStringLiteral("Location:"), {})->setMinimumWidth(220);
    addField(id, 3, 0, cp(1), QStringLiteral("Major version:"), {});
    addField(id, 4, 0, cp(2), QStringLiteral("Minor version:"), {});
    auto *fwLabel = new QLabel(QStringLiteral("Firmware version:"));
    m_txtFirmwareVer = readOnlyBox("txtFirmwareVer", identity);
    fwLabel->setBuddy(m_txtFirmwareVer);
    id->addWidget(fwLabel, 5, 0);
    id->addWidget(m_txtFirmwareVer, 5, 1);

    QGridLayout *cfg = nullptr;
    auto *config = group(QStringLiteral("Configuration"), cfg);
    addField(cfg, 0, 0, nvi(1), QStringLiteral("CT rating:"), QStringLiteral("A"));
    addField(cfg, 1, 0, cp(4), QStringLiteral("Nominal voltage:"), QStringLiteral("V"));
    addField(cfg, 2, 0, cp(10), QStringLiteral("PT ratio:"), QStringLiteral(""));
    auto *pt = addField(cfg, 3, 0, {ControlArray::txtPtPrimary, 0}, QStringLiteral("PT primary:"), QStringLiteral("V"));
    pt->setReadOnly(true);
    m_fieldWidgets[{ControlArray::txtPtPrimary, 0}].front()->setObjectName("lblPtPrimary");
    addField(cfg, 4, 0, cp(6), QStringLiteral("SNVT Update Rate:"), QStringLiteral("s"));

    QGridLayout *clk = nullptr;
    auto *clock = group(QStringLiteral("Clock and status"), clk);
    addField(clk, 0, 0, nvi(0), QStringLiteral("Meter date/time:"), {})->setMinimumWidth(170);
    auto *pcLabel = new QLabel(QStringLiteral("PC date/time:"));
    m_txtPcDateTime = readOnlyBox("txtPcDateTime", clock);
    m_txtPcDateTime->setMinimumWidth(170);
    pcLabel->setBuddy(m_txtPcDateTime);
    clk->addWidget(pcLabel, 1, 0);
    clk->addWidget(m_txtPcDateTime, 1, 1);
    auto *setClock = new QPushButton(QStringLiteral("Update Tellumic to PC Date/Time"));
    setClock->setObjectName("cmdTmToPcDateTime");
    clk->addWidget(setClock, 1, 2, 1, 2, Qt::AlignLeft);
    connect(setClock, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdTmToPcDateTime_Click()");
        const std::string now = FormatDateTimeVB(processClock().now());
        m_txtPcDateTime->setText(QString::fromStdString(now));
        m_queue.ExecuteLnsAction("SetTmDateTime," + now);
    });
    auto *errLabel = new QLabel(QStringLiteral("Last Tellumic Error:"));
    m_txtLastTmError = readOnlyBox("txtLastTmError", clock);
    m_txtLastTmError->setMinimumWidth(320);
    errLabel->setBuddy(m_txtLastTmError);
    clk->addWidget(errLabel, 2, 0);
    clk->addWidget(m_txtLastTmError, 2, 1, 1, 3);
    auto *check = new QPushButton(QStringLiteral("Check Status"));
    check->setObjectName("cmdCheckStatus");
    auto *clear = new QPushButton(QStringLiteral("Clear Status"));
    clear->setObjectName("cmdClearTmError");
    auto *statusButtons = new QHBoxLayout;
    statusButtons->addWidget(check);
    statusButtons->addWidget(clear);
    statusButtons->addStretch(1);
    clk->addLayout(statusButtons, 3, 1, 1, 3);
    connect(check, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdCheckStatus_Click()");
        m_txtLastTmError->clear();
        m_queue.ExecuteLnsAction("UpdateTellumicState,True");
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdClearTmError_Click()");
        m_queue.ExecuteLnsAction("ClearTmError");
    });

    auto *w = new QWidget;
    auto *grid = new QGridLayout(w);
    grid->addWidget(identity, 0, 0);
    grid->addWidget(config, 0, 1);
    grid->addWidget(clock, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);
    return w;
}

QWidget *DeviceWindow::buildPowerTab()
{
    QGridLayout *g = nullptr;
    auto *real = group(QStringLiteral("Real power"), g);
    addField(g, 0, 0, nvo(1), QStringLiteral("Total:"), QStringLiteral("W"), {ControlArray::lblPowerType, 0});
    addField(g, 1, 0, nvo(2), QStringLiteral("Phase A:"), QStringLiteral("W"), {ControlArray::lblPowerType, 1});
    addField(g, 2, 0, nvo(3), QStringLiteral("Phase B:"), QStringLiteral("W"), {ControlArray::lblPowerType, 2});
    addField(g, 3, 0, nvo(4), QStringLiteral("Phase C:"), QStringLiteral("W"), {ControlArray::lblPowerType, 3});
    addField(g, 4, 0, cp(8), QStringLiteral("Send time:"), QStringLiteral("s"));
    QGridLayout *r = nullptr;
    auto *reactive = group(QStringLiteral("Reactive power"), r);
    addField(r, 0, 0, nvo(8), QStringLiteral("Total:"), QStringLiteral("VAR"), {ControlArray::lblReacPwrType, 0});
    addField(r, 1, 0, nvo(11), QStringLiteral("Phase A:"), QStringLiteral("VAR"), {ControlArray::lblReacPwrType, 1});
    addField(r, 2, 0, nvo(10), QStringLiteral("Phase B:"), QStringLiteral("VAR"), {ControlArray::lblReacPwrType, 2});
    addField(r, 3, 0, nvo(9), QStringLiteral("Phase C:"), QStringLiteral("VAR"), {ControlArray::lblReacPwrType, 3});
    addField(r, 4, 0, cp(12), QStringLiteral("Send time:"), QStringLiteral("s"));
    return page({sideBySide(real, reactive)});
}

QWidget *DeviceWindow::buildEnergyTab()
{
    QGridLayout *g = nullptr;
    auto *totals = group(QStringLiteral("Energy totals"), g);
    addField(g, 0, 0, nvo(12), QStringLiteral("Net energy:"), QStringLiteral("kWh"));
    addField(g, 1, 0, nvo(13), QStringLiteral("Positive energy:"), QStringLiteral("kWh"));
    addField(g, 2, 0, nvo(14), QStringLiteral("Net energy (NR):"), QStringLiteral("kWh"));
    addField(g, 3, 0, nvo(15), QStringLiteral("Positive energy (NR):"), QStringLiteral("kWh"));
    addField(g, 4, 0, nvo(16), QStringLiteral("Reactive energy:"), QStringLiteral("kVARh"));
    QGridLayout *p = nullptr;
    auto *phases = group(QStringLiteral("Energy per phase"), p);
    addField(p, 0, 0, nvo(17), QStringLiteral("Phase A:"), QStringLiteral("kWh"));
    addField(p, 1, 0, nvo(18), QStringLiteral("Phase B:"), QStringLiteral("kWh"));
    addField(p, 2, 0, nvo(19), QStringLiteral("Phase C:"), QStringLiteral("kWh"));
    addField(p, 3, 0, cp(7), QStringLiteral("Send time:"), QStringLiteral("s"));
    m_cmdResetEnergy = new QPushButton(QStringLiteral("Reset Energy Totals"));
    m_cmdResetEnergy->setObjectName("cmdResetEnergy");
    connect(m_cmdResetEnergy, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdResetEnergy_Click()");
        confirmAndQueue("This will zero all energy variables except those ending with 'NR'. Are you sure?",
                        "Zero Energy Totals", "ResetEnergy");
    });
    auto *row = new QWidget;
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(m_cmdResetEnergy);
    rowLayout->addStretch(1);
    return page({sideBySide(totals, phases), row});
}

QWidget *DeviceWindow::buildDemandTab()
{
    QGridLayout *g = nullptr;
    auto *demand = group(QStringLiteral("Demand"), g);
    addField(g, 0, 0, nvo(5), QStringLiteral("Present demand:"), QStringLiteral("W"), {ControlArray::lblDemandType, 0});
    addField(g, 1, 0, nvo(6), QStringLiteral("Peak demand:"), QStringLiteral("W"), {ControlArray::lblDemandType, 1});
    addField(g, 2, 0, nvo(7), QStringLiteral("Peak demand time:"), {})->setMinimumWidth(170);
    addField(g, 3, 0, nvi(3), QStringLiteral("Demand period:"), QStringLiteral("min"));
    addField(g, 4, 0, nvi(4), QStringLiteral("Subintervals:"), {});
    auto *reset = new QPushButton(QStringLiteral("Reset Peak Demand"));
    reset->setObjectName("cmdResetPkDemand");
    connect(reset, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdResetPkDemand_Click()");
        confirmAndQueue("This will zero the peak demand and peak demand timestamp. Are you sure?", "Zero Peak Demand",
                        "ResetPeakDemand");
    });
    auto *row = new QWidget;
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(reset);
    rowLayout->addStretch(1);
    return page({demand, row});
}

QWidget *DeviceWindow::buildMultimeterTab()
{
    QGridLayout *v = nullptr;
    auto *volts = group(QStringLiteral("Voltage and frequency"), v);
    addField(v, 0, 0, nvo(20), QStringLiteral("Phase A:"), QStringLiteral("V"));
    addField(v, 1, 0, nvo(21), QStringLiteral("Phase B:"), QStringLiteral("V"));
    addField(v, 2, 0, nvo(22), QStringLiteral("Phase C:"), QStringLiteral("V"));
    addField(v, 3, 0, nvo(23), QStringLiteral("Frequency:"), QStringLiteral("Hz"));
    QGridLayout *c = nullptr;
    auto *current = group(QStringLiteral("Current"), c);
    addField(c, 0, 0, nvo(24), QStringLiteral("Phase A:"), QStringLiteral("A"));
    addField(c, 1, 0, nvo(25), QStringLiteral("Phase B:"), QStringLiteral("A"));
    addField(c, 2, 0, nvo(26), QStringLiteral("Phase C:"), QStringLiteral("A"));
    addField(c, 3, 0, cp(9), QStringLiteral("Send time:"), QStringLiteral("s"));
    return page({sideBySide(volts, current)});
}

QWidget *DeviceWindow::buildPowerFactorTab()
{
    QGridLayout *g = nullptr;
    auto *pf = group(QStringLiteral("Power factor"), g);
    addField(g, 0, 0, nvo(29), QStringLiteral("Average:"), {});
    addField(g, 1, 0, nvo(28), QStringLiteral("Phase A:"), {});
    addField(g, 2, 0, nvo(27), QStringLiteral("Phase B:"), {});
    addField(g, 3, 0, nvo(0), QStringLiteral("Phase C:"), {});
    addField(g, 4, 0, cp(13), QStringLiteral("Send time:"), QStringLiteral("s"));
    return page({pf});
}

QWidget *DeviceWindow::buildLoggingTab()
{
    QGridLayout *g = nullptr;
    auto *settings = group(QStringLiteral("Interval log"), g);
    auto *interval = addField(g, 0, 0, nvi(2), QStringLiteral("Logging Interval (minutes):"), QStringLiteral("min"));
    m_loggingTab = new LoggingTab(*this, settings, interval);
    return m_loggingTab;
}

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

void DeviceWindow::confirmAndQueue(const char *text, const char *caption, const char *action)
{
    if (MsgBox(text, MsgStyle::kOkCancel, caption) == MsgResult::Ok)
        m_queue.ExecuteLnsAction(action);
}

QLineEdit *DeviceWindow::box(ControlRef control) const
{
    const auto it = m_boxes.find(control);
    return it == m_boxes.end() ? nullptr : it->second;
}

QLabel *DeviceWindow::unitLabel(ControlRef control) const
{
    const auto it = m_units.find(control);
    return it == m_units.end() ? nullptr : it->second;
}

void DeviceWindow::setControlText(ControlRef control, const std::string &text)
{
    if (auto *b = box(control))
        showText(b, QString::fromStdString(text));
    else if (auto *u = unitLabel(control))
        u->setText(QString::fromStdString(text));
}

std::string DeviceWindow::controlText(ControlRef control) const
{
    if (auto *b = box(control))
        return b->text().toStdString();
    if (auto *u = unitLabel(control))
        return u->text().toStdString();
    return {};
}

void DeviceWindow::addError(const std::string &text)
{
    m_echLog->addError(text);
}

void DeviceWindow::addInfo(const std::string &text)
{
    m_echLog->addInfo(text);
}

void DeviceWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    restoreLogPaneHeight();
    if (const auto *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    }
}

void DeviceWindow::saveLogPaneHeight()
{
    const QList<int> sizes = m_split->sizes();
    if (sizes.size() < 2 || sizes[1] <= 0)
        return;
    try {
        CRegistry().AppSetting(kSettingsSection, kLogPaneHeight, std::to_string(sizes[1]));
    } catch (const std::exception &e) {
        DebugLog(std::string("ERROR: fMain.saveLogPaneHeight(),") + e.what());
    }
}

void DeviceWindow::restoreLogPaneHeight()
{
    int height = 0;
    try {
        height = QString::fromStdString(CRegistry().AppSetting(kSettingsSection, kLogPaneHeight)).toInt();
    } catch (const std::exception &e) {
        DebugLog(std::string("ERROR: fMain.restoreLogPaneHeight(),") + e.what());
    }
    const QList<int> sizes = m_split->sizes();
    const int total = sizes.size() < 2 ? 0 : sizes[0] + sizes[1];
    if (height > 0 && total > 0)
        m_split->setSizes({std::max(total - height, 1), std::min(height, total - 1)});
}

bool DeviceWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && m_split && watched == m_split->handle(1))
        saveLogPaneHeight();
    // The window sees the Ctrl key before its controls: it shows the hidden Calibrate entry.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && m_mnuCalibrate &&
        (watched == this || (watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == this))) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat()) {
            const bool ctrl = key->key() == Qt::Key_Control;
            const bool down = event->type() == QEvent::KeyPress;
            m_mnuCalibrate->setVisible(down ? ctrl : !ctrl);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void DeviceWindow::closeEvent(QCloseEvent *event)
{
    DebugLog("fMain.Form_QueryUnload()");
    if (plugIn().ClientCount > 0) {
        event->ignore();
        hide();
        return;
    }
    event->ignore();
    m_queue.ExecuteLnsAction("EndPlugIn");
}

void DeviceWindow::ConditionalExit()
{
    DebugLog("fMain.ConditionalExit()");
    if (plugIn().ClientCount > 0)
        hide();
    else
        m_queue.ExecuteLnsAction("EndPlugIn");
}

}  // namespace tellumic
