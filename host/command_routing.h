#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/object_server.h"
#include "model/product_tables.h"

namespace tellumic {

// SendCommand of the automation object: register (50), deregister (51) or a command of the
// command table for an object named by its path. Raises the host errors 20003 to 20005 and
// the errors of the device's start-up.
void routeCommand(std::int32_t commandId, std::int16_t objectType, const std::string &objectName);

void CommandReceived(std::size_t commandIndex, std::shared_ptr<lns::AppDevice> object);
void ProcessDeviceCommand(std::shared_ptr<lns::AppDevice> device, const CommandRecord &command);

}  // namespace tellumic
