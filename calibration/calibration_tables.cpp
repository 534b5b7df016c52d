#include "calibration/calibration_tables.h"

#include <array>

#include "foundation/text.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

struct VoltageDefaults
{
    std::string_view code;
    std::int16_t nominal;
    std::int16_t minimum;
};

// Delta ("3D") models name their line-to-line voltage; the defaults are line to neutral.
constexpr std::array kVoltageDefaults = {
    VoltageDefaults{"3Y-208", 120, 24}, VoltageDefaults{"3Y-400", 230, 46}, VoltageDefaults{"3Y-480", 277, 55},
    VoltageDefaults{"3Y-600", 347, 69}, VoltageDefaults{"3D-240", 120, 24}, VoltageDefaults{"3D-400", 230, 46},
    VoltageDefaults{"3D-480", 277, 55},
};

const VoltageDefaults *defaultsOf(std::string_view model)
{
    const auto code = model.size() > 4 ? model.substr(4, 6) : std::string_view{};
    for (const auto &row : kVoltageDefaults)
        if (row.code == code)
            return &row;
    return nullptr;
}

}  // namespace

const std::vector<CalibrationSupport> &calibrationSupport()
{
    static const std::vector<CalibrationSupport> table = {
        {"80B7E515008A0409", "TellumicConfig", true, true, false},
        {"80B7E515000A0407", "TellumicCal", false, false, false},
        {"80B7E515000A040A", "TellumicCal", false, true, true},
        {"90B7E515000A040C", "TellumicCal", false, false, false},
        {"90B7E515000A040D", "TellumicCal", false, true, true},
    };
    return table;
}

const CalibrationSupport *findCalibrationSupport(std::string_view programId)
{
    for (const auto &row : calibrationSupport())
        if (equalsIgnoreCase(row.programId, programId))
            return &row;
    return nullptr;
}

const std::vector<std::string> &modelList()
{
    static const std::vector<std::string> models = {"TMC-3Y-208-FT10", "TMC-3Y-400-FT10", "TMC-3Y-480-FT10",
                                                    "TMC-3Y-600-FT10", "TMC-3D-240-FT10", "TMC-3D-400-FT10",
                                                    "TMC-3D-480-FT10"};
    return models;
}

const std::vector<std::string> &modelListL()
{
    static const std::vector<std::string> models = [] {
        std::vector<std::string> out;
        for (const auto &m : modelList())
            out.push_back(m + "-L");
        return out;
    }();
    return models;
}

std::int16_t NominalVacFromModel(std::string_view model)
{
    DebugLog("fCalTellumic.NominalVacFromModel(" + std::string(model) + ")");
    const auto *row = defaultsOf(model);
    return row ? row->nominal : 0;
}

std::int16_t MinVacFromModel(std::string_view model)
{
    DebugLog("fCalTellumic.MinVacFromModel(" + std::string(model) + ")");
    const auto *row = defaultsOf(model);
    return row ? row->minimum : 0;
}

}  // namespace tellumic
