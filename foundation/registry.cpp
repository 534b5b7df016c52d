#include "foundation/registry.h"

#include "foundation/paths.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

constexpr std::size_t kEnumBufferChars = 260;
constexpr std::string_view kAppSettingsKey = "SOFTWARE\\LonWorks\\LCA\\Applets\\Tellumic LNS Plug-In\\";

std::string rootText(std::uint32_t root)
{
    return std::to_string(static_cast<std::int32_t>(root));
}

std::string joinArgs(std::initializer_list<std::string_view> args)
{
    std::string out;
    for (auto a : args) {
        if (!out.empty())
            out.push_back(',');
        out.append(a);
    }
    return out;
}

void trace(std::string_view op, std::initializer_list<std::string_view> args)
{
    DebugLog("CRegistry." + std::string(op) + "(" + joinArgs(args) + ")");
}

RegistryStore::Value stringValue(std::string_view value)
{
    std::string data(value);
    data.push_back('\0');
    return {RegType::kString, std::move(data)};
}

}  // namespace

CRegistry::CRegistry() : CRegistry(registryStorePath()) {}

CRegistry::CRegistry(std::filesystem::path storeFile) : m_store(std::move(storeFile)) {}

CRegistry::~CRegistry() = default;

std::string CRegistry::StrZToStr(std::string_view text)
{
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

std::string CRegistry::appKey(std::string_view section) const
{
    return std::string(kAppSettingsKey) + std::string(section);
}

std::string CRegistry::FindFirstMachineKey(std::string_view keyPath)
{
    trace("FindFirstMachineKey", {keyPath});
    m_enumOpen = m_store.keyExists(kHkeyLocalMachine, keyPath);
    if (!m_enumOpen)
        return {};
    m_enumKey = std::string(keyPath);
    m_enumIndex = 0;
    return GetNextMachineKey();
}

std::string CRegistry::GetNextMachineKey()
{
    trace("GetNextMachineKey", {});
    std::string name;
    if (m_enumOpen) {
        if (auto sub = m_store.subKey(kHkeyLocalMachine, m_enumKey, m_enumIndex))
            name = StrZToStr(sub->substr(0, kEnumBufferChars - 1));
    }
    ++m_enumIndex;
    return name;
}

std::string CRegistry::AppSetting(std::string_view section, std::string_view name)
{
    trace("AppSetting", {section, name});
    std::string value;
    GetRegNameStr(kHkeyCurrentUser, appKey(section), name, value);
    return value;
}

bool CRegistry::AppSetting(std::string_view section, std::string_view name, std::string_view value)
{
    trace("AppSetting", {section, name, value});
    const bool ok = SetRegNameStr(kHkeyCurrentUser, appKey(section), name, value);
    m_errorNumber = ok ? 0 : ErrorNumber::kSettingNotWritten;
    return ok;
}

std::string CRegistry::MachineSetting(std::string_view keyPath, std::string_view name)
{
    trace("MachineSetting", {keyPath, name});
    std::string value;
    GetRegNameStr(kHkeyLocalMachine, keyPath, name, value);
    return value;
}

bool CRegistry::MachineSetting(std::string_view keyPath, std::string_view name, std::string_view value)
{
    trace("MachineSetting", {keyPath, name, value});
    const bool ok = SetRegNameStr(kHkeyLocalMachine, keyPath, name, value);
    m_errorNumber = ok ? 0 : ErrorNumber::kSettingNotWritten;
    return ok;
}

bool CRegistry::DeleteMachineKey(std::string_view keyPath)
{
    trace("DeleteMachineKey", {keyPath});
    return DeleteRegKeyAll(kHkeyLocalMachine, keyPath);
}

bool CRegistry::GetRegValue(std::uint32_t root, std::string_view key, std::string_view name, std::string &value)
{
    trace("GetRegValue", {rootText(root), key, name, value});
    // The older query call reads the default value of the sub-key named by name.
    std::string subKey(key);
    if (!name.empty())
        subKey.append("\\").append(name);
    const auto v = m_store.queryValue(root, subKey, "");
    if (!v || v->type != RegType::kString || v->data.empty())
        return false;
    value = StrZToStr(v->data);
    return true;
}

bool CRegistry::GetRegNameStr(std::uint32_t root, std::string_view key, std::string_view name, std::string &value)
{
    trace("GetRegNameStr", {rootText(root), key, name, value});
    if (!m_store.keyExists(root, key))
        return false;
    const auto v = m_store.queryValue(root, key, name);
    if (!v || v->type != RegType::kString || v->data.empty())
        return false;
    value = StrZToStr(v->data);
    return true;
}

bool CRegistry::GetRegNameBytes(std::uint32_t root, std::string_view key, std::string_view name,
                                std::vector<std::uint8_t> &value)
{
    trace("GetRegNameBytes", {rootText(root), key, name});
    const auto v = m_store.queryValue(root, key, name);
    if (!v || v->type != RegType::kBinary)
        return false;
    value.assign(v->data.begin(), v->data.end());
    return true;
}

bool CRegistry::GetRegNameInt(std::uint32_t root, std::string_view key, std::string_view name, std::int32_t &value)
{
    trace("GetRegNameInt", {rootText(root), key, name});
    const auto v = m_store.queryValue(root, key, name);
    if (!v)
        return false;
    if (v->type == RegType::kDword && v->data.size() == 4) {
        const auto *b = reinterpret_cast<const unsigned char *>(v->data.data());
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                          (static_cast<std::uint32_t>(b[2]) << 16) |
                                          (static_cast<std::uint32_t>(b[3]) << 24));
        return true;
    }
    if (v->type == RegType::kString) {
        value = static_cast<std::int32_t>(Val(StrZToStr(v->data)));
        return true;
    }
    return false;
}

