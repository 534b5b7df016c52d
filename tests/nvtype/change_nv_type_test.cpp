// The eight type-change procedures, run as actions of the device window's queue against a
// simulated 363 meter.

#include <gtest/gtest.h>

#include "tests/nvtype/type_change_fixture.h"

namespace tellumic::test {
namespace {

const std::vector<std::string> kEnergyNvs = {"nvoEnergySum", "nvoEnergySumNR", "nvoEngyPosSum", "nvoEngyPosSumNR",
                                             "nvoEnergyA",   "nvoEnergyB",     "nvoEnergyC",    "nvoReacEngySum"};
const std::vector<std::string> kPowerNvs = {"nvoPowerSum", "nvoPowerA", "nvoPowerB", "nvoPowerC"};

struct Procedure
{
    std::string name;
    std::string before;  // an action that puts the group in another type first, or ""
    std::string action;
    std::vector<std::string> nvs;  // the group's NVs
    std::string format;            // their format afterwards; "" for unchanged
    std::string group;             // the group's first NV, whose SCPTnvType is written
    std::string written;           // "" when nothing is written
    std::string status;            // "" when the status line is left alone
    std::string logLine;           // the event log's new line, "Info<TAB>..." or "Error<TAB>..."
};

void PrintTo(const Procedure &p, std::ostream *os)
{
    *os << p.action;
}

class ProcedureTest : public TypeChangeTest, public ::testing::WithParamInterface<Procedure>
{
};

TEST_P(ProcedureTest, SetsTheFormatsThenWritesTheGroupsTypeOnce)
{
    const auto &row = GetParam();
    if (!row.before.empty())
        window->queue().ExecuteLnsAction(row.before);
    std::vector<std::string> formats;
    for (const auto &name : row.nvs)
        formats.push_back(nv(name)->FormatSpec());
    auto texts = typeTexts();
    const QString statusBefore = status();
    const int lines = static_cast<int>(logLines().size());

    window->queue().ExecuteLnsAction(row.action);

    EXPECT_TRUE(home.dialogs.shown().empty()) << home.dialogs.shown().front().text;
    for (std::size_t i = 0; i < row.nvs.size(); ++i)
        EXPECT_EQ(nv(row.nvs[i])->FormatSpec(), row.format.empty() ? formats[i] : row.format) << row.nvs[i];
    if (!row.written.empty())
        texts[row.group] = row.written;
    EXPECT_EQ(typeTexts(), texts) << "one write, to the group's own SCPTnvType";
    EXPECT_EQ(status(), row.status.empty() ? statusBefore : QString::fromStdString(row.status));
    ASSERT_EQ(logLines().size(), lines + 1);
    EXPECT_EQ(lastLogLine(), QString::fromStdString(row.logLine));
}

const std::string kUnvt = "PID 80:B7:E5:0:0:0:0:0, Scope 3, Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0";
const std::string kKilo = pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0");

INSTANTIATE_TEST_SUITE_P(
    Groups, ProcedureTest,
    ::testing::Values(
        Procedure{"EnergyChoice3", "", "ChangeEnergyType,3", kEnergyNvs, "UNVT_elec_kwh_l", "nvoEnergySum", kUnvt,
                  "Changing nvoEnergyXXX types to: UNVT_elec_kwh_l...", "Info\tChanged energy types to UNVT_elec_kwh_l"},
        Procedure{"PowerChoice0", "ChangePowerType,2", "ChangePowerType,0", kPowerNvs, "SNVT_power_f#SI", "nvoPowerSum",
                  kInitialText, "Changing nvoPowerXXX types to: SNVT_power_f...", "Info\tChanged power types to SNVT_power_f"},
        Procedure{"VoltChoice0", "ChangeVoltType,1", "ChangeVoltType,0", {"nvoVoltsA", "nvoVoltsB", "nvoVoltsC"}, "SNVT_volt_f",
                  "nvoVoltsA", pid0("Index 66, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"),
                  "Changing nvoVoltXXX types to: SNVT_volt_f...", "Info\tChanged volt types to SNVT_volt_f"},
        Procedure{"DemandChoice2", "", "ChangeDemandType,2", {"nvoDemand", "nvoDemandPk"}, "SNVT_power_kilo", "nvoDemand",
                  kKilo, "Changing nvoDemandXXX types to: SNVT_power_kilo...",
                  "Info\tChanged demand power types to SNVT_power_kilo"},
        Procedure{"ReactiveChoice1", "", "ChangeReacPwrType,1",
                  {"nvoReacPwrSum", "nvoReacPwrA", "nvoReacPwrB", "nvoReacPwrC"}, "SNVT_power#SI", "nvoReacPwrSum",
                  pid0("Index 27, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"),
                  "Changing nvoReacPwrXXX types to: SNVT_power...", "Info\tChanged reactive power types to SNVT_power"},
        Procedure{"FrequencyChoice1", "", "ChangeFreqType,1", {"nvoFreq"}, "SNVT_freq_hz", "nvoFreq",
                  pid0("Index 76, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"),
                  "Changing nvoFreq type to: SNVT_freq_hz...", "Info\tChanged frequency type to SNVT_freq_hz"},
        // Choices outside a set: an error entry, and nothing written, changed or shown.
        Procedure{"FrequencyChoice2", "", "ChangeFreqType,2", {"nvoFreq"}, "", "", "", "",
                  "Error\tInvalid frequency type specified"},
        Procedure{"PowerFactorChoice2", "", "ChangePowerFactType,2", {"nvoPfAvg", "nvoPfA"}, "", "", "", "",
                  "Error\tInvalid power factor type specified"},
        Procedure{"EnergyMinus1", "", "ChangeEnergyType,-1", kEnergyNvs, "", "", "", "", "Error\tInvalid energy type specified"},
        Procedure{"PowerMinus1", "", "ChangePowerType,-1", kPowerNvs, "", "", "", "", "Error\tInvalid power type specified"},
        Procedure{"DemandMinus1", "", "ChangeDemandType,-1", {"nvoDemand"}, "", "", "", "",
                  "Error\tInvalid demand power type specified"},
        Procedure{"ReactiveMinus1", "", "ChangeReacPwrType,-1", {"nvoReacPwrA"}, "", "", "", "",
                  "Error\tInvalid reactive power type specified"},
        Procedure{"VoltMinus1", "", "ChangeVoltType,-1", {"nvoVoltsC"}, "", "", "", "", "Error\tInvalid voltage type specified"},
        Procedure{"FrequencyMinus1", "", "ChangeFreqType,-1", {"nvoFreq"}, "", "", "", "",
                  "Error\tInvalid frequency type specified"},
        Procedure{"CurrentMinus1", "", "ChangeCurrentType,-1", {"nvoCurrentB"}, "", "", "", "",
                  "Error\tInvalid current type specified"},
        Procedure{"PowerFactorMinus1", "", "ChangePowerFactType,-1", {"nvoPfC"}, "", "", "", "",
                  "Error\tInvalid power factor type specified"}),
    [](const auto &info) { return info.param.name; });

TEST_F(TypeChangeTest, PowerTypeChangeWaitsOutTheDialogsFillingButTheOthersDoNot)
{
    const auto texts = typeTexts();
    const int lines = static_cast<int>(logLines().size());
    InitializingCombos() = true;
    window->queue().ExecuteLnsAction("ChangePowerType,2");
    EXPECT_EQ(typeTexts(), texts);
    EXPECT_EQ(nv("nvoPowerB")->FormatSpec(), "SNVT_power_f#SI");
    EXPECT_EQ(logLines().size(), lines);
    EXPECT_TRUE(status().isEmpty());

    window->queue().ExecuteLnsAction("ChangeDemandType,2");
    EXPECT_EQ(typeCp("nvoDemand")->Value(), kKilo);
    EXPECT_EQ(nv("nvoDemandPk")->FormatSpec(), "SNVT_power_kilo");
}

// A type change that fails part-way leaves the group as it found it: no NV keeps a format
// the meter does not send, and the queue reports the error once.
struct Fault
{
    std::string name;
    sim::DeviceFaults faults;
    std::int32_t number;
};

void PrintTo(const Fault &f, std::ostream *os)
{
    *os << f.name;
}

sim::DeviceFaults faults(bool refuseWrites, std::string updateErrorNv)
{
    sim::DeviceFaults f;
    f.refuseWrites = refuseWrites;
    f.updateErrorNv = std::move(updateErrorNv);
    return f;
}

class FailedChangeTest : public TypeChangeTest, public ::testing::WithParamInterface<Fault>
{
};

TEST_P(FailedChangeTest, PutsTheFormatsBackAndReportsOnce)
{
    std::map<std::string, std::string> formats;
    for (const auto &name : kPowerNvs)
        formats[name] = nv(name)->FormatSpec();
    const auto texts = typeTexts();
    control().setFaults(control().device("TMC-FT-Log-364").id, GetParam().faults);

    window->queue().ExecuteLnsAction("ChangePowerType,2");

    for (const auto &name : kPowerNvs) {
        EXPECT_EQ(nv(name)->FormatSpec(), formats[name]) << name;
        EXPECT_NO_THROW(CurrentNvs().Item(name)->Value()) << name << " reads in the type the meter sends";
    }
    EXPECT_EQ(typeTexts(), texts);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Tellumic Plug-in");
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with("Error executing LNS action: " + std::to_string(GetParam().number) + ","))
        << home.dialogs.shown()[0].text;
    EXPECT_FALSE(lastLogLine().startsWith("Info\tChanged power")) << "no result entry";
}

INSTANTIATE_TEST_SUITE_P(Steps, FailedChangeTest,
                         ::testing::Values(Fault{"AtTheSecondFormatChange", faults(false, "nvoPowerA"),
                                                 lns::LcaError::kCommunicationFailure},
                                           Fault{"AtTheTypeWrite", faults(true, ""), lns::LcaError::kAccessDenied}),
                         [](const auto &info) { return info.param.name; });

}  // namespace
}  // namespace tellumic::test
