#pragma once

namespace tellumic {

class DeviceWindow;

// Gives the device window the NV type change: the eight type-change actions in its queue
// and the change-type dialog behind its menu entry. The composition root calls it once the
// window exists.
void installTypeChange(DeviceWindow &window);

}  // namespace tellumic
