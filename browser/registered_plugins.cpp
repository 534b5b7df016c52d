#include "browser/registered_plugins.h"

#include "foundation/registry.h"

namespace tellumic::browser {

RegisteredPlugins registeredPlugins()
{
    static const std::string kRoot = "SOFTWARE\\LonWorks\\LCA\\Plug-Ins";
    RegisteredPlugins out;
    CRegistry registry;
    for (std::string name = registry.FindFirstMachineKey(kRoot); !name.empty(); name = registry.GetNextMachineKey()) {
        const std::string key = kRoot + "\\" + name;
        RegisteredPlugin plugin;
        plugin.name = name;
        registry.GetRegValue(kHkeyLocalMachine, key, "", plugin.progId);
        plugin.version = registry.MachineSetting(key, "Version");
        plugin.description = registry.MachineSetting(key, "Description");
        out.plugins.push_back(std::move(plugin));
    }
    out.failure = registry.storeFailure();
    return out;
}

const RegisteredPlugin *pluginOf(const RegisteredPlugins &registered, const std::string &progId)
{
    for (const auto &p : registered.plugins)
        if (p.progId == progId)
            return &p;
    return nullptr;
}

}  // namespace tellumic::browser
