#include <gtest/gtest.h>

#include <cmath>

#include "sim/models/meter_state.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kConstants = {
    "UCPTcalPowerA", "UCPTcalPowerB", "UCPTcalPowerC", "UCPTcalReactiveA", "UCPTcalReactiveB", "UCPTcalReactiveC",
    "UCPTcalVoltA",  "UCPTcalVoltB",  "UCPTcalVoltC",  "UCPTphaseAdjA",    "UCPTphaseAdjB",    "UCPTphaseAdjC"};

double number(const std::shared_ptr<lns::Nv> &v)
{
    return std::stod(v->Value());
}

struct LockCase
{
    const char *meter, *calBlock, *identityBlock;
};

class CalibrationLock : public SimTest, public ::testing::WithParamInterface<LockCase>
{
};

// A locked meter refuses its twelve calibration constants, directly and at the commit of a
// transaction, and takes every other setting; unlocked, it takes the constants.
TEST_P(CalibrationLock, GuardsTheTwelveConstantsOnly)
{
    auto d = device(GetParam().meter);
    auto blocks = d->GetInterface()->FunctionalBlocks();
    auto cal = blocks.Item(GetParam().calBlock)->Cps();
    auto identity = blocks.Item(GetParam().identityBlock)->Cps();
    for (const auto &name : kConstants) {
        try {
            cal.Item(name)->SetValue("10100");
            ADD_FAILURE() << name << " taken while locked";
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), lns::LcaError::kAccessDenied) << name;
        }
        EXPECT_NE(cal.Item(name)->Value(), "10100") << name;
    }
    system->StartTransaction();
    cal.Item("UCPTcalPowerB")->SetValue("10100");
    EXPECT_THROW(system->CommitTransaction(), RuntimeError);
    EXPECT_EQ(cal.Item("UCPTcalPowerB")->Value(), "10000");

    const std::pair<lns::Collection<lns::Cp> *, std::pair<const char *, const char *>> settings[] = {
        {&identity, {"UCPTmodel", "TMC-3D-480-FT10-L"}}, {&identity, {"UCPTserialNumber", "SN,042"}},
        {&identity, {"UCPTctAmps", "5"}},                {&cal, {"UCPTnominalVolt", "230"}},
        {&cal, {"UCPTminVolt", "46"}},                   {&cal, {"UCPTcreepLimit", "12"}}};
    for (const auto &[cps, setting] : settings) {
        EXPECT_NO_THROW(cps->Item(setting.first)->SetValue(setting.second)) << setting.first;
        EXPECT_EQ(cps->Item(setting.first)->Value(), setting.second);
    }

    cal.Item("UCPTfactoryCommand")->SetValue("7461");
    for (const auto &name : kConstants) {
        EXPECT_NO_THROW(cal.Item(name)->SetValue("10100")) << name;
        EXPECT_EQ(cal.Item(name)->Value(), "10100") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Meters, CalibrationLock,
                         ::testing::Values(LockCase{"TMC-FT-Log-364", "TellumicCal", "NodeObject"},
                                           LockCase{"TMC-FT-362", "TellumicConfig", "TellumicConfig"},
                                           LockCase{"TMC-FT-Plus-PT-340", "TellumicCal", "NodeObject"}));

// Locking puts back the constants written since they were last saved (or, before the first
// save, since the meter was unlocked); saved constants survive a restart.
TEST_F(SimTest, LockingPutsBackWhatWasNotSaved)
{
    auto cps = [&] { return meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps(); };
    auto command = [&](const char *c) { cps().Item("UCPTfactoryCommand")->SetValue(c); };
    command("7461");
    cps().Item("UCPTcalPowerA")->SetValue("10100");
    command("0");
    EXPECT_EQ(cps().Item("UCPTcalPowerA")->Value(), "10000");

    command("7461");
    cps().Item("UCPTcalPowerA")->SetValue("10200");
    cps().Item("UCPTcalVoltC")->SetValue("9900");
    command("52817");
    cps().Item("UCPTcalPowerA")->SetValue("10300");
    command("0");
    EXPECT_EQ(cps().Item("UCPTcalPowerA")->Value(), "10200");
    EXPECT_EQ(cps().Item("UCPTcalVoltC")->Value(), "9900");

    reopen();
    EXPECT_EQ(cps().Item("UCPTcalPowerA")->Value(), "10200");
    EXPECT_EQ(cps().Item("UCPTfactoryCommand")->Value(), "0");
}

TEST_F(SimTest, OnlyLoggingModelsInitialiseTheirLog)
{
    for (const auto &[name, logs] : {std::pair{"TMC-FT-Log-364", true}, std::pair{"TMC-FT-Plus-333", false}}) {
        auto command = device(name)->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps().Item("UCPTfactoryCommand");
        if (logs) {
            EXPECT_NO_THROW(command->SetValue("6358"));
            EXPECT_EQ(command->Value(), "6358");
        } else {
            EXPECT_THROW(command->SetValue("6358"), RuntimeError);
            EXPECT_EQ(command->Value(), "0");
        }
    }
}

// A reference source connected to a phase is what the meter measures, locked or not; the
// other phases then draw the rated current at the nominal voltage, and the energy totals
// follow the sources from the moment they are connected.
TEST_F(SimTest, ReferenceSourcesAreWhatTheMeterMeasures)
{
    SimControl control(lonWorks);
    const auto id = control.device("TMC-FT-Log-364").id;
    control.setReferenceLoad(id, 0, PhaseLoad{230, 10, 0.5});
    control.setReferenceLoad(id, 2, PhaseLoad{0, 0, 1});
    const auto loads = control.referenceLoads(id);
    ASSERT_TRUE(loads[0] && !loads[1] && loads[2]);
    EXPECT_EQ(loads[0]->volts, 230);

    // An uncalibrated meter reads within a few percent.
    const auto near = [](double value, double expected) { return std::abs(value - expected) <= 0.03 * std::abs(expected) + 1e-6; };
    const auto readAll = [&] {
        return std::array<double, 7>{number(nv("nvoVoltsA")), number(nv("nvoCurrentA")), number(nv("nvoPfA")),
                                     number(nv("nvoVoltsB")), number(nv("nvoCurrentB")), number(nv("nvoPowerC")),
                                     number(nv("nvoVoltsC"))};
    };
    const auto r = readAll();
    EXPECT_TRUE(near(r[0], 230)) << r[0];
    EXPECT_TRUE(near(r[1], 10)) << r[1];
    EXPECT_TRUE(near(r[2], 0.5)) << r[2];
    EXPECT_TRUE(near(r[3], 120)) << r[3];
    EXPECT_TRUE(near(r[4], 100)) << r[4];
    EXPECT_EQ(r[5], 0);
    EXPECT_EQ(r[6], 0);
    home.clock.advance(5h);
    EXPECT_EQ(readAll(), r) << "a source holds steady through the day";

    // No current on any phase: the totals stop where they were.
    for (std::size_t i = 0; i < 3; ++i)
        control.setReferenceLoad(id, i, PhaseLoad{120, 0, 1});
    const double before = number(nv("nvoEnergySum"));
    home.clock.advance(1h);
    EXPECT_EQ(number(nv("nvoEnergySum")), before);
    for (std::size_t i = 0; i < 3; ++i)
        control.setReferenceLoad(id, i, std::nullopt);
    EXPECT_EQ(number(nv("nvoEnergySum")), before) << "no jump when the sources go";
    home.clock.advance(1h);
    EXPECT_GT(number(nv("nvoEnergySum")), before + 1) << "the meter's own load again";
}

}  // namespace
}  // namespace tellumic::sim::test
