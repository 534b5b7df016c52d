#include "model/catalogue_families.h"

#include <cstring>

namespace tellumic {

namespace {

using A = ControlArray;
constexpr ControlRef nvi(int i) { return {A::txtNvi, i}; }
constexpr ControlRef nvo(int i) { return {A::txtNvo, i}; }
constexpr ControlRef cp(int i) { return {A::txtCp, i}; }
constexpr ControlRef pwr(int i) { return {A::lblPowerType, i}; }
constexpr ControlRef reac(int i) { return {A::lblReacPwrType, i}; }
constexpr ControlRef dem(int i) { return {A::lblDemandType, i}; }
constexpr ControlRef none{};
constexpr bool yes = true;
constexpr bool no = false;

// Families 302 and 312 share rows and boxes; they differ in the type names and row 1's name.
struct BasicRow
{
    const char *name;
    const char *kind;
    const char *tab;
    ControlRef value;
    bool monitored;
    const char *type302;
    const char *type312;
    ControlRef unit;
};

constexpr const char *kPowerF = "SNVT_power_f#SI";
constexpr const char *kPowerK = "SNVT_power_kilo";

const BasicRow kBasicRows[] = {
    {"nviTimeSet", "NVI", "Info", nvi(0), yes, "SNVT_time_stamp", "SNVT_time_stamp", none},
    {"nciCtAmps_f", "NVI", "Info", nvi(1), yes, "SNVT_amps_f", "SNVT_amp", none},
    {"nvoPowerSum", "NVO", "Power", nvo(1), yes, kPowerF, kPowerK, pwr(0)},
    {"nvoPower[0]", "NVO", "Power", nvo(2), yes, kPowerF, kPowerK, pwr(1)},
    {"nvoPower[1]", "NVO", "Power", nvo(3), yes, kPowerF, kPowerK, pwr(2)},
    {"nvoPower[2]", "NVO", "Power", nvo(4), yes, kPowerF, kPowerK, pwr(3)},
    {"nvoReacPwrSum", "NVO", "Power", nvo(8), yes, kPowerF, kPowerK, reac(0)},
    {"nvoReacPwr[0]", "NVO", "Power", nvo(11), yes, kPowerF, kPowerK, reac(1)},
    {"nvoReacPwr[1]", "NVO", "Power", nvo(10), yes, kPowerF, kPowerK, reac(2)},
    {"nvoReacPwr[2]", "NVO", "Power", nvo(9), yes, kPowerF, kPowerK, reac(3)},
    {"nciPwrUpdtT", "NVI", "Power", cp(8), yes, "SNVT_elapsed_tm", "SNVT_elapsed_tm", none},
    {"nciReacUpdtT", "NVI", "Power", cp(12), yes, "SNVT_elapsed_tm", "SNVT_elapsed_tm", none},
    {"nvoEnergySum", "NVO", "Energy", nvo(12), no, "SNVT_elec_whr_f", "SNVT_elec_kwh", none},
    {"nvoReacEngySum", "NVO", "Energy", nvo(16), no, "SNVT_elec_whr_f", "SNVT_elec_kwh", none},
    {"nvoEnergy[0]", "NVO", "Energy", nvo(17), no, "SNVT_elec_whr_f", "SNVT_elec_kwh", none},
    {"nvoEnergy[1]", "NVO", "Energy", nvo(18), no, "SNVT_elec_whr_f", "SNVT_elec_kwh", none},
    {"nvoEnergy[2]", "NVO", "Energy", nvo(19), no, "SNVT_elec_whr_f", "SNVT_elec_kwh", none},
    {"nciEngyUpdtT", "NVI", "Energy", cp(7), yes, "SNVT_elapsed_tm", "SNVT_elapsed_tm", none},
    {"nvoDemand", "NVO", "Demand", nvo(5), yes, kPowerF, kPowerK, dem(0)},
    {"nvoPkDemand", "NVO", "Demand", nvo(6), yes, kPowerF, kPowerK, dem(1)},
    {"nvoPeakDemT", "NVO", "Demand", nvo(7), yes, "SNVT_time_stamp", "SNVT_time_stamp", none},
    {"nciDemPerMins", "NVI", "Demand", nvi(3), yes, "SNVT_count", "SNVT_count", none},
    {"nciDemSubints", "NVI", "Demand", nvi(4), yes, "SNVT_count", "SNVT_count", none},
    {"nvoVolts[0]", "NVO", "Multimeter", nvo(20), yes, "SNVT_volt_f", "SNVT_volt", none},
    {"nvoVolts[1]", "NVO", "Multimeter", nvo(21), yes, "SNVT_volt_f", "SNVT_volt", none},
    {"nvoVolts[2]", "NVO", "Multimeter", nvo(22), yes, "SNVT_volt_f", "SNVT_volt", none},
    {"nvoFreq", "NVO", "Multimeter", nvo(23), yes, "SNVT_freq_f", "SNVT_freq_hz", none},
    {"nvoCurrent[0]", "NVO", "Multimeter", nvo(24), yes, "SNVT_amp_f", "SNVT_amp", none},
    {"nvoCurrent[1]", "NVO", "Multimeter", nvo(25), yes, "SNVT_amp_f", "SNVT_amp", none},
    {"nvoCurrent[2]", "NVO", "Multimeter", nvo(26), yes, "SNVT_amp_f", "SNVT_amp", none},
    {"nvoPFavg", "NVO", "Power Factor", nvo(29), yes, "SNVT_pwr_fact_f", "SNVT_pwr_fact", none},
    {"nvoPF[0]", "NVO", "Power Factor", nvo(28), yes, "SNVT_pwr_fact_f", "SNVT_pwr_fact", none},
    {"nvoPF[1]", "NVO", "Power Factor", nvo(27), yes, "SNVT_pwr_fact_f", "SNVT_pwr_fact", none},
    {"nvoPF[2]", "NVO", "Power Factor", nvo(0), yes, "SNVT_pwr_fact_f", "SNVT_pwr_fact", none},
};

constexpr const char *kWhr = "SNVT_elec_whr_f";

const CatalogueRow k362Rows[] = {
    {"SCPTlocation", "CP", "Info", "NodeObject", cp(0), no, "F:0/C:0:17", "SCPTlocation", none},
    {"SCPTdevMajVer", "CP", "Info", "NodeObject", cp(1), no, "F:0/C:0:165", "SCPTdevMajVer", none},
    {"SCPTdevMinVer", "CP", "Info", "NodeObject", cp(2), no, "F:0/C:0:166", "SCPTdevMinVer", none},
    {"UCPTmodel", "CP", "Info", "TellumicConfig", cp(5), no, "F:1/C:3:2", "UCPTmodel", none},
    {"UCPTserialNumber", "CP", "Info", "TellumicConfig", cp(3), no, "F:1/C:3:23", "UCPTserialNumber", none},
    {"UCPTnominalVolt", "CP", "Info", "TellumicConfig", cp(4), no, "F:1/C:3:4", "UCPTnominalVolt", none},
    {"nviTimeSet", "NVI", "Info", "NodeObject", nvi(0), yes, "", "SNVT_time_stamp", none},
    {"nciCtAmps", "NVI", "Info", "TellumicConfig", nvi(1), yes, "", "SNVT_amps_ac", none},
    {"nciLogMinutes", "NVI", "Logging", "TellumicConfig", nvi(2), yes, "", "SNVT_count", none},
    {"nvoPowerSum", "NVO", "Power", "PowerMeas", nvo(1), yes, "", kPowerF, pwr(0)},
    {"nvoPowerA", "NVO", "Power", "PowerMeas", nvo(2), yes, "", kPowerF, pwr(1)},
    {"nvoPowerB", "NVO", "Power", "PowerMeas", nvo(3), yes, "", kPowerF, pwr(2)},
    {"nvoPowerC", "NVO", "Power", "PowerMeas", nvo(4), yes, "", kPowerF, pwr(3)},
    {"nciPowerSendTime", "CP", "Power", "PowerMeas", cp(8), no, "F:6/C:0:22", "SCPTmaxSndT", none},
    {"nvoReacPwrSum", "NVO", "Power", "ReactiveMeas", nvo(8), yes, "", kPowerF, reac(0)},
    {"nvoReacPwrA", "NVO", "Power", "ReactiveMeas", nvo(11), yes, "", kPowerF, reac(1)},
    {"nvoReacPwrB", "NVO", "Power", "ReactiveMeas", nvo(10), yes, "", kPowerF, reac(2)},
    {"nvoReacPwrC", "NVO", "Power", "ReactiveMeas", nvo(9), yes, "", kPowerF, reac(3)},
    {"nciReacSendTime", "CP", "Power", "ReactiveMeas", cp(12), no, "F:7/C:0:22", "SCPTmaxSndT", none},
    {"nvoEnergySum", "NVO", "Energy", "EnergyMeas", nvo(12), no, "", kWhr, none},
    {"nvoEngyPosSum", "NVO", "Energy", "EnergyMeas", nvo(13), no, "", kWhr, none},
    {"nvoEnergySumNR", "NVO", "Energy", "EnergyMeas", nvo(14), no, "", kWhr, none},
    {"nvoEngyPosSumNR", "NVO", "Energy", "EnergyMeas", nvo(15), no, "", kWhr, none},
    {"nvoReacEngySum", "NVO", "Energy", "EnergyMeas", nvo(16), no, "", kWhr, none},
    {"nvoEnergyA", "NVO", "Energy", "EnergyMeas", nvo(17), no, "", kWhr, none},
    {"nvoEnergyB", "NVO", "Energy", "EnergyMeas", nvo(18), no, "", kWhr, none},
    {"nvoEnergyC", "NVO", "Energy", "EnergyMeas", nvo(19), no, "", kWhr, none},
    {"nciEngySendTime", "CP", "Energy", "EnergyMeas", cp(7), no, "F:3/C:0:22", "SCPTmaxSndT", none},
    {"nvoDemand", "NVO", "Demand", "DemandMeas", nvo(5), yes, "", kPowerF, dem(0)},
    {"nvoDemandPk", "NVO", "Demand", "DemandMeas", nvo(6), yes, "", kPowerF, dem(1)},
    {"nvoPeakDemT", "NVO", "Demand", "DemandMeas", nvo(7), yes, "", "SNVT_time_stamp", none},
    {"nciDemPerMins", "NVI", "Demand", "DemandMeas", nvi(3), yes, "", "SNVT_count", none},
    {"nciDemSubints", "NVI", "Demand", "DemandMeas", nvi(4), yes, "", "SNVT_count", none},
    {"nvoVoltsA", "NVO", "Multimeter", "MultiMeter", nvo(20), yes, "", "SNVT_volt_f", none},
    {"nvoVoltsB", "NVO", "Multimeter", "MultiMeter", nvo(21), yes, "", "SNVT_volt_f", none},
    {"nvoVoltsC", "NVO", "Multimeter", "MultiMeter", nvo(22), yes, "", "SNVT_volt_f", none},
    {"nvoFreq", "NVO", "Multimeter", "MultiMeter", nvo(23), yes, "", "SNVT_freq_f", none},
    {"nvoCurrentA", "NVO", "Multimeter", "MultiMeter", nvo(24), yes, "", "SNVT_amp_f", none},
    {"nvoCurrentB", "NVO", "Multimeter", "MultiMeter", nvo(25), yes, "", "SNVT_amp_f", none},
    {"nvoCurrentC", "NVO", "Multimeter", "MultiMeter", nvo(26), yes, "", "SNVT_amp_f", none},
    {"nciMeterSendTime", "CP", "Multimeter", "MultiMeter", cp(9), no, "F:4/C:0:22", "SCPTmaxSndT", none},
    {"nvoPfAvg", "NVO", "Power Factor", "PowerFactor", nvo(29), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfA", "NVO", "Power Factor", "PowerFactor", nvo(28), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfB", "NVO", "Power Factor", "PowerFactor", nvo(27), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfC", "NVO", "Power Factor", "PowerFactor", nvo(0), yes, "", "SNVT_pwr_fact_f", none},
    {"nciPfSendTime", "CP", "Power Factor", "PowerFactor", cp(13), no, "F:5/C:0:22", "SCPTmaxSndT", none},
};

constexpr const char *kKwhL = "SNVT_elec_kwh_l";

// Family 363 with both optional rows ("nciLogMinutes" and the last, "UCPTptRatio").
const CatalogueRow k363Rows[] = {
    {"SCPTlocation", "CP", "Info", "NodeObject", cp(0), no, "F:0/C:0:17", "SCPTlocation", none},
    {"SCPTdevMajVer", "CP", "Info", "NodeObject", cp(1), no, "F:0/C:0:165", "SCPTdevMajVer", none},
    {"SCPTdevMinVer", "CP", "Info", "NodeObject", cp(2), no, "F:0/C:0:166", "SCPTdevMinVer", none},
    {"UCPTmodel", "CP", "Info", "NodeObject", cp(5), no, "F:0/C:3:2", "UCPTmodel", none},
    {"UCPTserialNumber", "CP", "Info", "NodeObject", cp(3), no, "F:0/C:3:23", "UCPTserialNumber", none},
    {"UCPTnominalVolt", "CP", "Info", "TellumicCal", cp(4), no, "F:1/C:3:4", "UCPTnominalVolt", none},
    {"SCPTmaxSndT", "CP", "Info", "EnergySum", cp(6), no, "N:nvoEnergySum/C:0:22", "SCPTmaxSndT", none},
    {"nviTimeSet", "NVI", "Info", "NodeObject", nvi(0), yes, "", "SNVT_time_stamp", none},
    {"nciCtAmps", "NVI", "Info", "NodeObject", nvi(1), yes, "", "SNVT_amps_ac", none},
    {"nciLogMinutes", "NVI", "Logging", "NodeObject", nvi(2), yes, "", "SNVT_count", none},
    {"nvoPowerSum", "NVO", "Power", "PowerSum", nvo(1), yes, "", kPowerF, pwr(0)},
    {"nvoPowerA", "NVO", "Power", "PowerA", nvo(2), yes, "", kPowerF, pwr(1)},
    {"nvoPowerB", "NVO", "Power", "PowerB", nvo(3), yes, "", kPowerF, pwr(2)},
    {"nvoPowerC", "NVO", "Power", "PowerC", nvo(4), yes, "", kPowerF, pwr(3)},
    {"nvoReacPwrSum", "NVO", "Power", "ReacPwrSum", nvo(8), yes, "", kPowerF, reac(0)},
    {"nvoReacPwrA", "NVO", "Power", "ReacPwrA", nvo(11), yes, "", kPowerF, reac(1)},
    {"nvoReacPwrB", "NVO", "Power", "ReacPwrB", nvo(10), yes, "", kPowerF, reac(2)},
    {"nvoReacPwrC", "NVO", "Power", "ReacPwrC", nvo(9), yes, "", kPowerF, reac(3)},
    {"nvoEnergySum", "NVO", "Energy", "EnergySum", nvo(12), no, "", kKwhL, none},
    {"nvoEngyPosSum", "NVO", "Energy", "EngyPosSum", nvo(13), no, "", kKwhL, none},
    {"nvoEnergySumNR", "NVO", "Energy", "EnergySumNR", nvo(14), no, "", kKwhL, none},
    {"nvoEngyPosSumNR", "NVO", "Energy", "EngyPosSumNR", nvo(15), no, "", kKwhL, none},
    {"nvoReacEngySum", "NVO", "Energy", "ReacEngySum", nvo(16), no, "", kKwhL, none},
    {"nvoEnergyA", "NVO", "Energy", "EnergyA", nvo(17), no, "", kKwhL, none},
    {"nvoEnergyB", "NVO", "Energy", "EnergyB", nvo(18), no, "", kKwhL, none},
    {"nvoEnergyC", "NVO", "Energy", "EnergyC", nvo(19), no, "", kKwhL, none},
    {"nvoDemand", "NVO", "Demand", "DemandMeas", nvo(5), yes, "", kPowerF, dem(0)},
    {"nvoDemandPk", "NVO", "Demand", "DemandMeas", nvo(6), yes, "", kPowerF, dem(1)},
    {"nvoPeakDemT", "NVO", "Demand", "DemandMeas", nvo(7), yes, "", "SNVT_time_stamp", none},
    {"nciDemPerMins", "NVI", "Demand", "DemandMeas", nvi(3), yes, "", "SNVT_count", none},
    {"nciDemSubints", "NVI", "Demand", "DemandMeas", nvi(4), yes, "", "SNVT_count", none},
    {"nvoVoltsA", "NVO", "Multimeter", "VoltsA", nvo(20), yes, "", "SNVT_volt_f", none},
    {"nvoVoltsB", "NVO", "Multimeter", "VoltsB", nvo(21), yes, "", "SNVT_volt_f", none},
    {"nvoVoltsC", "NVO", "Multimeter", "VoltsC", nvo(22), yes, "", "SNVT_volt_f", none},
    {"nvoFreq", "NVO", "Multimeter", "Frequency", nvo(23), yes, "", "SNVT_freq_f", none},
    {"nvoCurrentA", "NVO", "Multimeter", "CurrentA", nvo(24), yes, "", "SNVT_amp_f", none},
    {"nvoCurrentB", "NVO", "Multimeter", "CurrentB", nvo(25), yes, "", "SNVT_amp_f", none},
    {"nvoCurrentC", "NVO", "Multimeter", "CurrentC", nvo(26), yes, "", "SNVT_amp_f", none},
    {"nvoPfAvg", "NVO", "Power Factor", "PowerFactorAvg", nvo(29), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfA", "NVO", "Power Factor", "PowerFactorA", nvo(28), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfB", "NVO", "Power Factor", "PowerFactorB", nvo(27), yes, "", "SNVT_pwr_fact_f", none},
    {"nvoPfC", "NVO", "Power Factor", "PowerFactorC", nvo(0), yes, "", "SNVT_pwr_fact_f", none},
    {"UCPTptRatio", "CP", "Info", "NodeObject", cp(10), no, "F:0/C:3:3", "UCPTptRatio", none},
};

}  // namespace

std::vector<CatalogueRow> familyRows(CatalogueFamilyRows family, bool includeLogging, bool includePtRatio)
{
    std::vector<CatalogueRow> rows;
    switch (family) {
    case CatalogueFamilyRows::F302:
    case CatalogueFamilyRows::F312: {
        const bool is312 = family == CatalogueFamilyRows::F312;
        for (const auto &r : kBasicRows) {
            const char *name = (is312 && std::strcmp(r.name, "nciCtAmps_f") == 0) ? "nciCtAmps" : r.name;
            rows.push_back({name, r.kind, r.tab, "", r.value, r.monitored, "", is312 ? r.type312 : r.type302, r.unit});
        }
        break;
    }
    case CatalogueFamilyRows::F362:
        rows.assign(std::begin(k362Rows), std::end(k362Rows));
        break;
    case CatalogueFamilyRows::F363:
        for (const auto &r : k363Rows) {
            if (!includeLogging && std::strcmp(r.name, "nciLogMinutes") == 0)
                continue;
            if (!includePtRatio && std::strcmp(r.name, "UCPTptRatio") == 0)
                continue;
            rows.push_back(r);
        }
        break;
    }
    return rows;
}

}  // namespace tellumic
