#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

// What the device window and the calibration window look up on a meter, per family.
struct Family
{
    const char *device;
    std::vector<std::string> nvs;  // "name type"
    std::vector<std::string> cps;  // CP addresses, "F:n/C:s:i" or "N:name/C:s:i"
    std::string calBlock;          // "" when the family has no calibration block
    std::string identityBlock;     // where model, serial number and CT rating sit
};

std::vector<std::string> tmbNvs(bool floats)
{
    const std::string p = floats ? "SNVT_power_f" : "SNVT_power_kilo", e = floats ? "SNVT_elec_whr_f" : "SNVT_elec_kwh",
                      v = floats ? "SNVT_volt_f" : "SNVT_volt", a = floats ? "SNVT_amp_f" : "SNVT_amp",
                      f = floats ? "SNVT_pwr_fact_f" : "SNVT_pwr_fact";
    return {"nviTimeSet SNVT_time_stamp", floats ? "nciCtAmps_f SNVT_amps_f" : "nciCtAmps SNVT_amp", "nvoPowerSum " + p,
            "nvoPower[0] " + p, "nvoPower[1] " + p, "nvoPower[2] " + p, "nvoReacPwrSum " + p, "nvoReacPwr[0] " + p,
            "nvoReacPwr[1] " + p, "nvoReacPwr[2] " + p, "nciPwrUpdtT SNVT_elapsed_tm", "nciReacUpdtT SNVT_elapsed_tm",
            "nvoEnergySum " + e, "nvoReacEngySum " + e, "nvoEnergy[0] " + e, "nvoEnergy[1] " + e, "nvoEnergy[2] " + e,
            "nciEngyUpdtT SNVT_elapsed_tm", "nvoDemand " + p, "nvoPkDemand " + p, "nvoPeakDemT SNVT_time_stamp",
            "nciDemPerMins SNVT_count", "nciDemSubints SNVT_count", "nvoVolts[0] " + v, "nvoVolts[1] " + v, "nvoVolts[2] " + v,
            std::string("nvoFreq ") + (floats ? "SNVT_freq_f" : "SNVT_freq_hz"), "nvoCurrent[0] " + a, "nvoCurrent[1] " + a,
            "nvoCurrent[2] " + a, "nvoPFavg " + f, "nvoPF[0] " + f, "nvoPF[1] " + f, "nvoPF[2] " + f,
            "nviLogRequest SNVT_count", "nviResetEnergy SNVT_count", "nviCalSel SNVT_count"};
}

std::vector<std::string> floatNvs(const std::string &energy, bool logging)
{
    std::vector<std::string> nvs{"nviTimeSet SNVT_time_stamp", "nciCtAmps SNVT_amps_ac", "nviResetEnergy SNVT_count",
                                 "nviResetPkDemand SNVT_count", "nciDemPerMins SNVT_count", "nciDemSubints SNVT_count",
                                 "nvoPeakDemT SNVT_time_stamp"};
    if (logging)
        nvs.push_back("nciLogMinutes SNVT_count");
    for (const char *n : {"nvoPowerSum", "nvoPowerA", "nvoPowerB", "nvoPowerC", "nvoReacPwrSum", "nvoReacPwrA", "nvoReacPwrB",
                          "nvoReacPwrC", "nvoDemand", "nvoDemandPk"})
        nvs.push_back(std::string(n) + " SNVT_power_f");
    for (const char *n : {"nvoEnergySum", "nvoEngyPosSum", "nvoEnergySumNR", "nvoEngyPosSumNR", "nvoReacEngySum", "nvoEnergyA",
                          "nvoEnergyB", "nvoEnergyC"})
        nvs.push_back(std::string(n) + " " + energy);
    for (const char *n : {"nvoVoltsA", "nvoVoltsB", "nvoVoltsC"})
        nvs.push_back(std::string(n) + " SNVT_volt_f");
    for (const char *n : {"nvoCurrentA", "nvoCurrentB", "nvoCurrentC"})
        nvs.push_back(std::string(n) + " SNVT_amp_f");
    for (const char *n : {"nvoPfAvg", "nvoPfA", "nvoPfB", "nvoPfC"})
        nvs.push_back(std::string(n) + " SNVT_pwr_fact_f");
    nvs.push_back("nvoFreq SNVT_freq_f");
    return nvs;
}

const std::vector<std::string> kTypeCps = {"N:nvoEnergySum/C:0:254", "N:nvoPowerSum/C:0:254", "N:nvoDemand/C:0:254",
                                           "N:nvoReacPwrSum/C:0:254", "N:nvoVoltsA/C:0:254", "N:nvoFreq/C:0:254",
                                           "N:nvoCurrentA/C:0:254", "N:nvoPfAvg/C:0:254"};

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> k363Cps = plus({"F:0/C:0:17", "F:0/C:0:165", "F:0/C:0:166", "F:0/C:3:2", "F:0/C:3:23",
                                               "F:1/C:3:4", "N:nvoEnergySum/C:0:22"},
                                              kTypeCps);

class MeterInterface : public SimTest, public ::testing::WithParamInterface<Family>
{
};

