// The device window's family layouts: which boxes, captions, buttons and tabs each firmware
// family shows, and the layout before any device is shown.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "device/device_window.h"
#include "device/monitor.h"
#include "device/window_support.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/number_format.h"
#include "model/product_tables.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

using controls::cp;
using controls::nvo;

constexpr int kLoggingTab = 6;

}  // namespace

void DeviceWindow::layOutFamily(const std::string &programId)
{
    // Program IDs are matched exactly here, as the meter commands match them.
    const auto *meter = findProgramId(programId);
    if (!meter || meter->ProgramId != programId)
        throw RuntimeError(kObjectErrorBase + 2013, "Invalid Tellumic model or firmware version - not supported by this plug-in");
    switch (meter->family) {
    case CatalogueFamily::F302:
    case CatalogueFamily::F312: {
        ShowControls_TMB();
        auto &device = currentDevice();
        const std::string location = device.Location();
        setControlText(cp(0), location + " \"" + HexToString(location) + "\"");
        auto nvs = CurrentNvs();
        nvs.Item("nviCalSel")->SetValue("24");
        const std::string firmware = formatNumber(toDouble(nvs.Item("nviCal")->Value()), "0.00");
        m_txtFirmwareVer->setText(QString::fromStdString(firmware));
        setControlText(cp(1), firmware.substr(0, 1));
        setControlText(cp(2), firmware.size() > 2 ? firmware.substr(2, 2) : std::string());
        break;
    }
    case CatalogueFamily::F362:
        ShowControls_362();
        break;
    case CatalogueFamily::F363:
        ShowControls_Plus_Logger(meter->logging, meter->ptRatio);
        break;
    }
}

// What a family layout decides. Each layout sets every field, so that a window that
// showed one family shows the next exactly as a fresh window would, whatever the order.
struct DeviceWindow::FamilyLayout
{
    bool singleUpdateRate;  // txtCp 6: the one send time of family 363
    bool blockSendTimes;    // txtCp 8, 12, 7: power, reactive-power and energy send or update times
    bool updateTimesAsNvs;  // their captions: families 302 and 312 take update times as NV inputs
    bool meterSendTimes;    // txtCp 9, 13: multimeter and power-factor send times
    bool identity;          // txtCp 5, 3, 4: model, serial number, nominal voltage
    bool resettableSums;    // txtNvo 13, 14, 15 and the "Reset Energy Totals" button
    bool locationLocked;    // txtCp 0
    bool ptRatio;           // txtCp 10 and the PT primary voltage
    bool logging;           // the "Logging" tab
};

void DeviceWindow::ShowControls_TMB()
{
    DebugLog("fMain.ShowControls_TMB()");
    applyLayout({.singleUpdateRate = false,
                 .blockSendTimes = true,
                 .updateTimesAsNvs = true,
                 .meterSendTimes = false,
                 .identity = false,
                 .resettableSums = false,
                 .locationLocked = true,
                 .ptRatio = false,
                 .logging = false});
}

void DeviceWindow::ShowControls_362()
{
    DebugLog("fMain.ShowControls_362()");
    applyLayout({.singleUpdateRate = false,
                 .blockSendTimes = true,
                 .updateTimesAsNvs = false,
                 .meterSendTimes = true,
                 .identity = true,
                 .resettableSums = true,
                 .locationLocked = false,
                 .ptRatio = false,
                 .logging = true});
}

void DeviceWindow::ShowControls_Plus_Logger(bool showLogging, bool showPtRatio)
{
    DebugLog("fMain.ShowControls_Plus_Logger()");
    applyLayout({.singleUpdateRate = true,
                 .blockSendTimes = false,
                 .updateTimesAsNvs = false,
                 .meterSendTimes = false,
                 .identity = true,
                 .resettableSums = true,
                 .locationLocked = false,
                 .ptRatio = showPtRatio,
                 .logging = showLogging});
}

