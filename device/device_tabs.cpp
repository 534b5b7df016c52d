// The device window's tabs: the value boxes of each tab with their captions and units, and
// the buttons that go with them.

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/device_window.h"
#include "device/logging_tab.h"
#include "device/window_support.h"
#include "foundation/clock.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"

namespace tellumic {

namespace {

constexpr int kBoxWidth = 130;

using controls::cp;
using controls::nvi;
using controls::nvo;

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

QLineEdit *readOnlyBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
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

}  // namespace tellumic
