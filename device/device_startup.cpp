// The device window's start-up for a device: template label, catalogue, family layout,
// initial read, first tab.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "device/device_window.h"
#include "device/event_log_widget.h"
#include "device/meter_commands.h"
#include "device/monitor.h"
#include "device/window_support.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/retry.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/nv_cp.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

using controls::cp;
using controls::nvo;

constexpr int kEnergyTab = 2;

// The Abort/Retry/Ignore question of a window procedure; the error is kept in lastError.
std::function<MsgResult(const RuntimeError &)> askFor(const std::string &procedure, const std::string &text,
                                                      const std::string &caption, std::string &lastError)
{
    return [=, &lastError](const RuntimeError &e) {
        DebugLog("ERROR: fMain." + procedure + "()," + errorText(e));
        lastError = "fMain." + procedure + "(): " + errorText(e);
        return MsgBox(text + errorText(e), MsgStyle::kAbortRetryIgnore + MsgStyle::kCritical, caption);
    };
}

}  // namespace

bool DeviceWindow::SetDevTemplateLabel()
{
    DebugLog("fMain.SetDevTemplateLabel()");
    m_startFailure.clear();
    if (plugIn().CurrentDevice)
        m_mnuReconnect->setEnabled(true);
    const bool done = runWithRetry(
        [this] {
            auto &device = currentDevice();
            std::string rest;
            const std::string templatePart = ParseWord(device.TemplateName(), "[", rest);
            const std::string text =
                std::string(kManufacturerName) + ": " + templatePart + " (" + device.ProgramId() + ")";
            if (m_lblDeviceTemplate->text().toStdString() != text)
                m_lblDeviceTemplate->setText(QString::fromStdString(text));
        },
        askFor("SetDevTemplateLabel", "fMain.SetDevTemplateLabel(): ", "fMain SetDevTemplateLabel()", m_startFailure));
    if (!done)
        reportStartFailure();
    return done;
}

bool DeviceWindow::InitDevice()
{
    DebugLog("fMain.InitDevice()");
    enableChangeTypes({});
    auto ask = [this](const RuntimeError &e) {
        DebugLog("ERROR: fMain.InitDevice()," + errorText(e));
        noteStartFailure("fMain.InitDevice(): " + errorText(e));
        return MsgBox("fMain.InitDevice() Error: " + errorText(e), MsgStyle::kAbortRetryIgnore + MsgStyle::kCritical,
                      "fMain InitDevice");
    };
    auto fail = [this] {
        ProgressWindow::closeProgress();
        reportStartFailure();
        return false;
    };
    std::string programId;
    const std::vector<std::function<void()>> steps = {
        [&] {
            programId = currentDevice().ProgramId();
            FillNvsCpsTable(programId);
        },
        [&] { CurrentNvs() = currentDevice().GetInterface()->Nvs(); },
        [&] { m_txtNodeName->setText(QString::fromStdString(currentDevice().Name())); },
        [&] { DisplayStatus("Testing the device..."); },
        [&] {
            MeterState() = tellumic::GetTellumicState(currentDevice(), true);
            SetReadyToMonitor();
            UpdateTitlebar();
        },
    };
    for (const auto &step : steps)
        if (!runWithRetry(step, ask))
            return fail();
    syncTags();
    if (!EnableControls(IsReadyToMonitor())) {
        addError("Error in EnableControls()");
        if (m_startFailure.empty())
            noteStartFailure("Error in EnableControls()");
        return fail();
    }
    if (!runWithRetry([&] { layOutFamily(currentDevice().ProgramId()); }, ask))
        return fail();
    if (!ReadInitValues()) {
        addError("Error in ReadInitValues()");
        return fail();
    }
    if (!SelectActiveTab()) {
        addError("Error in SelectActiveTab()");
        if (m_startFailure.empty())
            noteStartFailure("Error in SelectActiveTab()");
        return fail();
    }
    ProgressWindow::closeProgress();
    enableChangeTypes(programId);
    DebugLog(" Timer1.Enabled = True in fMain.InitDevice()");
    m_timer.start(kTimerIntervalMs);
    DebugLog("END fMain.InitDevice()");
    return true;
}

void DeviceWindow::syncTags()
{
    // Each box bound by an entry of this device carries the entry's position, as the tag
    // the handlers read; a box bound only by an earlier device's catalogue carries none.
    for (auto &[control, box] : m_boxes)
        box->setProperty("Tag", QVariant());
    const auto &cat = nvCpCatalogue();
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i)
        if (auto *b = box(cat.NvCpTable[static_cast<std::size_t>(i)].ValueCtl))
            b->setProperty("Tag", static_cast<int>(i));
    lockUnboundInputs();
}

bool DeviceWindow::ReadInitValues()
{
    DebugLog("fMain.ReadInitValues()");
    setBusyCursor(true);
    bool result = false;
    try {
        if (IsReadyToMonitor()) {
            const std::string caption = activeTabCaption();
            auto &cat = nvCpCatalogue();
            for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
                NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
                if (!e.ValueCtl.isTextBox())
                    continue;
                DebugLog("fMain.ReadInitValues(), name=" + e.Name + ", type=" + e.Kind);
                if (e.Kind == "CP")
                    readInitCp(e);
                else
                    readInitNv(e, caption);
            }
        }
        if (controlText(cp(2)).size() == 1)
            setControlText(cp(2), "0" + controlText(cp(2)));
        m_txtFirmwareVer->setText(QString::fromStdString(controlText(cp(1)) + "." + controlText(cp(2))));
        result = true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.ReadInitValues()," + errorText(e));
        addError("Error reading initial values: " + errorText(e));
        noteStartFailure("Error reading initial values: " + errorText(e));
    }
    setBusyCursor(false);
    ProgressWindow::closeProgress();
    return result;
}

