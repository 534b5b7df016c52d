#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/registry_store.h"

namespace tellumic {

// The plug-in's one way to the registry store: create an instance, use it, drop it. It keeps
// no state between calls except the key being enumerated.
class CRegistry
{
public:
    CRegistry();  // the store of this TELLUMIC_HOME
    explicit CRegistry(std::filesystem::path storeFile);
    ~CRegistry();

    std::string FindFirstMachineKey(std::string_view keyPath);
    std::string GetNextMachineKey();

    std::string AppSetting(std::string_view section, std::string_view name);
    bool AppSetting(std::string_view section, std::string_view name, std::string_view value);
    std::string MachineSetting(std::string_view keyPath, std::string_view name);
    bool MachineSetting(std::string_view keyPath, std::string_view name, std::string_view value);
    bool DeleteMachineKey(std::string_view keyPath);

    bool GetRegValue(std::uint32_t root, std::string_view key, std::string_view name, std::string &value);
    bool GetRegNameStr(std::uint32_t root, std::string_view key, std::string_view name, std::string &value);
    bool GetRegNameBytes(std::uint32_t root, std::string_view key, std::string_view name,
                         std::vector<std::uint8_t> &value);
    bool GetRegNameInt(std::uint32_t root, std::string_view key, std::string_view name, std::int32_t &value);
    bool DeleteRegKey(std::uint32_t root, std::string_view key);
    bool DeleteRegKeyAll(std::uint32_t root, std::string_view key);
    bool SetRegValue(std::uint32_t root, std::string_view key, std::string_view name, std::string_view value);
    bool SetRegNameStr(std::uint32_t root, std::string_view key, std::string_view name, std::string_view value);
    bool SetRegNameInt(std::uint32_t root, std::string_view key, std::string_view name, std::int32_t value);
    bool SetRegNameBytes(std::uint32_t root, std::string_view key, std::string_view name,
                         const std::vector<std::uint8_t> &value);

    static std::string StrZToStr(std::string_view text);

    // The error number the two setting writers leave behind: 80040201 after a failed
    // write, 0 after a good one (the caller tests it after the call).
    std::int32_t errorNumber() const { return m_errorNumber; }

    // Why the registry store could not be used, "" when it could (see RegistryStore).
    const std::string &storeFailure() const { return m_store.storeFailure(); }

private:
    std::string appKey(std::string_view section) const;

    RegistryStore m_store;
    std::string m_enumKey;
    bool m_enumOpen = false;
    std::uint32_t m_enumIndex = 0;
    std::int32_t m_errorNumber = 0;
};

}  // namespace tellumic
