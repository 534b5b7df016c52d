#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/device_model.h"

namespace tellumic::sim {

// The models the simulator knows from the start, one entry per program ID.
std::vector<std::pair<std::string, std::shared_ptr<const DeviceModel>>> builtInModels();

// The family-363 meters ("Plus" and "Log" models), with or without logging and PT ratio.
std::shared_ptr<const DeviceModel> makeMeter363(bool logging, bool ptRatio);
// A room thermostat of another maker.
std::shared_ptr<const DeviceModel> makeThermostat();

}  // namespace tellumic::sim
