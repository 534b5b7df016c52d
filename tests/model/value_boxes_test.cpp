#include <gtest/gtest.h>

#include <map>

#include "model/nv_cp.h"
#include "model/value_boxes.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class RecordingView final : public ValueView
{
public:
    void setControlText(ControlRef control, const std::string &text) override { texts[control] = text; }
    std::string controlText(ControlRef control) const override
    {
        const auto it = texts.find(control);
        return it == texts.end() ? std::string() : it->second;
    }
    std::map<ControlRef, std::string> texts;
};

NvCp entry(const char *name, const char *type, ControlRef box, ControlRef unit = {})
{
    NvCp e;
    e.Name = name;
    e.TypeName = type;
    e.ValueCtl = box;
    e.UnitCtl = unit;
    return e;
}

struct BoxCase
{
    const char *name;
    const char *type;
    const char *value;
    const char *format;
    const char *shown;
    const char *unit;  // "" when no unit label
};

class FormatSnvtTest : public ::testing::TestWithParam<BoxCase>
{
protected:
    void SetUp() override { MeterState() = "Cnfg Online"; }
};

TEST_P(FormatSnvtTest, WritesTheBoxAndUnit)
{
    const auto &c = GetParam();
    RecordingView view;
    const ControlRef box{ControlArray::txtNvo, 1};
    const ControlRef unit{ControlArray::lblPowerType, 0};
    std::string format = c.format;
    FormatSnvt(view, entry(c.name, c.type, box, *c.unit ? unit : ControlRef{}), c.value, format);
    EXPECT_EQ(view.controlText(box), c.shown);
    EXPECT_EQ(view.controlText(unit), c.unit);
}

INSTANTIATE_TEST_SUITE_P(
    Types, FormatSnvtTest,
    ::testing::Values(BoxCase{"nvoPowerSum", "SNVT_power_f#SI", "1250.5", "SNVT_power_f#SI", "1,250.5", "W"},
                      BoxCase{"nvoReacPwrSum", "SNVT_power_kilo", "12.34", "SNVT_power_kilo", "12.3", "kVAR"},
                      BoxCase{"nvoReacPwrA", "SNVT_power_f#SI", "-5", "SNVT_power_f#SI", "-5.00", "VAR"},
                      BoxCase{"nvoDemand", "SNVT_power_f#SI", "999.994", "SNVT_power_f#SI", "999.99", "W"},
                      // After a type change the NV's format, not the catalogue's type, names the unit.
                      BoxCase{"nvoPowerSum", "SNVT_power_f#SI", "12.3", "SNVT_power_kilo", "12.3", "kW"},
                      BoxCase{"nvoReacPwrB", "SNVT_power_f#SI", "6553.5", "SNVT_power#SI", "6,553.5", "VAR"},
                      BoxCase{"nvoPeakDemT", "SNVT_time_stamp", "11-3-5 1:2:3", "SNVT_time_stamp", "2011-03-05 01:02:03", ""},
                      BoxCase{"nvoEnergySum", "SNVT_elec_whr_f", "0\t0\t39\t16", "RAW", "1,000.0", ""},
                      BoxCase{"nvoEnergySum", "SNVT_elec_whr_f", "1256789", "SNVT_elec_whr_f", "1,256.79", ""},
                      BoxCase{"nvoVoltsA", "SNVT_volt_f", "230.44", "SNVT_volt_f", "230.4", ""},
                      BoxCase{"nvoFreq", "SNVT_freq_hz", "50.04", "SNVT_freq_hz", "50.0", ""},
                      BoxCase{"nvoCurrentA", "SNVT_amp_f", "12.345", "SNVT_amp_f", "12.35", ""},
                      BoxCase{"nvoPfA", "SNVT_pwr_fact_f", "0.9", "SNVT_pwr_fact_f", "0.900", ""},
                      BoxCase{"nciPwrUpdtT", "SNVT_elapsed_tm", "0 0:5:0:0", "SNVT_elapsed_tm", "300", ""},
                      BoxCase{"nciDemPerMins", "SNVT_count", "15", "SNVT_count", "15", ""},
                      BoxCase{"nvoEnergySum", "SNVT_elec_kwh_l", "1234.5", "SNVT_elec_kwh_l", "1234.5", ""}));

TEST(MeterStateTest, OtherStatesShowTheStateInsteadOfTheValue)
{
    RecordingView view;
    const ControlRef box{ControlArray::txtNvo, 23};
    std::string format = "SNVT_freq_f";
    const auto e = entry("nvoFreq", "SNVT_freq_f", box);
    for (const auto &[state, shown] : std::vector<std::pair<std::string, std::string>>{
             {"Offline", "Offline"}, {"Offnet", "50.00"}, {"Cnfg Online", "50.00"}, {"Uncommissioned", "Uncommissioned"}}) {
        MeterState() = state;
        FormatSnvt(view, e, "50", format);
        EXPECT_EQ(view.controlText(box), shown) << state;
    }
    MeterState() = "Cnfg Online";
}

TEST(FormatCpTest, SendTimesInSecondsAndThePtPrimaryFromTheNominalVoltage)
{
    RecordingView view;
    auto sendTime = entry("nciPowerSendTime", "SCPTmaxSndT", {ControlArray::txtCp, 8});
    sendTime.Value = "0 0:5:0:0";
    FormatCp(view, sendTime);
    EXPECT_EQ(view.controlText({ControlArray::txtCp, 8}), "300");

    auto ratio = entry("UCPTptRatio", "UCPTptRatio", {ControlArray::txtCp, 10});
    ratio.Value = "120";
    FormatCp(view, ratio);
    EXPECT_EQ(view.controlText({ControlArray::txtCp, 10}), "120");
    EXPECT_EQ(view.controlText({ControlArray::txtPtPrimary, 0}), "");  // no nominal voltage yet
    view.setControlText({ControlArray::txtCp, 4}, "115.5");
    FormatCp(view, ratio);
    EXPECT_EQ(view.controlText({ControlArray::txtPtPrimary, 0}), "13860");
}

TEST(SetUnitLabelTest, OnlyPowerTypesChangeTheCaption)
{
    RecordingView view;
    const ControlRef unit{ControlArray::lblDemandType, 0};
    view.setControlText(unit, "old");
    SetUnitLabel(view, entry("nvoDemand", "SNVT_power_f#SI", {ControlArray::txtNvo, 5}, unit));
    EXPECT_EQ(view.controlText(unit), "W");
    SetUnitLabel(view, entry("nvoReacPwrSum", "SNVT_power_kilo", {ControlArray::txtNvo, 8}, unit));
    EXPECT_EQ(view.controlText(unit), "kVAR");
    SetUnitLabel(view, entry("nvoDemand", "SNVT_count", {ControlArray::txtNvo, 5}, unit));
    EXPECT_EQ(view.controlText(unit), "kVAR");
}

}  // namespace
}  // namespace tellumic
