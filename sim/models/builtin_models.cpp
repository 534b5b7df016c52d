#include "sim/models/builtin_models.h"

namespace tellumic::sim {

std::vector<std::pair<std::string, std::shared_ptr<const DeviceModel>>> builtInModels()
{
    return {
        {"80B7E515000A0407", makeMeter363(false, false)},
        {"80B7E515000A040A", makeMeter363(true, false)},
        {"90B7E515000A040C", makeMeter363(false, true)},
        {"90B7E515000A040D", makeMeter363(true, true)},
        {std::string(kThermostatProgramId), makeThermostat()},
    };
}

}  // namespace tellumic::sim