void DeviceWindow::readInitCp(NvCp &e)
{
    auto cpObject = GetCpByTypeIndex(currentDevice(), e.CpAddress);
    if (!cpObject)
        return;
    DisplayStatus("Reading Configuration Property: " + cpObject->Name() + "...");
    e.Value = cpObject->Value();
    FormatCp(*this, e);
}

void DeviceWindow::readInitNv(const NvCp &e, const std::string &caption)
{
    auto nv = CurrentNvs().Item(e.Name);
    if (e.TypeName == "SNVT_power_f#SI") {
        const std::string format = nv->FormatSpec();
        if (format == "SNVT_power_f#US" || format == "SNVT_power_f") {
            nv->SetFormatSpec("SNVT_power_f#SI");
            nv->Commit();
        } else if (format == "SNVT_power#US" || format == "SNVT_power") {
            nv->SetFormatSpec("SNVT_power#SI");
            nv->Commit();
        }
    }
    // The unit follows the type the NV is sent in now, which a type change may have made
    // kilowatts; on every tab, so that no label still says W for a kW value.
    if (!e.UnitCtl.isNone())
        SetUnitLabel(*this, e, nv->FormatSpec());
    if (e.Tab != caption)
        return;
    DisplayStatus("Reading Network variable: " + e.Name + " ...");
    const std::string value = nv->Value();
    std::string format = nv->FormatSpec();
    FormatSnvt(*this, e, value, format);
}

bool DeviceWindow::SelectActiveTab()
{
    DebugLog("fMain.SelectActiveTab()");
    return runWithRetry(
        [this] {
            QSignalBlocker quiet(m_tabData);  // monitoring follows directly below, not through the queue
            m_tabData->setCurrentIndex(kEnergyTab);
            m_lastTab = kEnergyTab;
            EnableMonitoring(*this, activeTabCaption());
            m_queue.readEnergiesOnNextIdleTick();
        },
        askFor("SelectActiveTab", "fMain.SelectActiveTab(): ", "fMain SelectActiveTab", m_startFailure));
}

bool DeviceWindow::EnableControls(bool enable)
{
    DebugLog("fMain.EnableControls()");
    return runWithRetry(
        [&] {
            const auto &cat = nvCpCatalogue();
            for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
                const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
                auto *b = box(e.ValueCtl);
                if (!b || e.Kind == "CP")
                    continue;
                setOff(b, "offByState", !enable);
                if (e.Kind == "NVI") {
                    QPalette p = b->palette();
                    p.setColor(QPalette::Base, enable ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
                    b->setPalette(p);
                }
            }
        },
        askFor("EnableControls", "fMain.EnableControls():", "fMain EnableControls", m_startFailure));
}

void DeviceWindow::UpdateTitlebar()
{
    DebugLog("fMain.UpdateTitlebar()");
    const std::string &state = MeterState();
    setWindowTitle(QString::fromLatin1(kPlugInName) +
                   (state == "Cnfg Online" ? QString() : QStringLiteral(" - ") + QString::fromStdString(state)));
    noteMeterState(state);
}

void DeviceWindow::UpdateStatus(const QString &text, int ticks)
{
    DebugLog("fMain.UpdateStatus(" + text.toStdString() + "," + std::to_string(ticks) + ")");
    m_txtStatus->setText(text);
    m_txtStatus->setCursorPosition(0);
    m_txtStatus->setToolTip(text);  // the whole text where the line is too short
    m_txtStatus->repaint();
    m_statusTicks = ticks;
}

void DeviceWindow::releaseDevice()
{
    DebugLog("fMain.releaseDevice()");
    m_timer.stop();
    if (IsReadyToMonitor() && IsMonitoringEnabled()) {
        try {
            DisableMonitoring(*this);
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: fMain.releaseDevice()," + errorText(e));
        }
    }
    monitorState() = MonitorState{};
    CurrentNvs() = {};
    enableChangeTypes({});
    for (auto &[control, b] : m_boxes) {
        markChanged(b, false);
        markStale(b, QString());
        showText(b, QString());
        b->setProperty("Tag", QVariant());
    }
    m_shownState.clear();
    m_editPending = false;
    m_cmdApply->setEnabled(false);
    m_cmdCancel->setEnabled(false);
    m_txtFirmwareVer->clear();
    m_txtLastTmError->clear();
    showNoFamilyLayout();
    lockUnboundInputs();
}

void DeviceWindow::noteStartFailure(const std::string &why)
{
    m_startFailure = why;
}

// A failed start-up leaves the window without its timer: no clock, no refreshes, no live
// values. The status line says so, and why, until the user reconnects.
void DeviceWindow::reportStartFailure()
{
    // What the user needs first stands first: the line is cut on the right.
    const QString text = QStringLiteral("Live values are off; File > Reconnect (Ctrl+R) tries again. Start-up failed") +
                         (m_startFailure.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(m_startFailure));
    UpdateStatus(text, 0);
}

bool DeviceWindow::Reconnect()
{
    DebugLog("fMain.mnuReconnect_Click()");
    if (!plugIn().CurrentDevice)
        return false;
    if (LnsBusy()) {
        UpdateStatus(QStringLiteral("Busy; choose Reconnect again when the work in progress has ended"), 10);
        return false;
    }
    const LnsBusyScope busy;
    releaseDevice();
    if (!SetDevTemplateLabel() || !InitDevice())
        return false;
    UpdateStatus(QStringLiteral("Reconnected: live values are on"), 10);
    return true;
}

}  // namespace tellumic
