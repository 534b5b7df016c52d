#pragma once

#include <string>

#include "foundation/object_server.h"

namespace tellumic {

class DeviceView;

// Live monitoring: the NVs of the tab shown are watched by the object server, whose
// update events refresh their boxes.
struct MonitorState
{
    bool MonitoringEnabled = false;
    bool ReadyToMonitor = false;
};
MonitorState &monitorState();

// The NVs of the device shown, held while the window shows it.
lns::Collection<lns::Nv> &CurrentNvs();

void EnableMonitoring(DeviceView &view, const std::string &caption);
void DisableMonitoring(DeviceView &view);
bool IsMonitoringEnabled();
bool IsReadyToMonitor();
void SetReadyToMonitor();
void PauseMonitoringNV(DeviceView &view, const std::string &nvName);
void UnpauseMonitoring(DeviceView &view, const std::string &caption);
void CheckUnpauseMonitoring(const std::string &caption);
void UpdateNvMonitoring(DeviceView &view, const std::string &caption);

}  // namespace tellumic
