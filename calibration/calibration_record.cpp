#include "calibration/calibration_record.h"

#include "foundation/paths.h"

namespace tellumic {

std::string_view calibrationHeader()
{
    return "DateTime,SerialNum,Model,FirmwareVer,NeuronId,ProgramId,NominalVac,MinVac,CalPowerA,CalPowerB,"
           "CalPowerC,CalReacA,CalReacB,CalReacC,CalVoltA,CalVoltB,CalVoltC,CtAmps,PhaseAdjA,PhaseAdjB,PhaseAdjC";
}

std::filesystem::path calibrationFilePath()
{
    return programFolder() / kCalibrationFileName;
}

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string calibrationRecordLine(const std::array<std::string, kCalibrationFieldCount> &fields)
{
    std::string line;
    for (const auto &field : fields) {
        if (!line.empty() || &field != &fields.front())
            line += ',';
        line += csvField(field);
    }
    return line;
}

}  // namespace tellumic
