#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/object_server.h"

namespace tellumic {

// The "/"-separated parts of the last object name parsed, and the last routed name.
struct ObjectNameState
{
    std::vector<std::string> ObjectNameParts;
    std::int16_t ObjectNamePartCount = 0;
    std::string LastObjectName;
};
ObjectNameState &objectNames();

std::int16_t ParseObjectName(std::string_view name);
// Part index (from 1) of the parsed name; with strip, only the text after a ":" that has
// a value behind it.
std::string GetObjectNameParameterString(std::int16_t index, bool strip);
// The object the parsed name names (type 7: the device in its subsystem), or nullptr.
std::shared_ptr<lns::AppDevice> GetObjectNameObject(lns::System &system, std::int16_t objectType);

std::string GetCommandIdName(std::int32_t commandId);
std::string GetClassIdName(std::int16_t objectType);

}  // namespace tellumic
