#include "nvtype/nv_type_tables.h"

#include <array>

namespace tellumic {

namespace {

using sv = std::string_view;

constexpr sv kInitial = kInitialNvTypeText;

constexpr std::array kEnergyTypes = {
    NvTypeChoice{kInitial, "SNVT_elec_whr_f", "SNVT_elec_whr_f"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0",
                 "SNVT_elec_kwh_l", "SNVT_elec_kwh_l"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 13, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0",
                 "SNVT_elec_kwh", "SNVT_elec_kwh"},
    NvTypeChoice{"PID 80:B7:E5:0:0:0:0:0, Scope 3, Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0",
                 "UNVT_elec_kwh_l", "UNVT_elec_kwh_l"},
};

// Real power, demand and reactive power share one set. Its formats ask for SI units.
constexpr std::array kPowerTypes = {
    NvTypeChoice{kInitial, "SNVT_power_f", "SNVT_power_f#SI"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 27, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0", "SNVT_power",
                 "SNVT_power#SI"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0",
                 "SNVT_power_kilo", "SNVT_power_kilo"},
};

// Voltage, frequency and current name their float type explicitly.
constexpr std::array kVoltTypes = {
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 66, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0", "SNVT_volt_f",
                 "SNVT_volt_f"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 44, NVT_CAT_SIGNED_LONG, 2 bytes, A=1, B=-1, C=0", "SNVT_volt",
                 "SNVT_volt"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 138, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0",
                 "SNVT_volt_ac", "SNVT_volt_ac"},
};

constexpr std::array kFreqTypes = {
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 75, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0", "SNVT_freq_f",
                 "SNVT_freq_f"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 76, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0",
                 "SNVT_freq_hz", "SNVT_freq_hz"},
};

constexpr std::array kCurrentTypes = {
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 48, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0", "SNVT_amp_f",
                 "SNVT_amp_f"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 1, NVT_CAT_SIGNED_LONG, 2 bytes, A=1, B=-1, C=0", "SNVT_amp",
                 "SNVT_amp"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 139, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0",
                 "SNVT_amp_ac", "SNVT_amp_ac"},
};

constexpr std::array kPowerFactTypes = {
    NvTypeChoice{kInitial, "SNVT_pwr_fact_f", "SNVT_pwr_fact_f"},
    NvTypeChoice{"PID 0:0:0:0:0:0:0:0, Scope 0, Index 98, NVT_CAT_SIGNED_LONG, 2 bytes, A=5, B=-5, C=0",
                 "SNVT_pwr_fact", "SNVT_pwr_fact"},
};

constexpr std::array<sv, 8> kEnergyNvs = {"nvoEnergySum", "nvoEnergySumNR", "nvoEngyPosSum", "nvoEngyPosSumNR",
                                          "nvoEnergyA",   "nvoEnergyB",     "nvoEnergyC",    "nvoReacEngySum"};
constexpr std::array<sv, 4> kPowerNvs = {"nvoPowerSum", "nvoPowerA", "nvoPowerB", "nvoPowerC"};
constexpr std::array<sv, 2> kDemandNvs = {"nvoDemand", "nvoDemandPk"};
constexpr std::array<sv, 4> kReacPwrNvs = {"nvoReacPwrSum", "nvoReacPwrA", "nvoReacPwrB", "nvoReacPwrC"};
constexpr std::array<sv, 3> kVoltNvs = {"nvoVoltsA", "nvoVoltsB", "nvoVoltsC"};
constexpr std::array<sv, 1> kFreqNvs = {"nvoFreq"};
constexpr std::array<sv, 3> kCurrentNvs = {"nvoCurrentA", "nvoCurrentB", "nvoCurrentC"};
constexpr std::array<sv, 4> kPowerFactNvs = {"nvoPfAvg", "nvoPfA", "nvoPfB", "nvoPfC"};

