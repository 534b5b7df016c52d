#include "config/config_file.h"

#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <set>

#include <nlohmann/json.hpp>

#include "config/config_json_shape.h"
#include "foundation/file_io.h"
#include "foundation/text.h"
#include "model/catalogue_families.h"
#include "model/number_format.h"
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

// Quoted as in JSON, so a control character in a refused value shows as an escape.
std::string inQuotes(std::string_view s) { return jsonQuoted(s); }

bool parseNumber(std::string_view text, double &value)
{
    const auto *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// The meter's own text of a whole number between lo and hi ("100" for "00100" or "100.0"):
// it reads back what it keeps, and a write of any other text would never read back.
std::string checkWhole(std::string_view raw, double lo, double hi, std::string &canonical)
{
    double v = 0;
    if (!parseNumber(raw, v) || v != std::floor(v) || v < lo || v > hi)
        return inQuotes(raw) + " is not a whole number from " + std::to_string(static_cast<long long>(lo)) + " to " +
               std::to_string(static_cast<long long>(hi));
    canonical = std::to_string(static_cast<long long>(v));
    return {};
}

// Tenths, as the meter keeps them: "1.5" for "1.50", "0.0" for "-0".
std::string checkTenths(std::string_view raw, std::string &canonical)
{
    double v = 0;
    if (!parseNumber(raw, v) || v < -3276.8 || v > 3276.7)
        return inQuotes(raw) + " is not a number from -3276.8 to 3276.7";
    canonical = formatNumber(std::round(v * 10) / 10 + 0.0, "0.0");
    return {};
}

// A single-precision number in its shortest exact text, as the meter writes it.
std::string checkFloat(std::string_view raw, std::string &canonical)
{
    double v = 0;
    if (!parseNumber(raw, v) || v < -3.4e38 || v > 3.4e38)
        return inQuotes(raw) + " is not a number from -3.4E+38 to 3.4E+38";
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, static_cast<float>(v) + 0.0f);
    canonical.assign(text, r.ptr);
    return {};
}

// "days hours:minutes:seconds:milliseconds" within each field's range, digits only.
std::string checkElapsed(std::string_view raw, std::string &canonical)
{
    static constexpr unsigned kMax[] = {65535, 23, 59, 59, 999};
    static constexpr char kAfter[] = {' ', ':', ':', ':', '\0'};
    std::string text;
    const char *at = raw.data();
    const char *const end = raw.data() + raw.size();
    for (int i = 0; i < 5; ++i) {
        unsigned field = 0;
        const auto r = std::from_chars(at, end, field);
        const bool last = i == 4;
        if (r.ec != std::errc() || field > kMax[i] || (last ? r.ptr != end : (r.ptr == end || *r.ptr != kAfter[i])))
            return inQuotes(raw) + " is not an elapsed time from 0 0:0:0:0 to 65535 23:59:59:999";
        text += std::to_string(field);
        if (!last)
            text.push_back(kAfter[i]);
        at = r.ptr + (last ? 0 : 1);
    }
    canonical = std::move(text);
    return {};
}

// The reason a raw value is refused, or "" with the text the meter keeps for it.
std::string checkRaw(const EntryDefinition &entryDef, std::string_view raw, std::string &canonical)
{
    canonical = std::string(raw);
    if (entryDef.kind == EntryKind::NvType) {
        const auto &list = nvTypeLists()[entryDef.typeGroup];
        if (raw.find('\0') == std::string_view::npos && recognisedIndex(list, raw) >= 0)
            return {};
        std::string names;
        for (const auto &t : list.group.types)
            names += (names.empty() ? "" : ", ") + std::string(t.typeName);
        return inQuotes(raw) + " is not one of the types " + names;
    }
    const std::string_view type = entryDef.typeName;
    if (type == "SCPTmaxSndT" || type == "SNVT_elapsed_tm")
        return checkElapsed(raw, canonical);
    if (type == "SNVT_count" || type == "SNVT_amps_ac")
        return checkWhole(raw, 0, 65535, canonical);
    if (type == "SNVT_amp")
        return checkTenths(raw, canonical);
    return checkFloat(raw, canonical);
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

}  // namespace

bool isHeaderKey(const std::string &key)
{
    for (const auto &h : kHeader)
        if (key == h.key)
            return true;
    return false;
}

bool isKnownEntryName(const std::string &name) { return knownNames().contains(name); }

namespace {

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
    std::string canonical;
    r.error = checkRaw(entryDef, r.raw, canonical);
    if (!r.error.empty())
        r.error = "Entry " + inQuotes(entryDef.name) + ": " + r.error;
    else
        r.raw = std::move(canonical);
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
    if (text.size() > kMaxConfigBytes)
        refuse("the file is larger than " + std::to_string(kMaxConfigBytes) + " bytes, the most a configuration holds");
    // The shape is checked as the parser goes: unknown and repeated keys end it at once.
    const Json j = Json::parse(text.begin(), text.end(), ConfigJsonShape(), false);
    if (j.is_discarded() || !j.is_object())
        refuse("not a JSON configuration file");
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
    std::string text;
    try {
        // Not a pipe or a device: one that never ends would be read for ever.
        const RegularFile file = openRegularFile(path, O_RDONLY, "configuration files", Links::kFollow);
        text = file.readAt(0, kMaxConfigBytes + 1);
    } catch (const RuntimeError &e) {
        throw RuntimeError(ErrorNumber::kFileNotFound, path + ": cannot be read: " + e.description());
    }
    try {
        return parseConfig(text);
    } catch (const RuntimeError &e) {
        throw RuntimeError(e.number(), path + ": " + e.description());
    }
}

void saveConfig(const MeterConfig &config, const std::string &path)
{
    // Written beside the file and moved over it once complete: a failure or a kill midway
    // leaves the file as it was. A link is followed, so that the file it names is replaced
    // and the link stays; a device or a folder in the file's place is never replaced.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(target, ec)))
        target = fs::weakly_canonical(target, ec);
    if (ec)
        target = path;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw RuntimeError(ErrorNumber::kPathFileAccess, "cannot write " + path + ": it is not a regular file");
    replaceFile(target, toJson(config));
}

}  // namespace tellumic::config
