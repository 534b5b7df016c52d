#include "sim/models/builtin_models.h"

namespace tellumic::sim {

namespace {

// Functional-profile keys of the maker's meter profiles.
constexpr std::int32_t kMeterProfile = 20010;
constexpr std::int32_t kCalProfile = 20011;

CpSpec maxSendTime(std::string initial)
{
    return {"SCPTmaxSndT", 0, 22, "SCPTmaxSndT", std::move(initial)};
}

// Family 363: the node object, the calibration block, then one block per output NV.
// Readings are fixed values that only a write changes; the meter's behaviour (readings
// that follow time, commands, log, calibration) is not modelled yet.
class Meter363 final : public DeviceModel
{
public:
    Meter363(bool logging, bool ptRatio)
    {
        BlockSpec node{"NodeObject", 0, {
            {"SCPTlocation", 0, 17, "SCPTlocation", ""},
            {"SCPTdevMajVer", 0, 165, "SCPTdevMajVer", "3"},
            {"SCPTdevMinVer", 0, 166, "SCPTdevMinVer", "3"},
            {"UCPTmodel", 3, 2, "UCPTmodel", logging ? "TMC-FT-Log" : "TMC-FT-Plus"},
            {"UCPTserialNumber", 3, 23, "UCPTserialNumber", "100234"},
        }};
        if (ptRatio)
            node.cps.push_back({"UCPTptRatio", 3, 3, "UCPTptRatio", "1"});
        m_spec.blocks.push_back(node);
        m_spec.blocks.push_back({"TellumicCal", kCalProfile, {
            {"UCPTnominalVolt", 3, 4, "UCPTnominalVolt", "120"},
            {"UCPTfactoryCommand", 3, 30, "UCPTfactoryCommand", "0"},
        }});

        auto in = [this](std::string name, std::string type, std::string initial) {
            m_spec.nvs.push_back({std::move(name), std::move(type), true, std::move(initial), {}});
        };
        auto out = [this](std::string name, std::string type, std::string initial, std::vector<CpSpec> cps = {}) {
            m_spec.blocks.push_back({name.substr(3), kMeterProfile, {}});
            m_spec.nvs.push_back({std::move(name), std::move(type), false, std::move(initial), std::move(cps)});
        };
        in("nviTimeSet", "SNVT_time_stamp", "2011/03/05 14:07:09");
        in("nciCtAmps", "SNVT_amps_ac", "100");
        if (logging)
            in("nciLogMinutes", "SNVT_count", "15");
        in("nviResetEnergy", "SNVT_count", "0");
        in("nviResetPkDemand", "SNVT_count", "0");
        out("nvoPowerSum", "SNVT_power_f", "12000.5");
        out("nvoPowerA", "SNVT_power_f", "4000.25");
        out("nvoPowerB", "SNVT_power_f", "4100");
        out("nvoPowerC", "SNVT_power_f", "3900.25");
        out("nvoReacPwrSum", "SNVT_power_f", "1500");
        out("nvoReacPwrA", "SNVT_power_f", "500");
        out("nvoReacPwrB", "SNVT_power_f", "520");
        out("nvoReacPwrC", "SNVT_power_f", "480");
        out("nvoEnergySum", "SNVT_elec_kwh_l", "1256.8", {maxSendTime("0 0:5:0:0")});
        out("nvoEngyPosSum", "SNVT_elec_kwh_l", "1300.2");
        out("nvoEnergySumNR", "SNVT_elec_kwh_l", "5256.8");
        out("nvoEngyPosSumNR", "SNVT_elec_kwh_l", "5300.2");
        out("nvoReacEngySum", "SNVT_elec_kwh_l", "210.4");
        out("nvoEnergyA", "SNVT_elec_kwh_l", "420.1");
        out("nvoEnergyB", "SNVT_elec_kwh_l", "431.5");
        out("nvoEnergyC", "SNVT_elec_kwh_l", "405.2");
        out("nvoDemand", "SNVT_power_f", "11800");
        out("nvoDemandPk", "SNVT_power_f", "15200");
        out("nvoPeakDemT", "SNVT_time_stamp", "2011/03/01 09:15:00");
        in("nciDemPerMins", "SNVT_count", "15");
        in("nciDemSubints", "SNVT_count", "3");
        out("nvoVoltsA", "SNVT_volt_f", "120.2");
        out("nvoVoltsB", "SNVT_volt_f", "119.8");
        out("nvoVoltsC", "SNVT_volt_f", "120.5");
        out("nvoFreq", "SNVT_freq_f", "60");
        out("nvoCurrentA", "SNVT_amp_f", "33.4");
        out("nvoCurrentB", "SNVT_amp_f", "34.5");
        out("nvoCurrentC", "SNVT_amp_f", "32.6");
        out("nvoPfAvg", "SNVT_pwr_fact_f", "0.992");
        out("nvoPfA", "SNVT_pwr_fact_f", "0.993");
        out("nvoPfB", "SNVT_pwr_fact_f", "0.992");
        out("nvoPfC", "SNVT_pwr_fact_f", "0.991");
    }
    const InterfaceSpec &interfaceSpec() const override { return m_spec; }

private:
    InterfaceSpec m_spec;
};

}  // namespace

std::shared_ptr<const DeviceModel> makeMeter363(bool logging, bool ptRatio)
{
    return std::make_shared<Meter363>(logging, ptRatio);
}

}  // namespace tellumic::sim
