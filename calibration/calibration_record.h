#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace tellumic {

// One file for every meter calibrated on this PC, in the plug-in's program folder; lines
// are appended, never rewritten.
inline constexpr std::string_view kCalibrationFileName = "TMC-FT10-Calibrations2.csv";
inline constexpr std::size_t kCalibrationFieldCount = 21;

// The first line, written when the file is begun.
std::string_view calibrationHeader();

std::filesystem::path calibrationFilePath();

// A field as the record writes it: unchanged, unless it holds a comma, a double quote or a
// line break, which would split the line for every reader; such a field is put in double
// quotes with its quotes doubled.
std::string csvField(std::string_view text);

// The 21 fields joined by "," (no line end).
std::string calibrationRecordLine(const std::array<std::string, kCalibrationFieldCount> &fields);

}  // namespace tellumic
