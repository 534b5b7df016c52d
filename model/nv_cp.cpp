#include "model/nv_cp.h"

#include <vector>

#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "model/catalogue_families.h"

namespace tellumic {

std::string_view controlArrayName(ControlArray array)
{
    switch (array) {
    case ControlArray::txtNvi: return "txtNvi";
    case ControlArray::txtNvo: return "txtNvo";
    case ControlArray::txtCp: return "txtCp";
    case ControlArray::lblPowerType: return "lblPowerType";
    case ControlArray::lblReacPwrType: return "lblReacPwrType";
    case ControlArray::lblDemandType: return "lblDemandType";
    case ControlArray::txtPtPrimary: return "txtPtPrimary";
    case ControlArray::None: break;
    }
    return {};
}

std::int16_t NvCpCatalogue::tagOf(ControlRef control) const
{
    const auto it = tags.find(control);
    return it == tags.end() ? std::int16_t{-1} : it->second;
}

const NvCp *NvCpCatalogue::byMonitorTag(std::int32_t tag) const
{
    if (tag < 1 || tag > NvCpCount)
        return nullptr;
    return &NvCpTable[static_cast<std::size_t>(tag - 1)];
}

const NvCp *NvCpCatalogue::byName(std::string_view name) const
{
    for (std::int16_t i = 0; i < NvCpCount; ++i)
        if (NvCpTable[static_cast<std::size_t>(i)].Name == name)
            return &NvCpTable[static_cast<std::size_t>(i)];
    return nullptr;
}

NvCpCatalogue &nvCpCatalogue()
{
    static NvCpCatalogue catalogue;
    return catalogue;
}

void AddNvCp(std::int16_t &position, std::string_view Name, std::string_view Kind, std::string_view Tab,
             std::string_view Block, ControlRef ValueCtl, bool monitored, std::string_view CpAddress,
             std::string_view TypeName, ControlRef UnitCtl)
{
    DebugLog("modFramework.AddNvCp(" + std::to_string(position) + "," + std::string(Name) + "," + std::string(Kind) + "," +
             std::string(Tab) + "," + std::string(Block) + ",...)");
    if (position < 0 || static_cast<std::size_t>(position) >= kNvCpSlots)
        throw RuntimeError(ErrorNumber::kSubscriptOutOfRange, "Subscript out of range");
    auto &catalogue = nvCpCatalogue();
    NvCp &e = catalogue.NvCpTable[static_cast<std::size_t>(position)];
    e.Name = Name;
    e.Kind = Kind;
    e.Tab = Tab;
    e.Block = Block;
    e.ValueCtl = ValueCtl;
    e.UnitCtl = UnitCtl;
    e.CpAddress = CpAddress;
    e.TypeName = TypeName;
    e.MonitorTag = monitored ? position + 1 : 0;
    catalogue.tags[ValueCtl] = position;
    ++position;
}

namespace {

void fillFamily(const char *trace, const std::vector<CatalogueRow> &rows)
{
    DebugLog(trace);
    std::int16_t position = 0;
    for (const auto &r : rows)
        AddNvCp(position, r.name, r.kind, r.tab, r.block, r.value, r.monitored, r.cpAddress, r.typeName, r.unit);
    nvCpCatalogue().NvCpCount = position;
}

}  // namespace

void FillNvsCpsTable_302()
{
    fillFamily("modFramework.FillNvsCpsTable_302()", familyRows(CatalogueFamilyRows::F302, false, false));
}

void FillNvsCpsTable_312()
{
    fillFamily("modFramework.FillNvsCpsTable_312()", familyRows(CatalogueFamilyRows::F312, false, false));
}

void FillNvsCpsTable_362()
{
    fillFamily("modFramework.FillNvsCpsTable_362()", familyRows(CatalogueFamilyRows::F362, false, false));
}

void FillNvsCpsTable_363(bool IncludeLogging, bool IncludePtRatio)
{
    fillFamily("modFramework.FillNvsCpsTable_363()",
               familyRows(CatalogueFamilyRows::F363, IncludeLogging, IncludePtRatio));
}

void FillNvsCpsTable(std::string_view programId)
{
    DebugLog("modFramework.FillNvsCpsTable()");
    struct Choice
    {
        std::string_view programId;
        void (*fill)();
    };
    static constexpr Choice kChoices[] = {
        {"80B7E515000A0402", FillNvsCpsTable_302},
        {"80B7E515000A0405", FillNvsCpsTable_302},
        {"80B7E515000A0403", FillNvsCpsTable_312},
        {"90B7E515000A040B", FillNvsCpsTable_312},
        {"80B7E515000A0407", [] { FillNvsCpsTable_363(false, false); }},
        {"90B7E515000A040C", [] { FillNvsCpsTable_363(false, true); }},
        {"80B7E515008A0409", FillNvsCpsTable_362},
        {"80B7E515000A040A", [] { FillNvsCpsTable_363(true, false); }},
        {"90B7E515000A040D", [] { FillNvsCpsTable_363(true, true); }},
    };
    for (const auto &c : kChoices) {
        if (c.programId == programId) {
            c.fill();
            return;
        }
    }
    throw RuntimeError(kObjectErrorBase + 2014,
                       "FillNvsCpsTable(): Invalid Tellumic model or firmware version - not supported by this plug-in");
}

}  // namespace tellumic
