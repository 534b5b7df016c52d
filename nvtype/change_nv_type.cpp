#include "nvtype/change_nv_type.h"

#include <utility>
#include <vector>

#include "foundation/trace_log.h"

namespace tellumic {

namespace {

constexpr int kStatusTicks = 2;

struct ChangedFormat
{
    std::shared_ptr<lns::Nv> nv;
    std::string before;
};

// A group left with some NVs in the new format while the meter still sends the old type
// would show every value of those NVs decoded wrongly: their formats go back.
void restoreFormats(const std::string &procedure, const std::vector<ChangedFormat> &changed)
{
    for (const auto &c : changed) {
        try {
            DebugLog("   " + procedure + "(): " + c.nv->Name() + " back to " + c.before);
            c.nv->SetFormatSpec(c.before);
            c.nv->Commit();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: " + procedure + "()," + errorText(e));
        }
    }
}

}  // namespace

bool &InitializingCombos()
{
    static bool filling = false;
    return filling;
}

void ChangeNvType(const NvTypeGroup &group, std::int16_t choice, TypeChangeSite &site)
{
    const std::string procedure = "MChangeNvType." + std::string(group.procedure);
    DebugLog(procedure + "()");
    if (group.waitsForFilling && InitializingCombos())
        return;
    if (choice < 0 || static_cast<std::size_t>(choice) >= group.types.size()) {
        site.echLog().addError(std::string(group.invalidChoice));
        return;
    }
    const NvTypeChoice &type = group.types[static_cast<std::size_t>(choice)];
    site.updateStatus(std::string(group.status) + std::string(type.typeName) + "...", kStatusTicks);

    std::vector<ChangedFormat> changed;
    try {
        auto nvs = site.deviceNvs();
        for (const auto name : group.nvs) {
            auto nv = nvs.Item(name);
            changed.push_back({nv, nv->FormatSpec()});
            nv->SetFormatSpec(type.formatName);
            nv->Commit();
        }
        auto cp = site.cpByTypeIndex(group.cpAddress);
        if (!cp)
            throw RuntimeError(lns::LcaError::kObjectNotFound,
                               "Configuration property " + std::string(group.cpAddress) + " not found");
        cp->SetValue(type.nvTypeText);
    } catch (...) {
        restoreFormats(procedure, changed);
        throw;
    }
    site.echLog().addInfo(std::string(group.result) + std::string(type.typeName));
}

}  // namespace tellumic
