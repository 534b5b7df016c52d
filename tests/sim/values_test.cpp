#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>

#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

struct RoundTrip
{
    std::string device;
    std::string nv;
    std::string format;  // "" keeps the NV's format
    std::string written;
    std::string readBack;
};

class ValueRoundTrip : public SimTest, public ::testing::WithParamInterface<RoundTrip>
{
};

TEST_P(ValueRoundTrip, ReadsBackAsWritten)
{
    const auto &row = GetParam();
    auto v = nv(row.nv, device(row.device));
    if (!row.format.empty()) {
        v->SetFormatSpec(row.format);
        v->Commit();
    }
    v->SetValue(row.written);
    EXPECT_EQ(v->Value(), row.readBack);
    EXPECT_EQ(nv(row.nv, device(row.device))->Value(), row.readBack) << "a fresh handle reads the stored value";
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueRoundTrip,
    ::testing::Values(RoundTrip{"TMC-FT-Log-364", "nviTimeSet", "", "2012/04/06 10:20:30", "2012/04/06 10:20:30"},
                      RoundTrip{"TMC-FT-Log-364", "nviTimeSet", "", "2012-4-6 9:05:00", "2012/04/06 09:05:00"},
                      RoundTrip{"TMC-FT-Log-364", "nviTimeSet", "", "2012/02/29 23:59:59", "2012/02/29 23:59:59"},
                      RoundTrip{"TMC-FT-Log-364", "nciCtAmps", "", "200", "200"},
                      RoundTrip{"TMC-FT-Log-364", "nciLogMinutes", "SNVT_count#US", "60", "60"},
                      RoundTrip{"TMC-FT-Log-364", "nvoPowerSum", "SNVT_power_f#SI", "1250.5", "1250.5"},
                      RoundTrip{"TMC-FT-Log-364", "nvoPowerSum", "SNVT_power_f", "-0.1", "-0.1"},
                      RoundTrip{"TMC-FT-Log-364", "nvoEnergySum", "", "1000", "1000.0"},
                      RoundTrip{"TMC-FT-Log-364", "nvoEnergySum", "UNVT_elec_kwh_l", "-1", "-1.0"},
                      RoundTrip{"TMC-FT-Log-364", "nvoEnergySum", "RAW", "0\t0\t39\t16", "0\t0\t39\t16"},
                      RoundTrip{"TMC-FT-Log-364", "nvoPfA", "", "0.875", "0.875"},
                      RoundTrip{"Thermostat", "nviSetpoint", "", "21.5", "21.50"},
                      RoundTrip{"Thermostat", "nviSetpoint", "SNVT_temp_p#US", "70.7", "70.70"}));

TEST_F(SimTest, RawGivesTheBytesMostSignificantFirst)
{
    auto energy = nv("nvoEnergySum");
    energy->SetValue("-1.0");
    energy->SetFormatSpec("RAW");
    EXPECT_EQ(energy->Value(), "255\t255\t255\t246");
    energy->SetFormatSpec("SNVT_elec_kwh_l");
    energy->SetValue("1000.0");
    energy->SetFormatSpec("RAW");
    EXPECT_EQ(energy->Value(), "0\t0\t39\t16");
}

TEST_F(SimTest, FormatTakesEffectForOthersOnlyAtCommit)
{
    auto power = nv("nvoPowerSum");
    auto other = nv("nvoPowerSum");
    power->SetFormatSpec("SNVT_power_f#SI");
    EXPECT_EQ(power->FormatSpec(), "SNVT_power_f#SI");
    EXPECT_EQ(other->FormatSpec(), "SNVT_power_f");
    power->Commit();
    EXPECT_EQ(nv("nvoPowerSum")->FormatSpec(), "SNVT_power_f#SI");
    try {
        power->SetFormatSpec("SNVT_volt_f");
        FAIL() << "a format of another type was accepted";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kInvalidValue);
    }
    EXPECT_EQ(power->FormatSpec(), "SNVT_power_f#SI");
}

struct BadValue
{
    std::string nv;
    std::string format;
    std::string text;
};

class BadValueRefused : public SimTest, public ::testing::WithParamInterface<BadValue>
{
};

TEST_P(BadValueRefused, AndNothingChanges)
{
    const auto &row = GetParam();
    auto v = nv(row.nv);
    if (!row.format.empty())
        v->SetFormatSpec(row.format);
    const auto before = v->Value();
    try {
        v->SetValue(row.text);
        FAIL() << "'" << row.text << "' was accepted";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kInvalidValue);
    }
    EXPECT_EQ(v->Value(), before);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadValueRefused,
                         ::testing::Values(BadValue{"nciCtAmps", "", "abc"}, BadValue{"nciCtAmps", "", "70000"},
                                           BadValue{"nciCtAmps", "", "-1"}, BadValue{"nciCtAmps", "", ""},
                                           BadValue{"nviTimeSet", "", "2012/13/01 00:00:00"},
                                           BadValue{"nviTimeSet", "", "2012/01/01"},
                                           BadValue{"nviTimeSet", "", "0000/00/00 00:00:00"},
                                           BadValue{"nviTimeSet", "", "2012/00/10 00:00:00"},
                                           BadValue{"nviTimeSet", "", "2011/02/29 00:00:00"},
                                           BadValue{"nviTimeSet", "", "2012/04/31 00:00:00"},
                                           BadValue{"nvoPowerSum", "", "1e40"}, BadValue{"nvoPowerSum", "", "12 W"},
                                           BadValue{"nvoEnergySum", "RAW", "1\t2\t3"},
                                           BadValue{"nvoEnergySum", "RAW", "1\t2\t3\t256"}));

