#pragma once

// Configuration files: JSON with a format version, the meter it was saved from and one
// object per entry ({"raw", "text", "unit"}). A file is checked whole before anything
// uses it: unknown and repeated keys, wrong types and values outside an entry's range are refused with
// the key's or entry's name.

#include <optional>
#include <string>
#include <string_view>

#include "config/meter_config.h"

namespace tellumic::config {

std::string toJson(const MeterConfig &config);

// The configuration in the text, every entry's raw value resolved (a "text" a person
// edited wins over its "raw") and checked. RuntimeError kInvalidConfiguration with the
// reason otherwise.
MeterConfig parseConfig(std::string_view json);

// The most a configuration file may hold; a real one is a few kilobytes.
inline constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Reads and parses a file (a regular file, not a pipe or a device); the file's name is put
// before the reason of a failure.
MeterConfig loadConfig(const std::string &path);
// Replaces the file with the configuration once it is completely written; RuntimeError with
// the system's reason otherwise, the file left as it was.
void saveConfig(const MeterConfig &config, const std::string &path);

// The raw value that a file value stands for, or the reason it is refused.
struct Resolved
{
    std::string raw;
    std::string error;  // empty when the value is good
};
Resolved resolveValue(const EntryDefinition &entryDef, const ConfigValue &value);

// The error number of a refused configuration file.
inline constexpr std::int32_t kInvalidConfiguration = kObjectErrorBase + 2101;

}  // namespace tellumic::config
