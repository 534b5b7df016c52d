// The device window's family layouts: which boxes, captions, buttons and tabs each firmware
// family shows, and the layout before any device is shown.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "device/device_window.h"
#include "device/monitor.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/number_format.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

constexpr int kLoggingTab = 6;

lns::AppDevice &currentDevice()
{
    auto &device = plugIn().CurrentDevice;
    if (!device)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "No current device");
    return *device;
}

ControlRef cp(int i)
{
    return {ControlArray::txtCp, i};
}

ControlRef nvo(int i)
{
    return {ControlArray::txtNvo, i};
}

}  // namespace

void DeviceWindow::layOutFamily(const std::string &programId)
{
    if (programId == "80B7E515000A0402" || programId == "80B7E515000A0405" || programId == "90B7E515000A040B" ||
        programId == "80B7E515000A0403") {
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
    } else if (programId == "80B7E515000A0407") {
        ShowControls_Plus_Logger(false, false);
    } else if (programId == "80B7E515008A0409") {
        ShowControls_362();
    } else if (programId == "80B7E515000A040A") {
        ShowControls_Plus_Logger(true, false);
    } else if (programId == "90B7E515000A040C") {
        ShowControls_Plus_Logger(false, true);
    } else if (programId == "90B7E515000A040D") {
        ShowControls_Plus_Logger(true, true);
    } else {
        throw RuntimeError(kObjectErrorBase + 2013, "Invalid Tellumic model or firmware version - not supported by this plug-in");
    }
}

void DeviceWindow::ShowControls_TMB()
{
    DebugLog("fMain.ShowControls_TMB()");
    setFieldVisible(cp(6), false);
    for (int i : {8, 12, 7})
        setFieldVisible(cp(i), true);
    for (int i : {9, 13, 5, 3, 4})
        setFieldVisible(cp(i), false);
    for (int i : {13, 14, 15})
        setFieldVisible(nvo(i), false);
    m_cmdResetEnergy->setVisible(false);
    setLocked(cp(0), true);
    // These meters take update intervals as NV inputs; the energy one keeps its NV name.
    if (auto *label = qobject_cast<QLabel *>(m_fieldWidgets[cp(7)].front()))
        label->setText(QStringLiteral("nciEngyUpdtT"));
    for (int i : {8, 12})
        if (auto *label = qobject_cast<QLabel *>(m_fieldWidgets[cp(i)].front()))
            label->setText(QStringLiteral("Update time:"));
}

void DeviceWindow::ShowControls_362()
{
    DebugLog("fMain.ShowControls_362()");
    setFieldVisible(cp(6), false);
    for (int i : {8, 12, 7, 9, 13, 5, 3, 4})
        setFieldVisible(cp(i), true);
    for (int i : {13, 14, 15})
        setFieldVisible(nvo(i), true);
    m_cmdResetEnergy->setVisible(true);
    setLocked(cp(0), false);
    m_tabData->setTabVisible(kLoggingTab, true);
}

void DeviceWindow::ShowControls_Plus_Logger(bool showLogging, bool showPtRatio)
{
    DebugLog("fMain.ShowControls_Plus_Logger()");
    setFieldVisible(cp(6), true);
    for (int i : {8, 12, 7, 9, 13})
        setFieldVisible(cp(i), false);
    for (int i : {5, 3, 4})
        setFieldVisible(cp(i), true);
    for (int i : {13, 14, 15})
        setFieldVisible(nvo(i), true);
    m_cmdResetEnergy->setVisible(true);
    setLocked(cp(0), false);
    setFieldVisible(cp(10), showPtRatio);
    setFieldVisible({ControlArray::txtPtPrimary, 0}, showPtRatio);
    m_tabData->setTabVisible(kLoggingTab, showLogging);
}

void DeviceWindow::showNoFamilyLayout()
{
    // Until a family's layout says otherwise: every box but the PT ones, no Logging tab.
    for (auto &[control, widgets] : m_fieldWidgets)
        for (auto *w : widgets)
            w->setVisible(true);
    setFieldVisible(cp(10), false);
    setFieldVisible({ControlArray::txtPtPrimary, 0}, false);
    m_tabData->setTabVisible(kLoggingTab, false);
}

void DeviceWindow::setFieldVisible(ControlRef control, bool visible)
{
    const auto it = m_fieldWidgets.find(control);
    if (it == m_fieldWidgets.end())
        return;
    for (auto *w : it->second)
        w->setVisible(visible);
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

}  // namespace tellumic
