#pragma once

// The plug-ins registered on this machine: the records under "SOFTWARE\LonWorks\LCA\Plug-Ins"
// that every plug-in writes when it registers, which host tools read.

#include <string>
#include <vector>

namespace tellumic::browser {

struct RegisteredPlugin
{
    std::string name;    // the record's key, "Tellumic LNS Plug-In"
    std::string progId;  // its default value: the bus name the plug-in answers on
    std::string version;
    std::string description;
    bool operator==(const RegisteredPlugin &) const = default;
};

struct RegisteredPlugins
{
    std::vector<RegisteredPlugin> plugins;
    std::string failure;  // the registry could not be read: the list says nothing
    bool operator==(const RegisteredPlugins &) const = default;
};

RegisteredPlugins registeredPlugins();

// The registered plug-in that answers on a bus name, or nullptr.
const RegisteredPlugin *pluginOf(const RegisteredPlugins &registered, const std::string &progId);

}  // namespace tellumic::browser
