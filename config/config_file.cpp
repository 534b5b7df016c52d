#include "config/config_file.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "model/catalogue_families.h"
#include "model/value_format.h"
#include "nvtype/nv_type_tables.h"

namespace tellumic::config {

namespace {

using Json = nlohmann::ordered_json;

// The header keys of a file and the member of MeterConfig each fills.
struct HeaderKey
{
    const char *key;
    std::string MeterConfig::*member;
};
const HeaderKey kHeader[] = {
    {"programId", &MeterConfig::programId}, {"family", &MeterConfig::family},
    {"firmware", &MeterConfig::firmware},   {"model", &MeterConfig::model},
    {"device", &MeterConfig::device},       {"network", &MeterConfig::network},
    {"neuronId", &MeterConfig::neuronId},   {"saved", &MeterConfig::saved},
    {"pluginVersion", &MeterConfig::pluginVersion},
};

[[noreturn]] void refuse(const std::string &reason) { throw RuntimeError(kInvalidConfiguration, reason); }

std::string inQuotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

bool parseNumber(std::string_view text, double &value)
{
    const auto *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// Whole numbers between lo and hi.
std::string checkWhole(std::string_view raw, double lo, double hi)
{
    double v = 0;
    if (!parseNumber(raw, v) || v != std::floor(v) || v < lo || v > hi)
        return inQuotes(raw) + " is not a whole number from " + std::to_string(static_cast<long long>(lo)) + " to " +
               std::to_string(static_cast<long long>(hi));
    return {};
}

std::string checkNumber(std::string_view raw, double lo, double hi, std::string_view range)
{
    double v = 0;
    if (!parseNumber(raw, v) || v < lo || v > hi)
        return inQuotes(raw) + " is not a number from " + std::string(range);
    return {};
}

// "days hours:minutes:seconds:milliseconds" within each field's range.
std::string checkElapsed(std::string_view raw)
{
    unsigned d = 0, h = 0, m = 0, s = 0, ms = 0;
    char tail = 0;
    const std::string text(raw);
    const int n = std::sscanf(text.c_str(), "%u %u:%u:%u:%u%c", &d, &h, &m, &s, &ms, &tail);
    if (n != 5 || d > 65535 || h > 23 || m > 59 || s > 59 || ms > 999)
        return inQuotes(raw) + " is not an elapsed time from 0 0:0:0:0 to 65535 23:59:59:999";
    return {};
}

std::string checkRaw(const EntryDefinition &entryDef, std::string_view raw)
{
    if (entryDef.kind == EntryKind::NvType) {
        const auto &list = nvTypeLists()[entryDef.typeGroup];
        if (recognisedIndex(list, raw) >= 0)
            return {};
        std::string names;
        for (const auto &t : list.group.types)
            names += (names.empty() ? "" : ", ") + std::string(t.typeName);
        return inQuotes(raw) + " is not one of the types " + names;
    }
    const std::string_view type = entryDef.typeName;
    if (type == "SCPTmaxSndT" || type == "SNVT_elapsed_tm")
        return checkElapsed(raw);
    if (type == "SNVT_count" || type == "SNVT_amps_ac")
        return checkWhole(raw, 0, 65535);
    if (type == "SNVT_amp")
        return checkNumber(raw, -3276.8, 3276.7, "-3276.8 to 3276.7");
    return checkNumber(raw, -3.4e38, 3.4e38, "-3.4E+38 to 3.4E+38");
}

// Names any family's catalogue knows: a file may hold one that this meter reads only.
const std::set<std::string> &knownNames()
{
    static const std::set<std::string> names = [] {
        std::set<std::string> all;
        for (const auto &meter : supportedMeters()) {
            for (const auto &entryDef : configEntries(meter.ProgramId))
                all.insert(entryDef.name);
        }
        return all;
    }();
    return names;
}

const EntryDefinition *entryDefOf(const std::vector<EntryDefinition> &entryDefs, std::string_view name)
{
    for (const auto &s : entryDefs)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::string stringMember(const Json &object, const char *key, const std::string &where)
{
    const auto it = object.find(key);
    if (it == object.end())
        refuse(where + "the key " + inQuotes(key) + " is missing");
    if (!it->is_string())
        refuse(where + inQuotes(key) + " must be a string");
    return it->get<std::string>();
}

ConfigValue parseEntry(const std::string &name, const Json &entry)
{
    const std::string where = "Entry " + inQuotes(name) + ": ";
    if (!entry.is_object())
        refuse(where + "must be an object with \"raw\", \"text\" and \"unit\"");
    for (const auto &[key, value] : entry.items())
        if (key != "raw" && key != "text" && key != "unit")
            refuse(where + "unknown key " + inQuotes(key));
    ConfigValue v;
    v.name = name;
    v.raw = stringMember(entry, "raw", where);
    v.text = entry.contains("text") ? stringMember(entry, "text", where) : v.raw;
    v.unit = entry.contains("unit") ? stringMember(entry, "unit", where) : std::string();
    return v;
}

}  // namespace

Resolved resolveValue(const EntryDefinition &entryDef, const ConfigValue &value)
{
    ConfigValue shown{value.name, value.raw, {}, {}};
    describe(entryDef, shown);
    Resolved r{value.raw, {}};
    if (value.text != shown.text) {
        // A person changed the text: it stands for the value.
        if (entryDef.kind == EntryKind::NvType) {
            r.raw = value.text;
            for (const auto &t : nvTypeLists()[entryDef.typeGroup].group.types)
                if (t.typeName == value.text)
                    r.raw = std::string(t.nvTypeText);
        } else if (entryDef.typeName == "SCPTmaxSndT" || entryDef.typeName == "SNVT_elapsed_tm") {
            if (!secondsToElapsedTime(value.text, r.raw))
                r.raw = value.text;
        } else {
            r.raw = value.text;
        }
    }
    r.error = checkRaw(entryDef, r.raw);
    if (!r.error.empty())
        r.error = "Entry " + inQuotes(entryDef.name) + ": " + r.error;
    return r;
}

std::string toJson(const MeterConfig &config)
{
    Json j;
    j["format"] = config.formatVersion;
    for (const auto &h : kHeader)
        j[h.key] = config.*(h.member);
    Json entries = Json::object();
    for (const auto &v : config.values)
        entries[v.name] = Json{{"raw", v.raw}, {"text", v.text}, {"unit", v.unit}};
    j["entries"] = std::move(entries);
    return j.dump(2) + "\n";
}

MeterConfig parseConfig(std::string_view text)
{
    const Json j = Json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object())
        refuse("not a JSON configuration file");
    for (const auto &[key, value] : j.items()) {
        bool known = key == "format" || key == "entries";
        for (const auto &h : kHeader)
            known = known || key == h.key;
        if (!known)
            refuse("unknown key " + inQuotes(key));
    }
    MeterConfig config;
    const auto format = j.find("format");
    if (format == j.end() || !format->is_number_integer())
        refuse("\"format\" must be a whole number");
    config.formatVersion = format->get<int>();
    if (config.formatVersion < 1 || config.formatVersion > kFormatVersion)
        refuse("format version " + std::to_string(config.formatVersion) + " is not supported (1 to " +
               std::to_string(kFormatVersion) + ")");
    for (const auto &h : kHeader)
        config.*(h.member) = stringMember(j, h.key, {});
    const auto entryDefs = configEntries(config.programId);
    if (entryDefs.empty())
        refuse("program ID " + inQuotes(config.programId) + " is not a supported meter");
    const auto entries = j.find("entries");
    if (entries == j.end() || !entries->is_object())
        refuse("\"entries\" must be an object");
    for (const auto &[name, entry] : entries->items()) {
        if (!knownNames().contains(name))
            refuse("unknown entry " + inQuotes(name));
        ConfigValue v = parseEntry(name, entry);
        if (const auto *entryDef = entryDefOf(entryDefs, name)) {
            const Resolved r = resolveValue(*entryDef, v);
            if (!r.error.empty())
                refuse(r.error);
            if (r.raw != v.raw) {
                v.raw = r.raw;
                describe(*entryDef, v);
            }
        }
        config.values.push_back(std::move(v));
    }
    return config;
}

MeterConfig loadConfig(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw RuntimeError(ErrorNumber::kFileNotFound, path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return parseConfig(text.str());
    } catch (const RuntimeError &e) {
        throw RuntimeError(e.number(), path + ": " + e.description());
    }
}

void saveConfig(const MeterConfig &config, const std::string &path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << toJson(config);
    out.close();
    if (!out)
        throw RuntimeError(ErrorNumber::kPathFileAccess, path + ": cannot be written");
}

}  // namespace tellumic::config
