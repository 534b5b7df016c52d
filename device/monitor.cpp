#include "device/monitor.h"

#include "device/device_view.h"
#include "device/meter_commands.h"
#include "foundation/retry.h"
#include "foundation/trace_log.h"
#include "model/nv_cp.h"

namespace tellumic {

namespace {

constexpr std::int32_t kMonitorRate = 20;

std::string boolText(bool b)
{
    return b ? "True" : "False";
}

MsgResult askUpdateError(const RuntimeError &e)
{
    DebugLog("ERROR: MMonitor.UpdateNvMonitoring()," + errorText(e));
    return MsgBox(errorText(e), MsgStyle::kAbortRetryIgnore + MsgStyle::kCritical, "UpdateNvMonitoring");
}

}  // namespace

MonitorState &monitorState()
{
    static MonitorState state;
    return state;
}

lns::Collection<lns::Nv> &CurrentNvs()
{
    static lns::Collection<lns::Nv> nvs;
    return nvs;
}

void EnableMonitoring(DeviceView &view, const std::string &caption)
{
    DebugLog("MMonitor.EnableMonitoring(" + caption + ")");
    monitorState().MonitoringEnabled = true;
    UpdateNvMonitoring(view, caption);
}

void DisableMonitoring(DeviceView &view)
{
    DebugLog("MMonitor.DisableMonitoring()");
    monitorState().MonitoringEnabled = false;
    UpdateNvMonitoring(view, "");
}

bool IsMonitoringEnabled()
{
    DebugLog("MMonitor.IsMonitoringEnabled()=" + boolText(monitorState().MonitoringEnabled));
    return monitorState().MonitoringEnabled;
}

bool IsReadyToMonitor()
{
    DebugLog("MMonitor.IsReadyToMonitor()=" + boolText(monitorState().ReadyToMonitor));
    return monitorState().ReadyToMonitor;
}

void SetReadyToMonitor()
{
    DebugLog("MMonitor.SetReadyToMonitor()");
    monitorState().ReadyToMonitor = true;
}

void PauseMonitoringNV(DeviceView &view, const std::string &nvName)
{
    DebugLog("MMonitor.PauseMonitoringNV(" + nvName + ")");
    try {
        CurrentNvs().Item(nvName)->SetMonitorPaused(true);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMonitor.PauseMonitoringNV()," + errorText(e));
        view.addError("Error pausing NV monitoring for #" + nvName + " :" + errorText(e));
    }
}

void UnpauseMonitoring(DeviceView &view, const std::string &caption)
{
    DebugLog("MMonitor.UnpauseMonitoring(" + caption + ")");
    UpdateNvMonitoring(view, caption);
}

void CheckUnpauseMonitoring(const std::string &caption)
{
    DebugLog("MMonitor.CheckUnpauseMonitoring(" + caption + ")");
}

void UpdateNvMonitoring(DeviceView &view, const std::string &caption)
{
    DebugLog("MMonitor.UpdateNvMonitoring(" + caption + ")");
    if (!monitorState().ReadyToMonitor)
        return;
    const bool enabled = monitorState().MonitoringEnabled;
    const auto &cat = nvCpCatalogue();
    auto abort = [&] {
        UnpauseLnsSystem();
        return;
    };
    if (!runWithRetry([] { PauseLnsSystem(); }, askUpdateError))
        return abort();
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if (e.Kind != "NVO" && e.Kind != "NVI")
            continue;
        const bool ok = runWithRetry(
            [&] {
                auto nv = CurrentNvs().Item(e.Name);
                if (e.Tab == caption && enabled) {
                    nv->SetMonitorTag(e.MonitorTag);
                    nv->SetMonitorRate(kMonitorRate);
                } else if (nv->IsMonitorOn()) {
                    nv->SetMonitorTag(0);
                }
            },
            askUpdateError);
        if (!ok)
            return abort();
    }
    if (!runWithRetry([] { UnpauseLnsSystem(); }, askUpdateError))
        return abort();
    if (!enabled || caption == "Energy")
        return;
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if ((e.Kind != "NVO" && e.Kind != "NVI") || e.Tab != caption)
            continue;
        const bool ok = runWithRetry(
            [&] {
                auto nv = CurrentNvs().Item(e.Name);
                const std::string value = nv->Value();
                std::string format = nv->FormatSpec();
                FormatSnvt(view, e, value, format);
            },
            askUpdateError);
        if (!ok)
            return abort();
    }
}

}  // namespace tellumic
