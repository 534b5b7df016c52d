#include "model/product_tables.h"

#include "foundation/registry.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {
using F = CatalogueFamily;

const std::array<ProgramIdRecord, 9> kMeters = {{
    {"80B7E515008A0409", "TMC-FT-362", false, F::F362, false, false},
    {"80B7E515000A040A", "TMC-FT-Log-364", true, F::F363, true, false},
    {"80B7E515000A0405", "TMC-FT-B-303", false, F::F302, false, false},
    {"90B7E515000A040B", "TMC-FT-BI-313", false, F::F312, false, false},
    {"80B7E515000A0407", "TMC-FT-Plus-333", true, F::F363, false, false},
    {"80B7E515000A0402", "TMB-FT-Plus-208", false, F::F302, false, false},
    {"80B7E515000A0403", "TMB-FT-Int-211", false, F::F312, false, false},
    {"90B7E515000A040C", "TMC-FT-Plus-PT-340", true, F::F363, false, true},
    {"90B7E515000A040D", "TMC-FT-Log-PT-370", true, F::F363, true, true},
}};

const CommandRecord kBrowse{20, 7, "Browse Tellumic", "Browse Tellumic variables", false, 3, ""};

constexpr std::string_view kResourceSubfolder = "\\types\\User\\HVI";

}  // namespace

const std::array<ProgramIdRecord, 9> &supportedMeters()
{
    return kMeters;
}

const ProgramIdRecord *findProgramId(std::string_view programId)
{
    for (const auto &m : kMeters)
        if (equalsIgnoreCase(m.ProgramId, programId))
            return &m;
    return nullptr;
}

ProductTables &productTables()
{
    static ProductTables tables;
    return tables;
}

void FillProgramIdTable()
{
    DebugLog("modFramework.FillProgramIdTable()");
    auto &t = productTables();
    for (std::size_t i = 0; i < kMeters.size(); ++i)
        t.programIds[i] = kMeters[i];
    t.programIdCount = static_cast<std::int16_t>(kMeters.size());
}

void FillCommandTable()
{
    DebugLog("modFramework.FillCommandTable()");
    productTables().commands[0] = kBrowse;
}

void FillResourceTable()
{
    DebugLog("modFramework.FillResourceTable()");
    productTables().resources[0] = ResourceRecord{GetLonWorksPath() + std::string(kResourceSubfolder), "80B7E50000000000", 3, 1, 5};
}

std::string GetLonWorksPath()
{
    DebugLog("modFramework.GetLonWorksPath()");
    CRegistry registry;
    std::string path = registry.MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path");
    if (path.empty()) {
        DebugLog("ERROR: modFramework.GetLonWorksPath() - invalid LonWorks path");
        // A registry that could not be read at all is told as such, not as a missing value.
        const std::string why = registry.storeFailure().empty()
                                    ? std::string()
                                    : " (the registry could not be read: " + registry.storeFailure() + ")";
        throw RuntimeError(ErrorNumber::kInvalidLonWorksPath, "GetLonWorksPath(): Invalid LonWorks path in registry" + why);
    }
    return path;
}

void GetVersionNumber(std::string_view version, std::int16_t &major, std::int16_t &minor)
{
    DebugLog("MMain.GetVersionNumber(" + std::string(version) + ")");
    std::string rest;
    const std::string majorText = ParseWord(version, ".", rest);
    std::string ignored;
    const std::string beforeBlank = ParseWord(rest, " ", ignored);
    std::string minorText = ParseWord(beforeBlank, ".", ignored);
    if (minorText.size() == 1)
        minorText += "0";
    major = static_cast<std::int16_t>(Val(majorText));
    minor = static_cast<std::int16_t>(Val(minorText));
}

}  // namespace tellumic
