#pragma once

namespace tellumic {

class DeviceWindow;

// Opens the calibration window modally over the device window, for its meter, and returns
// when it is closed (the meter then locked).
void openCalibrationWindow(DeviceWindow &deviceWindow);

}  // namespace tellumic
