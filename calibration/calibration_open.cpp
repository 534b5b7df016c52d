#include "calibration/calibration_open.h"

#include "calibration/calibration_window.h"
#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "foundation/dialogs.h"
#include "foundation/trace_log.h"

namespace tellumic {

void openCalibrationWindow(DeviceWindow &deviceWindow)
{
    // The calibration window talks to the meter directly; it waits until the device window's
    // own work (a log download, say) is over.
    if (LnsBusy()) {
        MsgBox("The meter is busy with another operation. Choose Calibrate again when it has finished.",
               MsgStyle::kOkOnly + MsgStyle::kExclamation, "Tellumic Calibration");
        return;
    }
    try {
        CalibrationWindow window(deviceWindow, &deviceWindow);
        window.Form_Load();
        window.exec();
    } catch (const std::exception &e) {
        DebugLog(std::string("ERROR: fMain.mnuCalibrate_Click(),") + e.what());
        MsgBox(std::string("The calibration window failed: ") + e.what(), MsgStyle::kOkOnly + MsgStyle::kCritical,
               "Tellumic Calibration");
    }
}

}  // namespace tellumic
