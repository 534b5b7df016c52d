#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellumic {

// The factory unlock code; the same number unlocks the meter as a factory command.
inline constexpr std::string_view kUnlockCode = "7461";

// A meter that the calibration window serves: where its calibration properties are, where
// its identity (model, serial number, CT rating) is, and which model names it is sold as.
struct CalibrationSupport
{
    std::string_view programId;
    std::string_view calibrationBlock;  // the functional block with the calibration constants
    bool identityInCalibrationBlock = false;  // otherwise in "NodeObject"
    bool modelsWithL = false;        // the model list offers the "-L" (logging) names
    bool offersInitLogging = false;  // "Initialize Logging" clears the meter's interval log
};

// The entry of a supported program ID (compared without regard to case), or nullptr.
const CalibrationSupport *findCalibrationSupport(std::string_view programId);
const std::vector<CalibrationSupport> &calibrationSupport();

// The model names offered in the model list, in list order: without and with "-L".
const std::vector<std::string> &modelList();
const std::vector<std::string> &modelListL();

// Voltage defaults by the model code, the six characters from the fifth of the model name
// ("3Y-208" in "TMC-3Y-208-FT10"); 0 for a code outside the table.
std::int16_t NominalVacFromModel(std::string_view model);
std::int16_t MinVacFromModel(std::string_view model);

}  // namespace tellumic
