#include "config/meter_config.h"

#include <cmath>
#include <map>

#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"
#include "model/catalogue_families.h"
#include "model/value_boxes.h"
#include "model/value_format.h"
#include "nvtype/nv_type_tables.h"

namespace tellumic::config {

namespace {

// Catalogue entries that are not settings although a box could take them: the clock, the
// node's identity and versions, and the calibration constant.
bool isSetting(const CatalogueRow &row)
{
    static const std::string_view kNot[] = {"nviTimeSet",      "SCPTlocation",     "SCPTdevMajVer", "SCPTdevMinVer",
                                            "UCPTserialNumber", "UCPTmodel",        "UCPTnominalVolt"};
    const std::string_view kind = row.kind;
    if (kind != "NVI" && kind != "CP")
        return false;
    for (auto n : kNot)
        if (n == row.name)
            return false;
    return true;
}

// The window's caption of a setting's box.
std::string captionOf(std::string_view name)
{
    static const std::map<std::string_view, std::string_view> kCaptions = {
        {"nciCtAmps", "CT amps"},
        {"nciCtAmps_f", "CT amps"},
        {"nciLogMinutes", "Logging interval"},
        {"nciDemPerMins", "Demand interval"},
        {"nciDemSubints", "Demand sub-intervals"},
        {"nciPwrUpdtT", "Power update time"},
        {"nciReacUpdtT", "Reactive power update time"},
        {"nciEngyUpdtT", "Energy update time"},
        {"nciPowerSendTime", "Power send time"},
        {"nciReacSendTime", "Reactive power send time"},
        {"nciEngySendTime", "Energy send time"},
        {"nciMeterSendTime", "Multimeter send time"},
        {"nciPfSendTime", "Power factor send time"},
        {"SCPTmaxSndT", "Energy send time"},
        {"UCPTptRatio", "PT ratio"},
    };
    const auto it = kCaptions.find(name);
    return it == kCaptions.end() ? std::string(name) : std::string(it->second);
}

CatalogueFamilyRows rowsOf(CatalogueFamily family)
{
    switch (family) {
    case CatalogueFamily::F302:
        return CatalogueFamilyRows::F302;
    case CatalogueFamily::F312:
        return CatalogueFamilyRows::F312;
    case CatalogueFamily::F362:
        return CatalogueFamilyRows::F362;
    case CatalogueFamily::F363:
        break;
    }
    return CatalogueFamilyRows::F363;
}

bool isElapsed(std::string_view typeName) { return typeName == "SCPTmaxSndT" || typeName == "SNVT_elapsed_tm"; }

std::string cpText(lns::AppDevice &device, std::string_view address)
{
    auto cp = GetCpByTypeIndex(device, address);
    return cp ? cp->Value() : std::string();
}

}  // namespace

std::string familyName(CatalogueFamily family)
{
    switch (family) {
    case CatalogueFamily::F302:
        return "302";
    case CatalogueFamily::F312:
        return "312";
    case CatalogueFamily::F362:
        return "362";
    case CatalogueFamily::F363:
        break;
    }
    return "363";
}

std::string firmwareVersion(lns::AppDevice &device, CatalogueFamily family)
{
    // Families 302 and 312 tell their firmware only through a calibration selector write.
    if (family != CatalogueFamily::F362 && family != CatalogueFamily::F363)
        return {};
    const std::string major = cpText(device, "F:0/C:0:165");
    const std::string minor = cpText(device, "F:0/C:0:166");
    return major.empty() ? std::string() : major + "." + minor;
}

std::vector<EntryDefinition> configEntries(std::string_view programId)
{
    std::vector<EntryDefinition> entries;
    const auto *meter = findProgramId(programId);
    if (!meter)
        return entries;
    // The type choices come first: a value written before its group's type change could be
    // read in the old type.
    const auto groups = nvTypeGroups();
    const auto rows = familyRows(rowsOf(meter->family), meter->logging, meter->ptRatio);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::string first(groups[g].nvs.front());
        bool present = false;
        for (const auto &row : rows)
            present = present || first == row.name;
        if (present)
            entries.push_back({"SCPTnvType[" + first + "]", std::string(nvTypeLists()[g].caption), EntryKind::NvType,
                               std::string(groups[g].cpAddress), "SCPTnvType", g});
    }
    for (const auto &row : rows) {
        if (!isSetting(row))
            continue;
        const bool cp = std::string_view(row.kind) == "CP";
        entries.push_back({row.name, captionOf(row.name), cp ? EntryKind::Cp : EntryKind::InputNv,
                           cp ? row.cpAddress : row.name, row.typeName, 0});
    }
    return entries;
}

const ConfigValue *MeterConfig::find(std::string_view name) const
{
    for (const auto &v : values)
        if (v.name == name)
            return &v;
    return nullptr;
}

void describe(const EntryDefinition &entryDef, ConfigValue &value)
{
    value.name = entryDef.name;
    value.unit.clear();
    if (entryDef.kind == EntryKind::NvType) {
        const auto &list = nvTypeLists()[entryDef.typeGroup];
        const int index = recognisedIndex(list, value.raw);
        value.text = index < 0 ? value.raw : std::string(list.group.types[static_cast<std::size_t>(index)].typeName);
        return;
    }
    if (isElapsed(entryDef.typeName)) {
        value.text = Format_SCPTmaxSndT(value.raw);
        value.unit = "s";
        return;
    }
    value.text = value.raw;
    if (entryDef.typeName.starts_with("SNVT_amp"))
        value.unit = "A";
    else if (entryDef.name == "nciLogMinutes" || entryDef.name == "nciDemPerMins")
        value.unit = "min";
}

std::string readRaw(lns::AppDevice &device, const EntryDefinition &entryDef)
{
    if (entryDef.kind == EntryKind::InputNv)
        return device.GetInterface()->Nvs().Item(entryDef.address)->Value();
    auto cp = GetCpByTypeIndex(device, entryDef.address);
    if (!cp)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "Configuration property " + entryDef.address + " not found");
    return cp->Value();
}

void writeRaw(lns::AppDevice &device, const EntryDefinition &entryDef, const std::string &raw)
{
    if (entryDef.kind == EntryKind::InputNv) {
        device.GetInterface()->Nvs().Item(entryDef.address)->SetValue(raw);
        return;
    }
    auto cp = GetCpByTypeIndex(device, entryDef.address);
    if (!cp)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "Configuration property " + entryDef.address + " not found");
    cp->SetValue(raw);
}

MeterConfig captureConfig(lns::AppDevice &device, const std::string &network, const std::string &saved)
{
    DebugLog("MConfig.CaptureConfig()");
    MeterConfig config;
    config.programId = device.ProgramId();
    const auto *meter = findProgramId(config.programId);
    if (!meter)
        throw RuntimeError(kObjectErrorBase + 2013, "Invalid Tellumic model or firmware version - not supported by this plug-in");
    config.family = familyName(meter->family);
    config.model = meter->Model;
    config.device = device.Name();
    config.network = network;
    config.neuronId = device.NeuronId();
    config.saved = saved;
    config.pluginVersion = kPlugInVersion;
    config.firmware = firmwareVersion(device, meter->family);
    for (const auto &entryDef : configEntries(config.programId)) {
        ConfigValue value;
        value.raw = readRaw(device, entryDef);
        describe(entryDef, value);
        config.values.push_back(std::move(value));
    }
    return config;
}

}  // namespace tellumic::config
