// The device window at work: its timer, the queue's actions, monitoring events, editing
// and the end of a plug-in run.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>

#include "device/device_window.h"
#include "device/event_log_widget.h"
#include "device/logging_tab.h"
#include "device/meter_commands.h"
#include "device/monitor.h"
#include "device/window_support.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/retry.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"
#include "model/nv_cp.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

std::function<void()> g_endProcess = [] { QCoreApplication::exit(0); };
std::function<bool()> g_logTransferRunning;

std::string replaceDashes(std::string text)
{
    for (char &c : text)
        if (c == '-')
            c = '/';
    return text;
}

}  // namespace

lns::AppDevice &currentDevice()
{
    auto &device = plugIn().CurrentDevice;
    if (!device)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "No current device");
    return *device;
}

void DeviceWindow::registerActions()
{
    using A = LnsArgument;
    using Arg = LnsActionQueue::Arg;
    auto &q = m_queue;
    q.registerAction("ClearTmError", A::None, [this](const Arg &) {
        tellumic::ClearTmError(currentDevice());
        m_queue.UpdateTellumicState(true);
    });
    q.registerAction("DisableMonitoring", A::None, [this](const Arg &) { DisableMonitoring(*this); });
    q.registerAction("EnableMonitoring", A::Text, [this](const Arg &a) { EnableMonitoring(*this, a.text); });
    q.registerAction("EndPlugIn", A::None, [](const Arg &) { EndPlugIn(); });
    q.registerAction("PauseMonitoringNV", A::Text, [this](const Arg &a) { PauseMonitoringNV(*this, a.text); });
    q.registerAction("ResetEnergy", A::None, [](const Arg &) { tellumic::ResetEnergy(); });
    q.registerAction("ResetPeakDemand", A::None,
                     [this](const Arg &) { tellumic::ResetPeakDemand(currentDevice(), m_waiter); });
    q.registerAction("SetTmDateTime", A::Text, [this](const Arg &a) { tellumic::SetTmDateTime(*this, a.text); });
    q.registerAction("UpdateNvMonitoring", A::Text, [this](const Arg &a) { UpdateNvMonitoring(*this, a.text); });
    q.registerAction("UpdateTellumicState", A::Boolean, [this](const Arg &a) { m_queue.UpdateTellumicState(a.boolean); });
    q.registerAction("fMain.ApplyNvCpChanges", A::None, [this](const Arg &) { ApplyNvCpChanges(); });
    q.registerAction("fMain.CancelNvCpChanges", A::None, [this](const Arg &) { CancelNvCpChanges(); });
    q.registerAction("fMain.ReadLogData", A::None, [this](const Arg &) { m_loggingTab->ReadLogData(); });
    q.registerAction("UpdateLogInfo", A::None, [this](const Arg &) { UpdateLogInfo(); });
}

