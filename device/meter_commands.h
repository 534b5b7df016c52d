#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/object_server.h"

namespace tellumic {

class DeviceView;

// The meter's state text for a node state ("Cnfg Online" for 4).
std::string nodeStateText(std::int32_t nodeState);
// The last-error text for an error code, with "#" replaced by " #" code " :".
std::string lastErrorText(std::int32_t code);

std::string GetTellumicState(lns::AppDevice &device, bool checkError);
std::string GetLastTmError(lns::AppDevice &device);
void ClearTmError(lns::AppDevice &device);
void SetTmDateTime(DeviceView &view, const std::string &dateTime);
void ResetEnergy();
// waitMs pauses between the two writes of the older families; the window passes a wait
// that keeps the user interface alive.
void ResetPeakDemand(lns::AppDevice &device, const std::function<void(int waitMs)> &wait);
void ReadEnergies(DeviceView &view, lns::AppDevice &device);
void PauseLnsSystem();
void UnpauseLnsSystem();

// The event-log line for a service-pin press: on this meter, on another Tellumic, or on an
// unrecognised device.
std::string servicePinMessage(const std::string &currentNeuronId, const std::string &neuronId,
                              const std::string &programId);

}  // namespace tellumic
