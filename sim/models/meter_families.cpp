// The interfaces of the meter families: NVs with their names and initial types, the
// functional blocks in the order the device interface counts them, and their CPs.

#include "sim/models/builtin_models.h"
#include "sim/models/meter.h"

namespace tellumic::sim {

namespace {

constexpr std::int32_t kMeterProfile = 20010;
constexpr std::int32_t kCalProfile = 20011;
constexpr std::int32_t kConfigProfile = 20012;

// Indexes of the maker's own CP types (scope 3).
constexpr std::int32_t kUcptModel = 2, kUcptPtRatio = 3, kUcptNominalVolt = 4, kUcptCtAmps = 5, kUcptMinVolt = 6,
                       kUcptCreepLimit = 7, kUcptCalBase = 8, kUcptSerialNumber = 23, kUcptFactoryCommand = 30;

CpDef maxSendTime(std::string initial)
{
    return {"SCPTmaxSndT", 0, 22, "SCPTmaxSndT", std::move(initial)};
}

CpDef nvType(std::string text)
{
    return {"SCPTnvType", 0, 254, "SCPTnvType", std::move(text)};
}

std::vector<CpDef> nodeCps(std::string majorVersion, std::string minorVersion)
{
    return {{"SCPTlocation", 0, 17, "SCPTlocation", ""},
            {"SCPTdevMajVer", 0, 165, "SCPTdevMajVer", std::move(majorVersion)},
            {"SCPTdevMinVer", 0, 166, "SCPTdevMinVer", std::move(minorVersion)}};
}

std::vector<CpDef> identityCps(std::string model)
{
    return {{"UCPTmodel", 3, kUcptModel, "UCPTmodel", std::move(model)},
            {"UCPTserialNumber", 3, kUcptSerialNumber, "UCPTserialNumber", "100234"}};
}

CpDef ctAmpsCp()
{
    return {"UCPTctAmps", 3, kUcptCtAmps, "UCPTctAmps", "100"};
}

// The calibration constants start at 10000 (phase adjustment 1000); the meter's true gains
// differ from them by its component tolerances, so a new meter reads a little off.
std::vector<CpDef> calibrationCps()
{
    std::vector<CpDef> cps{{"UCPTnominalVolt", 3, kUcptNominalVolt, "UCPTnominalVolt", "120"},
                            {"UCPTminVolt", 3, kUcptMinVolt, "UCPTminVolt", "24"},
                            {"UCPTcreepLimit", 3, kUcptCreepLimit, "UCPTcreepLimit", "10"}};
    std::int32_t index = kUcptCalBase;
    for (const char *kind : {"calPower", "calReactive", "calVolt", "phaseAdj"}) {
        const std::string type = std::string("UCPT") + kind;
        for (const char *phase : {"A", "B", "C"})
            cps.push_back({type + phase, 3, index++, type, type == "UCPTphaseAdj" ? "1000" : "10000"});
    }
    cps.push_back({"UCPTfactoryCommand", 3, kUcptFactoryCommand, "UCPTfactoryCommand", "0"});
    return cps;
}

// Adds NVs to the interface and records their roles.
struct Builder
{
    MeterLayout layout;
    InterfaceDef interfaceDef;