// The CP an address names, or nullptr.
std::shared_ptr<lns::Cp> cpAt(const std::shared_ptr<lns::AppDevice> &d, const std::string &address)
{
    const auto slash = address.find('/');
    const auto scopeIndex = address.substr(slash + 3);
    auto cps = address[0] == 'F' ? d->GetInterface()->FunctionalBlocks().Item(std::stoi(address.substr(2, slash - 2)) + 1)->Cps()
                                 : d->GetInterface()->Nvs().Item(address.substr(2, slash - 2))->Cps();
    for (std::int32_t i = 1; i <= cps.Count(); ++i) {
        auto cp = cps.Item(i);
        if (std::to_string(cp->ResourceScope()) + ":" + std::to_string(cp->TypeIndex()) == scopeIndex)
            return cp;
    }
    return nullptr;
}

TEST_P(MeterInterface, NamesAndAddressesResolve)
{
    const auto &f = GetParam();
    auto d = device(f.device);
    for (const auto &entry : f.nvs) {
        const auto name = entry.substr(0, entry.find(' '));
        std::shared_ptr<lns::Nv> v;
        ASSERT_NO_THROW(v = nv(name, d)) << name;
        EXPECT_EQ(v->FormatSpec(), entry.substr(entry.find(' ') + 1)) << name;
    }
    for (const auto &address : f.cps)
        EXPECT_NE(cpAt(d, address), nullptr) << address;
    const auto blocks = d->GetInterface()->FunctionalBlocks();
    if (!f.calBlock.empty()) {
        auto cal = blocks.Item(f.calBlock)->Cps();
        for (const char *n : {"UCPTcalPowerA", "UCPTcalPowerB", "UCPTcalPowerC", "UCPTcalReactiveA", "UCPTcalReactiveB",
                              "UCPTcalReactiveC", "UCPTcalVoltA", "UCPTcalVoltB", "UCPTcalVoltC", "UCPTphaseAdjA",
                              "UCPTphaseAdjB", "UCPTphaseAdjC", "UCPTnominalVolt", "UCPTminVolt", "UCPTcreepLimit",
                              "UCPTfactoryCommand"})
            EXPECT_NO_THROW(cal.Item(n)) << n;
        auto identity = blocks.Item(f.identityBlock)->Cps();
        for (const char *n : {"UCPTmodel", "UCPTserialNumber", "UCPTctAmps"})
            EXPECT_NO_THROW(identity.Item(n)) << n;
    }
    EXPECT_EQ(blocks.Item(1)->Name(), "NodeObject");
}

INSTANTIATE_TEST_SUITE_P(
    Families, MeterInterface,
    ::testing::Values(Family{"TMB-FT-Plus-208", tmbNvs(true), {}, "", ""}, Family{"TMC-FT-B-303", tmbNvs(true), {}, "", ""},
                      Family{"TMB-FT-Int-211", tmbNvs(false), {}, "", ""}, Family{"TMC-FT-BI-313", tmbNvs(false), {}, "", ""},
                      Family{"TMC-FT-362", floatNvs("SNVT_elec_whr_f", true),
                             plus({"F:0/C:0:17", "F:0/C:0:165", "F:0/C:0:166", "F:1/C:3:2", "F:1/C:3:23", "F:1/C:3:4",
                                   "F:6/C:0:22", "F:7/C:0:22", "F:3/C:0:22", "F:4/C:0:22", "F:5/C:0:22"},
                                  kTypeCps),
                             "TellumicConfig", "TellumicConfig"},
                      Family{"TMC-FT-Plus-333", floatNvs("SNVT_elec_kwh_l", false), k363Cps, "TellumicCal", "NodeObject"},
                      Family{"TMC-FT-Log-364", floatNvs("SNVT_elec_kwh_l", true), k363Cps, "TellumicCal", "NodeObject"},
                      Family{"TMC-FT-Plus-PT-340", floatNvs("SNVT_elec_kwh_l", false), plus(k363Cps, {"F:0/C:3:3"}),
                             "TellumicCal", "NodeObject"},
                      Family{"TMC-FT-Log-PT-370", floatNvs("SNVT_elec_kwh_l", true), plus(k363Cps, {"F:0/C:3:3"}),
                             "TellumicCal", "NodeObject"}));

TEST_F(SimTest, BlockNumbersOfFamily362CountAsTheSendTimesExpect)
{
    const auto blocks = device("TMC-FT-362")->GetInterface()->FunctionalBlocks();
    EXPECT_EQ(blocks.Item(2)->Name(), "TellumicConfig");
    EXPECT_EQ(blocks.Item(4)->Name(), "EnergyMeas");
    EXPECT_EQ(blocks.Item(5)->Name(), "MultiMeter");
    EXPECT_EQ(blocks.Item(6)->Name(), "PowerFactor");
    EXPECT_EQ(blocks.Item(7)->Name(), "PowerMeas");
    EXPECT_EQ(blocks.Item(8)->Name(), "ReactiveMeas");
    EXPECT_THROW(cpAt(device("TMC-FT-362"), "F:8/C:0:22"), RuntimeError) << "no block beyond the last";
}

TEST_F(SimTest, FirmwareVersionBehindCalSel)
{
    auto d = device("TMB-FT-Plus-208");
    nv("nviCalSel", d)->SetValue("24");
    EXPECT_EQ(nv("nviCal", d)->Value(), "3.03");
    nv("nviCalSel", d)->SetValue("0");
    EXPECT_EQ(nv("nviCal", d)->Value(), "0");
}

}  // namespace
}  // namespace tellumic::sim::test
