#pragma once

namespace tellumic {
class DeviceWindow;
}

namespace tellumic::config {

// Adds File > Save Configuration... and File > Compare with Configuration... to the device
// window (before Exit). The composition root calls it once the window exists.
void installConfigMenu(DeviceWindow &window);

}  // namespace tellumic::config
