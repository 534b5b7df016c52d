#include "sim/device_model.h"

#include <mutex>

#include "foundation/object_server.h"
#include "foundation/text.h"
#include "sim/models/builtin_models.h"

namespace tellumic::sim {

namespace {

std::string cpSuffix(const CpDef &cp)
{
    return "/" + std::to_string(cp.scope) + ":" + std::to_string(cp.index);
}

struct ModelRegistry
{
    std::map<std::string, std::shared_ptr<const DeviceModel>> models;  // upper-case program ID
    // Replaced models stay alive: open servers keep pointers into their interfaces.
    std::vector<std::shared_ptr<const DeviceModel>> replaced;
};

ModelRegistry &registry()
{
    // Built-in models are added on first use: registration from static objects would be
    // dropped by the linker when nothing else references their file.
    static ModelRegistry r;
    static std::once_flag once;
    std::call_once(once, [] {
        for (auto &[programId, model] : builtInModels())
            r.models[toUpperAscii(programId)] = model;
    });
    return r;
}

}  // namespace

std::string nvKey(std::string_view nvName)
{
    return "nv:" + std::string(nvName);
}

std::string nvTypeKey(std::string_view nvName)
{
    return "type:" + std::string(nvName);
}

std::string blockCpKey(std::size_t block, const CpDef &cp)
{
    return "cp:F" + std::to_string(block) + cpSuffix(cp);
}

std::string nvCpKey(std::string_view nvName, const CpDef &cp)
{
    return "cp:N" + std::string(nvName) + cpSuffix(cp);
}

std::string deviceCpKey(const CpDef &cp)
{
    return "cp:C" + cpSuffix(cp);
}

Bytes DeviceModel::readFile(DeviceState &, std::int32_t number, std::int32_t) const
{
    throw RuntimeError(lns::LcaError::kObjectNotFound, "The device has no file " + std::to_string(number));
}

void DeviceModel::writeFile(DeviceState &, std::int32_t number, const Bytes &) const
{
    throw RuntimeError(lns::LcaError::kObjectNotFound, "The device has no file " + std::to_string(number));
}

const DeviceModel *findDeviceModel(std::string_view programId)
{
    auto &r = registry();
    const auto it = r.models.find(toUpperAscii(programId));
    return it == r.models.end() ? nullptr : it->second.get();
}

void registerDeviceModel(std::string programId, std::shared_ptr<const DeviceModel> model)
{
    auto &slot = registry().models[toUpperAscii(programId)];
    if (slot)
        registry().replaced.push_back(slot);
    slot = std::move(model);
}

}  // namespace tellumic::sim
