#pragma once

#include <string>

#include "foundation/event_log.h"
#include "model/value_boxes.h"

namespace tellumic {

// What the device procedures need of the device window: its boxes and its event log.
class DeviceView : public ValueView, public EventLog
{
};

}  // namespace tellumic
