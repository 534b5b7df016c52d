#include "host/object_names.h"

#include <limits>
#include <map>

#include "foundation/text.h"
#include "foundation/trace_log.h"

namespace tellumic {

ObjectNameState &objectNames()
{
    static ObjectNameState state;
    return state;
}

std::int16_t ParseObjectName(std::string_view name)
{
    DebugLog("MMain.ParseObjectName(" + std::string(name) + ")");
    auto &s = objectNames();
    s.ObjectNameParts.clear();
    s.ObjectNamePartCount = 0;
    // One pass over the name: each part is cut off the front of what is left, which then
    // loses its leading blanks (trailing blanks go once, at the end of the name). The
    // count is 16-bit, so parts beyond its range are not taken.
    std::string_view rest = name;
    while (s.ObjectNamePartCount < std::numeric_limits<std::int16_t>::max()) {
        const auto slash = rest.find('/');
        const std::string_view word = rest.substr(0, slash);
        if (word.empty())
            break;
        s.ObjectNameParts.emplace_back(word);
        ++s.ObjectNamePartCount;
        if (slash == std::string_view::npos)
            break;
        rest = trimBlanks(rest.substr(slash + 1));
    }
    return s.ObjectNamePartCount;
}

std::string GetObjectNameParameterString(std::int16_t index, bool strip)
{
    DebugLog("MMain.GetObjectNameParameterString()");
    const auto &s = objectNames();
    if (index < 1 || index > s.ObjectNamePartCount)
        return {};
    const std::string &part = s.ObjectNameParts[static_cast<std::size_t>(index - 1)];
    if (strip) {
        const auto colon = part.find(':');
        if (colon != std::string::npos && colon + 1 < part.size())
            return part.substr(colon + 1);
    }
    return part;
}

std::shared_ptr<lns::AppDevice> GetObjectNameObject(lns::System &system, std::int16_t objectType)
{
    DebugLog("MMain.GetObjectNameObject(" + std::to_string(objectType) + ")");
    if (objectType != 7)
        return nullptr;
    try {
        const auto count = objectNames().ObjectNamePartCount;
        auto subsystem = system.Subsystems().Item(GetObjectNameParameterString(static_cast<std::int16_t>(count - 1), true));
        return subsystem->AppDevices().Item(GetObjectNameParameterString(count, true));
    } catch (const RuntimeError &) {
        return nullptr;
    }
}

std::string GetCommandIdName(std::int32_t commandId)
{
    DebugLog("MMain.GetCommandIdName()");
    static const std::map<std::int32_t, const char *> names = {
        {1, "New"},        {2, "Edit Source"}, {10, "Build Image"}, {11, "Commission"}, {12, "Load"},
        {13, "Configure"}, {14, "Calibrate"},  {15, "Connect"},     {20, "Browse"},     {21, "Monitor"},
        {22, "Control"},   {23, "Report"},     {30, "Online"},      {31, "Offline"},    {32, "Reset"},
        {33, "Test"},      {34, "Wink"},       {40, "Uninstall"},   {41, "Replace"},    {50, "Register"},
        {60, "Recover"},   {61, "Monitor Recovery"}, {70, "Security Level"}};
    const auto it = names.find(commandId);
    return it == names.end() ? "Custom command " + std::to_string(commandId) : it->second;
}

std::string GetClassIdName(std::int16_t objectType)
{
    DebugLog("MMain.GetClassIdName()");
    static const char *const names[] = {
        "Object Server", "Network", "Networks", "System", "Systems", "Subsystem", "Subsystems", "Application Device",
        "Application Devices", "Router", "Routers", "Router Side", "Channel", "Channels", "Network Interface",
        "Network Interfaces", "Subnet", "Subnets", "Connections", "Interface", "Interfaces", "Template Library",
        "Network Variable", "Network Variables", "Message Tag", "Message Tags", "Configuration Property",
        "Configuration Properties", "LonMark Object", "LonMark Objects", "Component Application",
        "Component Applications", "Hardware Template", "Hardware Templates", "Build Template", "Build Templates",
        "Device Template", "Device Templates", "Program Template", "Program Templates", "Network Service Device",
        "Network Service Devices", "Connection Description Template", "Connection Description Templates", "Error",
        "LonMark Alarm", "Object Status", "Network Variable Field", "Detail Info"};
    if (objectType >= 0 && objectType <= 48)
        return names[objectType];
    switch (objectType) {
    case 50: return "Extension";
    case 51: return "Extensions";
    case 52: return "Recovery Status";
    default: return "Custom ID = " + std::to_string(objectType);
    }
}

}  // namespace tellumic
