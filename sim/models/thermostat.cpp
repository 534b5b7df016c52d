#include "sim/models/builtin_models.h"

namespace tellumic::sim {

namespace {

class Thermostat final : public DeviceModel
{
public:
    Thermostat()
    {
        m_interface.nvs = {
            {"nviSetpoint", "SNVT_temp_p", true, "21.5", {}},
            {"nvoSpaceTemp", "SNVT_temp_p", false, "20.75", {}},
        };
        m_interface.blocks = {
            {"NodeObject", 0, {{"SCPTlocation", 0, 17, "SCPTlocation", "Hall"}}},
            {"Thermostat", 8060, {{"SCPTmaxSndT", 0, 22, "SCPTmaxSndT", "0 0:1:0:0"}}},
        };
    }
    const InterfaceDef &interfaceDef() const override { return m_interface; }

private:
    InterfaceDef m_interface;
};

}  // namespace

std::shared_ptr<const DeviceModel> makeThermostat()
{
    return std::make_shared<Thermostat>();
}

}  // namespace tellumic::sim