    void in(Role role, std::string name, std::string type, std::string initial)
    {
        layout.name(role) = name;
        interfaceDef.nvs.push_back({std::move(name), std::move(type), true, std::move(initial), {}});
    }
    void out(Role role, std::string name, std::string type, std::vector<CpDef> cps = {})
    {
        layout.name(role) = name;
        interfaceDef.nvs.push_back({std::move(name), std::move(type), false, "", std::move(cps)});
    }
    // The first NV of each output group carries the group's SCPTnvType.
    void groupFirst(Role role, std::string name, std::string type, std::vector<CpDef> cps = {})
    {
        cps.push_back(nvType(shippedNvTypeText(layout, role, type)));
        out(role, std::move(name), std::move(type), std::move(cps));
    }
    std::shared_ptr<const DeviceModel> make()
    {
        return std::make_shared<Meter>(std::move(layout), std::move(interfaceDef));
    }
};

// Families 302 and 312: NVs only, phases as array elements, update intervals as NV inputs,
// the firmware version behind nviCalSel/nviCal, the peak reset through nviLogRequest.
std::shared_ptr<const DeviceModel> makeMeterTmb(bool floatTypes)
{
    Builder b;
    b.layout.family = floatTypes ? "302" : "312";
    b.layout.floatFirmware = floatTypes;
    const std::string power = floatTypes ? "SNVT_power_f" : "SNVT_power_kilo";
    const std::string energy = floatTypes ? "SNVT_elec_whr_f" : "SNVT_elec_kwh";
    const std::string volt = floatTypes ? "SNVT_volt_f" : "SNVT_volt";
    const std::string amp = floatTypes ? "SNVT_amp_f" : "SNVT_amp";
    const std::string pf = floatTypes ? "SNVT_pwr_fact_f" : "SNVT_pwr_fact";
    b.interfaceDef.blocks.push_back({"NodeObject", 0, {}});
    b.layout.nodeBlock = 0;
    b.in(Role::TimeSet, "nviTimeSet", "SNVT_time_stamp", "2011/03/05 14:07:09");
    if (floatTypes)
        b.in(Role::CtAmps, "nciCtAmps_f", "SNVT_amps_f", "100");
    else
        b.in(Role::CtAmps, "nciCtAmps", "SNVT_amp", "100");
    b.groupFirst(Role::PowerSum, "nvoPowerSum", power);
    b.out(Role::PowerA, "nvoPower[0]", power);
    b.out(Role::PowerB, "nvoPower[1]", power);
    b.out(Role::PowerC, "nvoPower[2]", power);
    b.groupFirst(Role::ReacSum, "nvoReacPwrSum", power);
    b.out(Role::ReacA, "nvoReacPwr[0]", power);
    b.out(Role::ReacB, "nvoReacPwr[1]", power);
    b.out(Role::ReacC, "nvoReacPwr[2]", power);
    b.interfaceDef.nvs.push_back({"nciPwrUpdtT", "SNVT_elapsed_tm", true, "0 0:0:5:0", {}});
    b.interfaceDef.nvs.push_back({"nciReacUpdtT", "SNVT_elapsed_tm", true, "0 0:0:5:0", {}});
    b.groupFirst(Role::EnergySum, "nvoEnergySum", energy);
    b.out(Role::ReacEnergySum, "nvoReacEngySum", energy);
    b.out(Role::EnergyA, "nvoEnergy[0]", energy);
    b.out(Role::EnergyB, "nvoEnergy[1]", energy);
    b.out(Role::EnergyC, "nvoEnergy[2]", energy);
    b.interfaceDef.nvs.push_back({"nciEngyUpdtT", "SNVT_elapsed_tm", true, "0 0:1:0:0", {}});
    b.groupFirst(Role::Demand, "nvoDemand", power);
    b.out(Role::PeakDemand, "nvoPkDemand", power);
    b.out(Role::PeakDemandTime, "nvoPeakDemT", "SNVT_time_stamp");
    b.in(Role::DemandMinutes, "nciDemPerMins", "SNVT_count", "15");
    b.in(Role::DemandSubintervals, "nciDemSubints", "SNVT_count", "3");
    b.groupFirst(Role::VoltsA, "nvoVolts[0]", volt);
    b.out(Role::VoltsB, "nvoVolts[1]", volt);
    b.out(Role::VoltsC, "nvoVolts[2]", volt);
    b.groupFirst(Role::Frequency, "nvoFreq", floatTypes ? "SNVT_freq_f" : "SNVT_freq_hz");
    b.groupFirst(Role::CurrentA, "nvoCurrent[0]", amp);
    b.out(Role::CurrentB, "nvoCurrent[1]", amp);
    b.out(Role::CurrentC, "nvoCurrent[2]", amp);
    b.groupFirst(Role::PfAvg, "nvoPFavg", pf);
    b.out(Role::PfA, "nvoPF[0]", pf);
    b.out(Role::PfB, "nvoPF[1]", pf);
    b.out(Role::PfC, "nvoPF[2]", pf);
    b.in(Role::ResetEnergy, "nviResetEnergy", "SNVT_count", "0");
    b.in(Role::LogRequest, "nviLogRequest", "SNVT_count", "0");
    b.in(Role::CalSelect, "nviCalSel", "SNVT_count", "0");
    b.in(Role::CalValue, "nviCal", "SNVT_count_f", "0");
    b.layout.firmwareVersion = floatTypes ? 3.03 : 2.11;
    return b.make();
}

// The float outputs of families 362 and 363, in the order the meters list them.
void floatOutputs(Builder &b, bool blockPerNv, const std::vector<CpDef> &energySumCps)
{
    auto group = [&](Role role, const char *name, const char *type, std::vector<CpDef> cps = {}) {
        if (blockPerNv)
            b.interfaceDef.blocks.push_back({std::string(name).substr(3), kMeterProfile, {}});
        b.groupFirst(role, name, type, std::move(cps));
    };
    auto member = [&](Role role, const char *name, const char *type) {
        if (blockPerNv)
            b.interfaceDef.blocks.push_back({std::string(name).substr(3), kMeterProfile, {}});
        b.out(role, name, type);
    };
    const char *energy = blockPerNv ? "SNVT_elec_kwh_l" : "SNVT_elec_whr_f";
    group(Role::PowerSum, "nvoPowerSum", "SNVT_power_f");
    member(Role::PowerA, "nvoPowerA", "SNVT_power_f");
    member(Role::PowerB, "nvoPowerB", "SNVT_power_f");
    member(Role::PowerC, "nvoPowerC", "SNVT_power_f");
    group(Role::ReacSum, "nvoReacPwrSum", "SNVT_power_f");
    member(Role::ReacA, "nvoReacPwrA", "SNVT_power_f");
    member(Role::ReacB, "nvoReacPwrB", "SNVT_power_f");
    member(Role::ReacC, "nvoReacPwrC", "SNVT_power_f");
    group(Role::EnergySum, "nvoEnergySum", energy, energySumCps);
    member(Role::EngyPosSum, "nvoEngyPosSum", energy);
    member(Role::EnergySumNR, "nvoEnergySumNR", energy);
    member(Role::EngyPosSumNR, "nvoEngyPosSumNR", energy);
    member(Role::ReacEnergySum, "nvoReacEngySum", energy);
    member(Role::EnergyA, "nvoEnergyA", energy);
    member(Role::EnergyB, "nvoEnergyB", energy);
    member(Role::EnergyC, "nvoEnergyC", energy);
    group(Role::Demand, "nvoDemand", "SNVT_power_f");
    member(Role::PeakDemand, "nvoDemandPk", "SNVT_power_f");
    member(Role::PeakDemandTime, "nvoPeakDemT", "SNVT_time_stamp");
    b.in(Role::DemandMinutes, "nciDemPerMins", "SNVT_count", "15");
    b.in(Role::DemandSubintervals, "nciDemSubints", "SNVT_count", "3");
    group(Role::VoltsA, "nvoVoltsA", "SNVT_volt_f");
    member(Role::VoltsB, "nvoVoltsB", "SNVT_volt_f");
    member(Role::VoltsC, "nvoVoltsC", "SNVT_volt_f");
    group(Role::Frequency, "nvoFreq", "SNVT_freq_f");
    group(Role::CurrentA, "nvoCurrentA", "SNVT_amp_f");
    member(Role::CurrentB, "nvoCurrentB", "SNVT_amp_f");
    member(Role::CurrentC, "nvoCurrentC", "SNVT_amp_f");
    group(Role::PfAvg, "nvoPfAvg", "SNVT_pwr_fact_f");
    member(Role::PfA, "nvoPfA", "SNVT_pwr_fact_f");
    member(Role::PfB, "nvoPfB", "SNVT_pwr_fact_f");
    member(Role::PfC, "nvoPfC", "SNVT_pwr_fact_f");
}

}  // namespace

std::shared_ptr<const DeviceModel> makeMeter302()
{
    return makeMeterTmb(true);
}

std::shared_ptr<const DeviceModel> makeMeter312()
{
    return makeMeterTmb(false);
}

// Family 362: the node object, the configuration block with the identity and calibration,
// then one block per measurement group, each with its send time.
std::shared_ptr<const DeviceModel> makeMeter362()
{
    Builder b;
    b.layout.family = "362";
    b.layout.logging = true;
    b.interfaceDef.blocks.push_back({"NodeObject", 0, nodeCps("3", "62")});
    auto config = identityCps("TMC-3Y-208-FT10-L");
    config.push_back(ctAmpsCp());
    for (auto &cp : calibrationCps())
        config.push_back(cp);
    b.interfaceDef.blocks.push_back({"TellumicConfig", kConfigProfile, config});
    b.layout.nodeBlock = 0;
    b.layout.calBlock = 1;
    b.layout.ctBlock = 1;
    for (const char *name : {"DemandMeas", "EnergyMeas", "MultiMeter", "PowerFactor", "PowerMeas", "ReactiveMeas"}) {
        std::vector<CpDef> cps;
        if (std::string(name) != "DemandMeas")
            cps.push_back(maxSendTime("0 0:1:0:0"));
        b.interfaceDef.blocks.push_back({name, kMeterProfile, cps});
    }
    b.in(Role::TimeSet, "nviTimeSet", "SNVT_time_stamp", "2011/03/05 14:07:09");
    b.in(Role::CtAmps, "nciCtAmps", "SNVT_amps_ac", "100");
    b.in(Role::LogMinutes, "nciLogMinutes", "SNVT_count", "15");
    floatOutputs(b, false, {});
    b.in(Role::ResetEnergy, "nviResetEnergy", "SNVT_count", "0");
    b.in(Role::ResetPeakDemand, "nviResetPkDemand", "SNVT_count", "0");
    b.layout.firmwareVersion = 3.62;
    return b.make();
}

// Family 363: the node object with the identity, the calibration block, then one block per
// output NV.
std::shared_ptr<const DeviceModel> makeMeter363(bool logging, bool ptRatio)
{
    Builder b;
    b.layout.family = "363";
    b.layout.logging = logging;
    auto node = nodeCps("3", "3");
    for (auto &cp : identityCps(logging ? "TMC-3Y-208-FT10-L" : "TMC-3Y-208-FT10"))
        node.push_back(cp);
    node.push_back(ctAmpsCp());
    if (ptRatio)
        node.push_back({"UCPTptRatio", 3, kUcptPtRatio, "UCPTptRatio", "1"});
    b.interfaceDef.blocks.push_back({"NodeObject", 0, node});
    b.interfaceDef.blocks.push_back({"TellumicCal", kCalProfile, calibrationCps()});
    b.layout.nodeBlock = 0;
    b.layout.calBlock = 1;
    b.layout.ctBlock = 0;
    b.in(Role::TimeSet, "nviTimeSet", "SNVT_time_stamp", "2011/03/05 14:07:09");
    b.in(Role::CtAmps, "nciCtAmps", "SNVT_amps_ac", "100");
    if (logging)
        b.in(Role::LogMinutes, "nciLogMinutes", "SNVT_count", "15");
    b.in(Role::ResetEnergy, "nviResetEnergy", "SNVT_count", "0");
    b.in(Role::ResetPeakDemand, "nviResetPkDemand", "SNVT_count", "0");
    floatOutputs(b, true, {maxSendTime("0 0:5:0:0")});
    return b.make();
}

}  // namespace tellumic::sim