bool CRegistry::DeleteRegKey(std::uint32_t root, std::string_view key)
{
    trace("DeleteRegKey", {rootText(root), key});
    return m_store.deleteKey(root, key) == RegistryStore::DeleteResult::Deleted;
}

bool CRegistry::DeleteRegKeyAll(std::uint32_t root, std::string_view key)
{
    trace("DeleteRegKeyAll", {rootText(root), key});
    const auto first = m_store.deleteKey(root, key);
    if (first == RegistryStore::DeleteResult::Deleted)
        return true;
    if (first != RegistryStore::DeleteResult::HasSubKeys)
        return false;
    // Depth first: always the first remaining sub-key, until none is left.
    while (auto sub = m_store.subKey(root, key, 0)) {
        if (!DeleteRegKeyAll(root, std::string(key) + "\\" + *sub))
            return false;
    }
    return m_store.deleteKey(root, key) == RegistryStore::DeleteResult::Deleted;
}

bool CRegistry::SetRegValue(std::uint32_t root, std::string_view key, std::string_view name, std::string_view value)
{
    trace("SetRegValue", {rootText(root), key, name, value});
    std::string subKey(key);
    if (!name.empty())
        subKey.append("\\").append(name);
    return m_store.createKey(root, subKey) && m_store.setValue(root, subKey, "", stringValue(value));
}

bool CRegistry::SetRegNameStr(std::uint32_t root, std::string_view key, std::string_view name, std::string_view value)
{
    trace("SetRegNameStr", {rootText(root), key, name, value});
    return m_store.createKey(root, key) && m_store.setValue(root, key, name, stringValue(value));
}

bool CRegistry::SetRegNameInt(std::uint32_t root, std::string_view key, std::string_view name, std::int32_t value)
{
    trace("SetRegNameInt", {rootText(root), key, name, std::to_string(value)});
    const auto u = static_cast<std::uint32_t>(value);
    std::string data{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
                     static_cast<char>((u >> 24) & 0xFF)};
    return m_store.createKey(root, key) && m_store.setValue(root, key, name, {RegType::kDword, std::move(data)});
}

bool CRegistry::SetRegNameBytes(std::uint32_t root, std::string_view key, std::string_view name,
                                const std::vector<std::uint8_t> &value)
{
    trace("SetRegNameBytes", {rootText(root), key, name});
    return m_store.createKey(root, key) &&
           m_store.setValue(root, key, name, {RegType::kBinary, std::string(value.begin(), value.end())});
}

}  // namespace tellumic