void DeviceWindow::showNoFamilyLayout()
{
    // Until a family's layout says otherwise: every box but the PT ones, no Logging tab.
    applyLayout({.singleUpdateRate = true,
                 .blockSendTimes = true,
                 .updateTimesAsNvs = false,
                 .meterSendTimes = true,
                 .identity = true,
                 .resettableSums = true,
                 .locationLocked = false,
                 .ptRatio = false,
                 .logging = false});
}

void DeviceWindow::applyLayout(const FamilyLayout &l)
{
    setFieldVisible(cp(6), l.singleUpdateRate);
    for (int i : {8, 12, 7})
        setFieldVisible(cp(i), l.blockSendTimes);
    // Families 302 and 312 show update times; the energy one keeps its NV name.
    const QString sendTime = QStringLiteral("Send time:");
    setFieldCaption(cp(8), l.updateTimesAsNvs ? QStringLiteral("Update time:") : sendTime);
    setFieldCaption(cp(12), l.updateTimesAsNvs ? QStringLiteral("Update time:") : sendTime);
    setFieldCaption(cp(7), l.updateTimesAsNvs ? QStringLiteral("nciEngyUpdtT") : sendTime);
    for (int i : {9, 13})
        setFieldVisible(cp(i), l.meterSendTimes);
    for (int i : {5, 3, 4})
        setFieldVisible(cp(i), l.identity);
    for (int i : {13, 14, 15})
        setFieldVisible(nvo(i), l.resettableSums);
    setShown(m_cmdResetEnergy, l.resettableSums);
    setLocked(cp(0), l.locationLocked);
    setFieldVisible(cp(10), l.ptRatio);
    setFieldVisible({ControlArray::txtPtPrimary, 0}, l.ptRatio);
    setTabShown(kLoggingTab, l.logging);
}

void DeviceWindow::setFieldVisible(ControlRef control, bool visible)
{
    const auto it = m_fieldWidgets.find(control);
    if (it == m_fieldWidgets.end())
        return;
    for (auto *w : it->second)
        setShown(w, visible);
}

// A control that the layout hides is disabled as well: assistive technology reaches hidden
// controls too, and a disabled control refuses what it is asked to do.
void DeviceWindow::setShown(QWidget *widget, bool shown)
{
    widget->setVisible(shown);
    setOff(widget, "offByLayout", !shown);
}

void DeviceWindow::setTabShown(int index, bool shown)
{
    m_tabData->setTabVisible(index, shown);
    m_tabData->setTabEnabled(index, shown);  // also disables the page and its controls
}

void DeviceWindow::setFieldCaption(ControlRef control, const QString &caption)
{
    const auto it = m_fieldWidgets.find(control);
    if (it == m_fieldWidgets.end())
        return;
    if (auto *label = qobject_cast<QLabel *>(it->second.front()))
        label->setText(caption);
}

// A widget is enabled unless something turned it off: the family layout ("offByLayout") or
// the meter's readiness ("offByState", the NV boxes of EnableControls).
void DeviceWindow::setOff(QWidget *widget, const char *reason, bool off)
{
    widget->setProperty(reason, off);
    widget->setEnabled(!widget->property("offByLayout").toBool() && !widget->property("offByState").toBool());
}

void DeviceWindow::setLocked(ControlRef control, bool locked)
{
    if (auto *b = box(control)) {
        b->setReadOnly(locked);
        QPalette p = b->palette();
        p.setColor(QPalette::Base, locked ? palette().color(QPalette::Button) : palette().color(QPalette::Base));
        b->setPalette(p);
    }
}

// Input boxes that no catalogue entry of the device shown is bound to (the version boxes of
// families 302 and 312, which show nviCal, or boxes of another family) are read-only: an
// edit there could never be written.
void DeviceWindow::lockUnboundInputs()
{
    for (auto &[control, b] : m_boxes)
        if (control.array == ControlArray::txtNvi || control.array == ControlArray::txtCp)
            setLocked(control, !b->property("Tag").isValid());
}

}  // namespace tellumic