void DeviceWindow::Timer1_Timer()
{
    m_timer.stop();
    try {
        m_txtPcDateTime->setText(QString::fromStdString(FormatDateTimeVB(processClock().now())));
        m_queue.TimerTickLns();
        if (m_statusTicks > 0)
            --m_statusTicks;
        if (m_statusTicks == 0) {
            m_txtStatus->clear();
            m_txtStatus->setToolTip(QString());
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.Timer1_Timer()," + errorText(e));
    }
    m_timer.start(kTimerIntervalMs);
}

void DeviceWindow::stopTimer()
{
    m_timer.stop();
}

void DeviceWindow::onTabChanged(int index)
{
    DebugLog("fMain.tabData_Click()");
    // A tab that the family layout hides cannot be selected, not even by assistive
    // technology, which reaches hidden tabs too.
    if (!m_tabData->isTabVisible(index) || !m_tabData->isTabEnabled(index)) {
        QSignalBlocker quiet(m_tabData);
        m_tabData->setCurrentIndex(m_lastTab);
        return;
    }
    m_lastTab = index;
    const std::string caption = m_tabData->tabText(index).toStdString();
    m_queue.ExecuteLnsAction("UpdateNvMonitoring," + caption);
    if (caption == "Logging")
        m_loggingTab->InitLoggingTab(plugIn().CurrentDeviceName);
}

std::string DeviceWindow::activeTabCaption()
{
    return m_tabData->tabText(m_tabData->currentIndex()).toStdString();
}

void DeviceWindow::setBusyCursor(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

std::string DeviceWindow::GetTellumicState(bool checkError)
{
    return tellumic::GetTellumicState(currentDevice(), checkError);
}

std::string DeviceWindow::GetLastTmError()
{
    return tellumic::GetLastTmError(currentDevice());
}

void DeviceWindow::showLastTmError(const std::string &text)
{
    m_txtLastTmError->setText(QString::fromStdString(text));
}

void DeviceWindow::CheckUnpauseMonitoring(const std::string &caption)
{
    tellumic::CheckUnpauseMonitoring(caption);
}

void DeviceWindow::UpdateMonitoringIndicators()
{
    DebugLog("fMain.UpdateMonitoringIndicators()");
    const bool enabled = monitorState().MonitoringEnabled;
    m_mnuEnableMonitor->setChecked(enabled);
    m_mnuDisableMonitor->setChecked(!enabled);
}

void DeviceWindow::ReadEnergies()
{
    tellumic::ReadEnergies(*this, currentDevice());
}

void DeviceWindow::UpdateLogInfo()
{
    m_loggingTab->UpdateLogInfo(plugIn().CurrentDevice);
}

void DeviceWindow::OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source)
{
    DebugLog("fMain.lcaOS_OnNetworkVariableUpdate()");
    try {
        const NvCp *entry = nvCpCatalogue().byMonitorTag(tag);
        if (!entry || !source)
            return;
        std::string format = source->FormatSpec();
        FormatSnvt(*this, *entry, value, format);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.lcaOS_OnNetworkVariableUpdate()," + errorText(e));
    }
}

void DeviceWindow::OnNvUpdateError(std::int32_t tag, const RuntimeError &)
{
    DebugLog("fMain.lcaOS_OnNvUpdateError()");
    const auto &cat = nvCpCatalogue();
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if (e.MonitorTag != tag)
            continue;
        m_echLog->addMonitoringError("Nv update error: " + e.Name);
        if (e.ValueCtl.isTextBox())
            setControlText(e.ValueCtl, "Read Error");
        return;
    }
}

void DeviceWindow::OnSystemServicePin(const std::string &neuronId, const std::string &programId)
{
    DebugLog("fMain.lcaOS_OnSystemServicePin()");
    try {
        const std::string current = plugIn().CurrentDevice ? plugIn().CurrentDevice->NeuronId() : std::string();
        addInfo(servicePinMessage(current, neuronId, programId));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.lcaOS_OnSystemServicePin()," + errorText(e));
    }
}

void DeviceWindow::OnSystemNssIdle()
{
    DebugLog("fMain.lcaOS_OnSystemNssIdle()");
    if (m_logIdle && m_logIdle())
        return;
    if (auto *focus = QApplication::focusWidget())
        focus->repaint();
}

bool DeviceWindow::isChanged(ControlRef control) const
{
    const auto *b = box(control);
    return b && b->property("changed").toBool();
}

// The window writes a box: a value read from the meter, a state text, or what Cancel puts
// back. That text is what Cancel restores later. A box the user is editing keeps the edit;
// the newer value only becomes what Cancel restores.
void DeviceWindow::showText(QLineEdit *b, const QString &text)
{
    b->setProperty("shownText", text);
    if (b->property("stale").toBool())
        markStale(b, QString());
    if (b->property("changed").toBool())
        return;
    const QScopedValueRollback<bool> showing(m_showingValue, true);
    b->setText(text);
}

void DeviceWindow::onBoxTextChanged(QLineEdit *b)
{
    if (m_showingValue)
        return;
    // A box that cannot be edited (locked, hidden, or bound to nothing) takes no text from
    // outside: what it showed is put back.
    if (b->isReadOnly() || !b->isEnabled()) {
        const QScopedValueRollback<bool> showing(m_showingValue, true);
        b->setText(b->property("shownText").toString());
        return;
    }
    onBoxEdited(b);
}

void DeviceWindow::markChanged(QLineEdit *b, bool changed)
{
    b->setProperty("changed", changed);
    paintText(b);
}