constexpr std::array kGroups = {
    NvTypeGroup{"ChangeEnergyType", kEnergyNvs, "N:nvoEnergySum/C:0:254", kEnergyTypes, "Invalid energy type specified",
                "Changing nvoEnergyXXX types to: ", "Changed energy types to "},
    NvTypeGroup{"ChangePowerType", kPowerNvs, "N:nvoPowerSum/C:0:254", kPowerTypes, "Invalid power type specified",
                "Changing nvoPowerXXX types to: ", "Changed power types to ", true},
    NvTypeGroup{"ChangeDemandType", kDemandNvs, "N:nvoDemand/C:0:254", kPowerTypes,
                "Invalid demand power type specified", "Changing nvoDemandXXX types to: ",
                "Changed demand power types to "},
    NvTypeGroup{"ChangeReacPwrType", kReacPwrNvs, "N:nvoReacPwrSum/C:0:254", kPowerTypes,
                "Invalid reactive power type specified", "Changing nvoReacPwrXXX types to: ",
                "Changed reactive power types to "},
    NvTypeGroup{"ChangeVoltType", kVoltNvs, "N:nvoVoltsA/C:0:254", kVoltTypes, "Invalid voltage type specified",
                "Changing nvoVoltXXX types to: ", "Changed volt types to "},
    NvTypeGroup{"ChangeFreqType", kFreqNvs, "N:nvoFreq/C:0:254", kFreqTypes, "Invalid frequency type specified",
                "Changing nvoFreq type to: ", "Changed frequency type to "},
    NvTypeGroup{"ChangeCurrentType", kCurrentNvs, "N:nvoCurrentA/C:0:254", kCurrentTypes,
                "Invalid current type specified", "Changing nvoCurrentXXX types to: ", "Changed current types to "},
    NvTypeGroup{"ChangePowerFactType", kPowerFactNvs, "N:nvoPfAvg/C:0:254", kPowerFactTypes,
                "Invalid power factor type specified", "Changing nvoPfXXX types to: ", "Changed power factor types to "},
};

constexpr std::array<sv, 4> kEnergyEntries = {"SNVT_elec_whr_f (default)", "SNVT_elec_kwh_l (Integer)",
                                              "SNVT_elec_kwh (Integer)", "UNVT_elec_kwh_l (Integer)"};
constexpr std::array<sv, 3> kPowerEntries = {"SNVT_power_f (default)", "SNVT_power (Integer)",
                                             "SNVT_power_kilo (Integer)"};
constexpr std::array<sv, 3> kVoltEntries = {"SNVT_volt_f (default)", "SNVT_volt (Integer)", "SNVT_volt_ac (Integer)"};
constexpr std::array<sv, 2> kFreqEntries = {"SNVT_freq_f (default)", "SNVT_freq_hz (Integer)"};
constexpr std::array<sv, 3> kCurrentEntries = {"SNVT_amp_f (default)", "SNVT_amp (Integer)", "SNVT_amp_ac (Integer)"};
constexpr std::array<sv, 2> kPowerFactEntries = {"SNVT_pwr_fact_f (default)", "SNVT_pwr_fact (Integer)"};

// The float types' own texts, which a meter may report for its default.
constexpr sv kEnergyFloat = "PID 0:0:0:0:0:0:0:0, Scope 0, Index 68, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0";
constexpr sv kPowerFloat = "PID 0:0:0:0:0:0:0:0, Scope 0, Index 57, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0";
constexpr sv kPowerFactFloat = "PID 0:0:0:0:0:0:0:0, Scope 0, Index 99, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0";

const std::array kLists = {
    NvTypeList{"cboEnergyNvType", "Energy", kGroups[0], kEnergyEntries, kEnergyFloat},
    NvTypeList{"cboPowerNvType", "Real power", kGroups[1], kPowerEntries, kPowerFloat},
    NvTypeList{"cboDemandNvType", "Demand", kGroups[2], kPowerEntries, kPowerFloat},
    NvTypeList{"cboReacPwrNvType", "Reactive power", kGroups[3], kPowerEntries, kPowerFloat},
    NvTypeList{"cboVoltsNvType", "Voltage", kGroups[4], kVoltEntries, kVoltTypes[0].nvTypeText},
    NvTypeList{"cboFreqNvType", "Frequency", kGroups[5], kFreqEntries, kFreqTypes[0].nvTypeText},
    NvTypeList{"cboCurrentNvType", "Current", kGroups[6], kCurrentEntries, kCurrentTypes[0].nvTypeText},
    NvTypeList{"cboPowerFactNvType", "Power factor", kGroups[7], kPowerFactEntries, kPowerFactFloat},
};

}  // namespace

std::span<const NvTypeGroup> nvTypeGroups()
{
    return kGroups;
}

std::span<const NvTypeList> nvTypeLists()
{
    return kLists;
}

int recognisedIndex(const NvTypeList &list, std::string_view text)
{
    if (text.find("NVT_CAT_INITIAL") != std::string_view::npos || text == list.defaultText)
        return 0;
    const auto types = list.group.types;
    for (std::size_t k = 1; k < types.size() && k < list.entries.size(); ++k)
        if (text == types[k].nvTypeText)
            return static_cast<int>(k);
    return -1;
}

}  // namespace tellumic
