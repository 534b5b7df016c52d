// The meters' output groups change the type they send in when their SCPTnvType is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/models/meter.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

const std::string kInitial(kInitialNvType);

std::string pid0(const std::string &rest)
{
    return "PID 0:0:0:0:0:0:0:0, Scope 0, " + rest;
}

double number(const std::shared_ptr<lns::Nv> &v)
{
    return std::stod(v->Value());
}

std::size_t rawSize(const std::shared_ptr<lns::Nv> &v)
{
    v->SetFormatSpec("RAW");
    const auto text = v->Value();
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t')) + 1;
}

class MeterTypesTest : public SimTest
{
public:
    std::shared_ptr<lns::Cp> typeCp(const std::string &firstNv) { return nv(firstNv)->Cps().Item("SCPTnvType"); }
};

// One type of a group: the text written to the group's SCPTnvType, an NV of the group, and
// how the quantity it sends in the float type reads in the new one.
struct Change
{
    std::string group;  // the group's first NV
    std::string member;
    std::string text;
    std::size_t bytes;
    double unit;        // of the float type's unit (1000: kW from W)
    double resolution;  // of the new type
    double maximum;     // 0: none within the meter's values
    bool wraps;         // an energy counter rolls over instead of stopping at its maximum
};

void PrintTo(const Change &c, std::ostream *os)
{
    *os << c.member << ": " << c.text;
}

class TypeChange : public MeterTypesTest, public ::testing::WithParamInterface<Change>
{
};