TEST_F(SimTest, CpValuesAsTextAndAsLong)
{
    auto cal = meter->GetInterface()->FunctionalBlocks().Item("TellumicCal");
    auto command = cal->Cps().Item("UCPTfactoryCommand");
    command->SetValueAsLong(52817);
    EXPECT_EQ(command->ValueAsLong(), 52817);
    EXPECT_EQ(command->Value(), "52817");
    EXPECT_THROW(command->SetValueAsLong(70000), RuntimeError);
    EXPECT_EQ(command->ValueAsLong(), 52817);

    auto sendTime = nv("nvoEnergySum")->Cps().Item("SCPTmaxSndT");
    EXPECT_EQ(sendTime->Value(), "0 0:5:0:0");
    sendTime->SetValue("0 0:1:30:0");
    EXPECT_EQ(nv("nvoEnergySum")->Cps().Item(1)->Value(), "0 0:1:30:0");
    EXPECT_THROW(sendTime->SetValue("0 25:0:0:0"), RuntimeError);

    auto location = meter->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item("SCPTlocation");
    location->SetValue("Panel 4");
    EXPECT_EQ(location->Value(), "Panel 4");
    EXPECT_THROW(location->SetValue(std::string(31, 'x')), RuntimeError);
    EXPECT_EQ(location->Value(), "Panel 4");
}

TEST_F(SimTest, BlockModesPersist)
{
    meter->GetInterface()->LonMarkObjects().Item(2)->SetMode(4);
    auto other = openServer();
    auto d = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    EXPECT_EQ(d->GetInterface()->LonMarkObjects().Item(2)->Mode(), 4);
    EXPECT_EQ(d->GetInterface()->LonMarkObjects().Item(1)->Mode(), 0);
}

TEST_F(SimTest, TransactionWritesTakeEffectAtCommit)
{
    auto amps = nv("nciCtAmps");
    auto watcher = openServer();
    auto watched = watcher->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item(
        "TMC-FT-Log-364");
    system->StartTransaction();
    amps->SetValue("300");
    EXPECT_EQ(nv("nciCtAmps", watched)->Value(), "100");
    system->CommitTransaction();
    EXPECT_EQ(nv("nciCtAmps", watched)->Value(), "300");

    system->StartTransaction();
    amps->SetValue("400");
    system->CancelTransaction();
    EXPECT_EQ(amps->Value(), "300");
}

}  // namespace
}  // namespace tellumic::sim::test

namespace tellumic::sim::test {
namespace {

// A device whose "UCPTmodel"-typed CP names the type of its one output NV, as a meter's
// type-change property does.
class TypedDevice final : public DeviceModel
{
public:
    TypedDevice()
    {
        m_interface.nvs = {
            {"nvoPower", "SNVT_power_f", false, "1500.5", {{"SCPTnvType", 0, 254, "UCPTmodel", "SNVT_power_f"}}}};
    }
    const InterfaceDef &interfaceDef() const override { return m_interface; }
    void written(DeviceState &state, const std::string &key) const override
    {
        if (key != nvCpKey("nvoPower", m_interface.nvs[0].cps[0]))
            return;
        const auto bytes = state.value(key);
        state.setNvType("nvoPower", std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0)));
    }

private:
    InterfaceDef m_interface;
};

TEST_F(SimTest, ModelsCanChangeTheTypeOfAnNv)
{
    registerDeviceModel("9F1234560A0401FF", std::make_shared<TypedDevice>());
    system->Close();
    server.reset();
    {
        NetworkDb db(networkDbPath(lonWorks));
        db.db().exec("UPDATE devices SET program_id = '9F1234560A0401FF' WHERE name = 'Thermostat'");
    }
    reopen();
    auto power = nv("nvoPower", device("Thermostat"));
    power->SetFormatSpec("SNVT_power_f#SI");
    power->Commit();
    EXPECT_EQ(power->Value(), "1500.5");

    power->Cps().Item("SCPTnvType")->SetValue("SNVT_power_kilo");
    auto changed = nv("nvoPower", device("Thermostat"));
    EXPECT_EQ(changed->FormatSpec(), "SNVT_power_kilo");
    changed->SetValue("12.5");
    EXPECT_EQ(changed->Value(), "12.5");
    changed->SetFormatSpec("RAW");
    EXPECT_EQ(changed->Value(), "0\t125");

    EXPECT_THROW(power->Cps().Item(1)->SetValue("SNVT_nothing"), RuntimeError);
    EXPECT_EQ(power->Cps().Item(1)->Value(), "SNVT_power_kilo");
    EXPECT_EQ(nv("nvoPower", device("Thermostat"))->Value(), "12.5") << "a refused change keeps the type";

    auto restarted = openServer();
    auto again = restarted->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("Thermostat");
    EXPECT_EQ(nv("nvoPower", again)->Value(), "12.5") << "the type survives a restart";
}

}  // namespace
}  // namespace tellumic::sim::test