// Values read before the meter left a state that shows values are muted until the next
// update of their box, so that old numbers do not look live beside "Offline".
void DeviceWindow::markStale(QLineEdit *b, const QString &state)
{
    b->setProperty("stale", !state.isEmpty());
    b->setAccessibleDescription(state.isEmpty() ? QString()
                                                : QStringLiteral("Not updated since the meter went ") + state);
    b->setToolTip(b->accessibleDescription());
    paintText(b);
}

void DeviceWindow::paintText(QLineEdit *b)
{
    QPalette p = b->palette();
    if (b->property("changed").toBool())
        p.setColor(QPalette::Text, QColor(Qt::red));
    else if (b->property("stale").toBool())
        p.setColor(QPalette::Text, palette().color(QPalette::Disabled, QPalette::Text));
    else
        p.setColor(QPalette::Text, palette().color(QPalette::ButtonText));
    b->setPalette(p);
}

void DeviceWindow::noteMeterState(const std::string &state)
{
    const bool showsValues = state == "Cnfg Online" || state == "Offnet";
    if (showsValues || state == m_shownState) {
        m_shownState = state;
        return;
    }
    m_shownState = state;
    const auto &cat = nvCpCatalogue();
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        auto *b = e.Kind == "CP" ? nullptr : box(e.ValueCtl);
        if (b && !b->text().isEmpty())
            markStale(b, QString::fromStdString(state));
    }
}

void DeviceWindow::onBoxEdited(QLineEdit *b)
{
    const bool isNvi = b->objectName().startsWith(QLatin1String("txtNvi"));
    DebugLog(isNvi ? "fMain.txtNvi_KeyPress()" : "fMain.txtCp_KeyPress()");
    if (b->isReadOnly())
        return;
    markChanged(b, true);
    if (isNvi && monitorState().MonitoringEnabled) {
        const QVariant tag = b->property("Tag");
        if (tag.isValid()) {
            const int position = tag.toInt();
            if (position >= 0 && position < nvCpCatalogue().NvCpCount)
                m_queue.ExecuteLnsAction("PauseMonitoringNV," +
                                         nvCpCatalogue().NvCpTable[static_cast<std::size_t>(position)].Name);
        }
    }
    m_editPending = true;
    m_cmdApply->setEnabled(true);
    m_cmdCancel->setEnabled(true);
}

bool DeviceWindow::applyEntry(NvCp &e, const std::string &text)
{
    // A written box is no longer red, and what it shows now is what a later Cancel restores.
    const auto applied = [this](ControlRef control) {
        if (auto *b = box(control)) {
            markChanged(b, false);
            b->setProperty("shownText", b->text());
        }
    };
    std::string written = text;
    auto ask = [&](const RuntimeError &err) {
        DebugLog("ERROR: fMain.ApplyNvCpChanges()," + errorText(err));
        addError(errorText(err));
        return MsgBox("Error updating " + e.Name + "\r\n" + errorText(err),
                      MsgStyle::kAbortRetryIgnore + MsgStyle::kExclamation, "fMain cmdApply_Click");
    };
    // Send times and update times are shown in seconds and written as elapsed times; an
    // entry that is not a number of seconds is refused instead of writing a fallback.
    const bool seconds = e.TypeName == "SCPTmaxSndT" || e.TypeName == "SNVT_elapsed_tm";
    if (seconds && !secondsToElapsedTime(text, written)) {
        return ask(RuntimeError(ErrorNumber::kTypeMismatch, "Type mismatch: '" + text + "' is not a number of seconds")) !=
               MsgResult::Abort;
    }
    return runWithRetry(
        [&] {
            if (e.Kind == "CP") {
                auto cpObject = GetCpByTypeIndex(currentDevice(), e.CpAddress);
                if (!cpObject)
                    throw RuntimeError(lns::LcaError::kObjectNotFound, "Configuration property " + e.CpAddress + " not found");
                addInfo(e.Name + " = " + written);
                cpObject->SetValue(written);
                e.Value = written;
                applied(e.ValueCtl);
                if (e.Name == "UCPTptRatio") {
                    e.Value = cpObject->Value();
                    FormatCp(*this, e);
                }
            } else {
                auto nv = CurrentNvs().Item(e.Name);
                nv->SetMonitorPaused(false);
                if (e.Name == "nviTimeSet")
                    written = replaceDashes(written);
                addInfo(e.Name + " = " + written);
                nv->SetValue(written);
                e.Value = written;
                applied(e.ValueCtl);
            }
        },
        ask);
}

