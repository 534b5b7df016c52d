#include "device/device_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "device/event_log_widget.h"
#include "device/window_support.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/qt_accessible.h"
#include "foundation/registry.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

QPointer<DeviceWindow> g_window;

constexpr const char *kSettingsSection = "Device Window";
constexpr const char *kLogPaneHeight = "Log Pane Height";

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
    installAccessibleWidgets();
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