TEST_P(TypeChange, SendsTheSameQuantityInTheNewEncodingAndReadsTheTextBack)
{
    const auto &row = GetParam();
    typeCp(row.group)->SetValue(kInitial);
    const double before = number(nv(row.member));
    typeCp(row.group)->SetValue(row.text);

    EXPECT_EQ(typeCp(row.group)->Value(), row.text);
    double expected = before / row.unit;
    if (row.maximum > 0) {
        ASSERT_GT(expected, row.maximum) << "the row is to show the type's limit";
        expected = row.wraps ? std::fmod(expected, row.maximum + row.resolution) : row.maximum;
    }
    // The float type carries about seven digits; the new type is sent from the meter's own value.
    EXPECT_NEAR(number(nv(row.member)), expected, row.resolution / 2 + std::abs(expected) * 1e-7);
    EXPECT_EQ(rawSize(nv(row.member)), row.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    EveryIntegerType, TypeChange,
    ::testing::Values(
        Change{"nvoEnergySum", "nvoEnergySum", pid0("Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0"), 4, 1000, 0.1, 0, false},
        Change{"nvoEnergySum", "nvoEnergySumNR", pid0("Index 13, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0"), 2, 1000, 1, 65535, true},
        Change{"nvoEnergySum", "nvoEnergyA",
               "PID 80:B7:E5:0:0:0:0:0, Scope 3, Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0", 4, 1000, 0.1, 0, false},
        Change{"nvoPowerSum", "nvoPowerSum", pid0("Index 27, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1, 0.1, 6553.5, false},
        Change{"nvoPowerSum", "nvoPowerB", pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1000, 0.1, 0, false},
        Change{"nvoDemand", "nvoDemandPk", pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1000, 0.1, 0, false},
        Change{"nvoReacPwrSum", "nvoReacPwrC", pid0("Index 27, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1, 0.1, 0, false},
        Change{"nvoVoltsA", "nvoVoltsC", pid0("Index 44, NVT_CAT_SIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1, 0.1, 0, false},
        Change{"nvoVoltsA", "nvoVoltsA", pid0("Index 138, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0"), 2, 1, 1, 0, false},
        Change{"nvoFreq", "nvoFreq", pid0("Index 76, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1, 0.1, 0, false},
        Change{"nvoCurrentA", "nvoCurrentB", pid0("Index 1, NVT_CAT_SIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1, 0.1, 0, false},
        Change{"nvoCurrentA", "nvoCurrentA", pid0("Index 139, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0"), 2, 1, 1, 0, false},
        Change{"nvoPfAvg", "nvoPfC", pid0("Index 98, NVT_CAT_SIGNED_LONG, 2 bytes, A=5, B=-5, C=0"), 2, 1, 0.00005, 0, false}));

struct Refusal
{
    std::string group;
    std::string text;
};

void PrintTo(const Refusal &r, std::ostream *os)
{
    *os << r.group << ": " << r.text;
}

class RefusedType : public MeterTypesTest, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(RefusedType, IsReportedAndChangesNothing)
{
    const auto &row = GetParam();
    const std::string before = typeCp(row.group)->Value();
    const std::string format = nv(row.group)->FormatSpec();
    try {
        typeCp(row.group)->SetValue(row.text);
        FAIL() << "the meter took " << row.text;
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kInvalidValue);
    }
    EXPECT_EQ(typeCp(row.group)->Value(), before);
    EXPECT_EQ(nv(row.group)->FormatSpec(), format);
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedType,
    ::testing::Values(Refusal{"nvoPowerSum", pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0")},  // scaling
                      Refusal{"nvoPowerSum", pid0("Index 66, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0")},  // a voltage type
                      Refusal{"nvoEnergySum", pid0("Index 146, NVT_CAT_SIGNED_QUAD, 2 bytes, A=1, B=-1, C=0")},  // size
                      Refusal{"nvoEnergySum", pid0("Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0")},  // scope
                      Refusal{"nvoFreq", "SNVT_freq_hz"}));

TEST_F(MeterTypesTest, InitialAndTheExplicitFloatTextBothReturnToTheFloatTypeAndReadBackAsWritten)
{
    // The 363 leaves the factory sending its energies as SNVT_elec_kwh_l, and says so.
    EXPECT_EQ(typeCp("nvoEnergySum")->Value(), pid0("Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0"));
    EXPECT_EQ(nv("nvoEnergyC")->FormatSpec(), "SNVT_elec_kwh_l");
    typeCp("nvoEnergySum")->SetValue(kInitial);
    EXPECT_EQ(typeCp("nvoEnergySum")->Value(), kInitial);
    EXPECT_EQ(nv("nvoEnergyC")->FormatSpec(), "SNVT_elec_whr_f");

    const std::string explicitFloat = pid0("Index 57, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0");
    typeCp("nvoPowerSum")->SetValue(pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"));
    typeCp("nvoPowerSum")->SetValue(explicitFloat);
    EXPECT_EQ(typeCp("nvoPowerSum")->Value(), explicitFloat);
    EXPECT_EQ(nv("nvoPowerA")->FormatSpec(), "SNVT_power_f");
    EXPECT_EQ(rawSize(nv("nvoPowerA")), 4u);
}

TEST_F(MeterTypesTest, TypesSurviveARestartAndFactorySettingsRestoreTheShippedOnes)
{
    const std::string kilo = pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0");
    typeCp("nvoDemand")->SetValue(kilo);
    typeCp("nvoEnergySum")->SetValue(kInitial);
    reopen();
    EXPECT_EQ(typeCp("nvoDemand")->Value(), kilo);
    EXPECT_EQ(nv("nvoDemandPk")->FormatSpec(), "SNVT_power_kilo");
    EXPECT_EQ(nv("nvoEnergySumNR")->FormatSpec(), "SNVT_elec_whr_f");

    meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps().Item("UCPTfactoryCommand")->SetValue("52836");
    EXPECT_EQ(typeCp("nvoDemand")->Value(), kInitial);
    EXPECT_EQ(nv("nvoDemandPk")->FormatSpec(), "SNVT_power_f");
    EXPECT_EQ(typeCp("nvoEnergySum")->Value(), pid0("Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0"));
    EXPECT_EQ(nv("nvoEnergySumNR")->FormatSpec(), "SNVT_elec_kwh_l");
}

// The format is the database's: it may name a type the meter does not send yet, and then
// reads the bytes as that type would, or not at all when the sizes differ.
TEST_F(MeterTypesTest, AFormatOfAnotherTypeOfTheGroupIsTakenAndDecodesTheBytesAsItsOwn)
{
    auto power = nv("nvoPowerA");
    power->SetFormatSpec("SNVT_power_kilo");
    power->Commit();
    try {
        nv("nvoPowerA")->Value();
        FAIL() << "two bytes read out of four";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kInvalidValue);
    }
    EXPECT_THROW(power->SetFormatSpec("SNVT_volt"), RuntimeError) << "not a type of the power group";

    auto energy = nv("nvoEnergyB");
    const double kwh = number(energy);
    energy->SetFormatSpec("SNVT_elec_whr_f");  // the four bytes of a whole number read as a float
    energy->Commit();
    const double wh = std::strtod(nv("nvoEnergyB")->Value().c_str(), nullptr);
    EXPECT_GT(std::abs(wh - kwh * 1000), 1000.0);

    typeCp("nvoPowerSum")->SetValue(pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"));
    EXPECT_EQ(nv("nvoPowerA")->FormatSpec(), "SNVT_power_kilo");
    EXPECT_GT(number(nv("nvoPowerA")), 0);
    typeCp("nvoPowerSum")->SetValue(kInitial);
    EXPECT_EQ(nv("nvoPowerA")->FormatSpec(), "SNVT_power_f") << "a format the type changed under gives way";
}

TEST_F(MeterTypesTest, AnUpdateFaultFailsTheFormatCommitAndKeepsTheFormat)
{
    DeviceFaults faults;
    faults.updateErrorNv = "nvoPowerA";
    setFaults(faults);
    auto power = nv("nvoPowerA");
    power->SetFormatSpec("SNVT_power_f#SI");
    try {
        power->Commit();
        FAIL() << "the commit went through";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kCommunicationFailure);
    }
    EXPECT_EQ(nv("nvoPowerA")->FormatSpec(), "SNVT_power_f");
    auto sum = nv("nvoPowerSum");
    sum->SetFormatSpec("SNVT_power_f#SI");
    sum->Commit();
    EXPECT_EQ(nv("nvoPowerSum")->FormatSpec(), "SNVT_power_f#SI");
}

}  // namespace
}  // namespace tellumic::sim::test