void DeviceWindow::ApplyNvCpChanges()
{
    DebugLog("fMain.ApplyNvCpChanges()");
    if (m_editPending) {
        auto &cat = nvCpCatalogue();
        for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
            NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
            if (!e.ValueCtl.isTextBox() || !isChanged(e.ValueCtl))
                continue;
            if (!applyEntry(e, controlText(e.ValueCtl)))
                return;  // Abort: what is still red stays pending
        }
    }
    endEdit();
}

// The edit ends when no box is red; a box left red (a value refused and ignored) keeps
// Apply and Cancel at hand.
void DeviceWindow::endEdit()
{
    bool anyChanged = false;
    for (const auto &[control, b] : m_boxes)
        anyChanged = anyChanged || b->property("changed").toBool();
    m_editPending = anyChanged;
    m_cmdApply->setEnabled(anyChanged);
    m_cmdCancel->setEnabled(anyChanged);
}

void DeviceWindow::CancelNvCpChanges()
{
    DebugLog("fMain.CancelNvCpChanges()");
    if (m_editPending) {
        // Each red box gets back exactly what it showed before the edit: the last value read
        // or applied (an NV input never applied in this session has no stored value).
        for (const auto &[control, b] : m_boxes) {
            if (!b->property("changed").toBool())
                continue;
            markChanged(b, false);
            {
                const QScopedValueRollback<bool> showing(m_showingValue, true);
                b->setText(b->property("shownText").toString());
            }
            const QVariant tag = b->property("Tag");
            const auto &cat = nvCpCatalogue();
            if (!tag.isValid() || tag.toInt() < 0 || tag.toInt() >= cat.NvCpCount)
                continue;
            const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(tag.toInt())];
            if (monitorState().MonitoringEnabled && e.Kind == "NVI") {
                try {
                    CurrentNvs().Item(e.Name)->SetMonitorPaused(false);
                } catch (const RuntimeError &err) {
                    DebugLog("ERROR: fMain.CancelNvCpChanges()," + errorText(err));
                }
            }
        }
    }
    endEdit();
}

void setProcessEndHandler(std::function<void()> handler)
{
    g_endProcess = std::move(handler);
}

void setLogTransferRunningQuery(std::function<bool()> query)
{
    g_logTransferRunning = std::move(query);
}

void EndPlugIn()
{
    DebugLog("MMain.EndPlugIn()");
    auto &state = plugIn();
    auto quietly = [](const std::function<void()> &step) {
        try {
            step();
        } catch (const std::exception &) {
        }
    };
    if (DeviceWindow::exists()) {
        DeviceWindow::instance().hide();
        DeviceWindow::instance().stopTimer();
    }
    if (g_logTransferRunning && g_logTransferRunning() && state.CurrentSystem)
        quietly([&] { state.CurrentSystem->CancelRunningOperation(); });
    CurrentNvs() = {};
    state.CurrentDevice.reset();
    state.CurrentDeviceName.clear();
    if (state.CurrentSystem)
        quietly([&] {
            if (state.CurrentSystem->IsOpen())
                state.CurrentSystem->Close();
        });
    state.CurrentSystem.reset();
    if (state.CurrentNetwork)
        quietly([&] {
            if (state.CurrentNetwork->IsOpen())
                state.CurrentNetwork->Close();
        });
    state.CurrentNetwork.reset();
    if (state.ObjectServer)
        quietly([&] {
            if (state.ObjectServer->IsOpen())
                state.ObjectServer->Close();
        });
    state.NetworkOpened = false;
    state.ServerOpen = false;
    if (DeviceWindow::exists())
        DeviceWindow::instance().deleteLater();
    ProgressWindow::closeProgress();
    if (g_endProcess)
        g_endProcess();
}

}  // namespace tellumic
