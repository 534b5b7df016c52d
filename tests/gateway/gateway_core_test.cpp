// The gateway's core on the simulated demo installation: which NVs it watches per family,
// their values in base units against the simulator's read through another object server,
// a type change made by another process, and each meter's availability.

#include <set>

#include <gtest/gtest.h>

#include "gateway/gateway_core.h"
#include "model/product_tables.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::gateway::test {
namespace {

using namespace std::chrono_literals;

// The SCPTnvType text that puts an NV group back to its initial type (float energy).
const char *const kInitialNvType = "PID 0:0:0:0:0:0:0:0, Scope 0, Index 1, NVT_CAT_INITIAL, 1 bytes, A=0, B=0, C=0";

struct PointRow
{
    std::string nv;
    std::optional<std::pair<Quantity, Phase>> expected;
};

class MeterPointTest : public ::testing::TestWithParam<PointRow>
{
};

TEST_P(MeterPointTest, NamesQuantityAndPhase)
{
    const auto &row = GetParam();
    const auto point = meterPoint(row.nv);
    ASSERT_EQ(point.has_value(), row.expected.has_value()) << row.nv;
    if (point) {
        EXPECT_EQ(point->quantity, row.expected->first) << row.nv;
        EXPECT_EQ(point->phase, row.expected->second) << row.nv;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, MeterPointTest,
    ::testing::Values(PointRow{"nvoPowerSum", std::pair{Quantity::Power, Phase::Total}},
                      PointRow{"nvoPower[0]", std::pair{Quantity::Power, Phase::A}},
                      PointRow{"nvoPowerC", std::pair{Quantity::Power, Phase::C}},
                      PointRow{"nvoReacPwr[1]", std::pair{Quantity::ReactivePower, Phase::B}},
                      PointRow{"nvoPkDemand", std::pair{Quantity::PeakDemand, Phase::Total}},
                      PointRow{"nvoDemandPk", std::pair{Quantity::PeakDemand, Phase::Total}},
                      PointRow{"nvoEnergySumNR", std::pair{Quantity::EnergyNonResettable, Phase::Total}},
                      PointRow{"nvoEngyPosSum", std::pair{Quantity::EnergyImport, Phase::Total}},
                      PointRow{"nvoEnergyB", std::pair{Quantity::Energy, Phase::B}},
                      PointRow{"nvoPF[2]", std::pair{Quantity::PowerFactor, Phase::C}},
                      PointRow{"nvoPfAvg", std::pair{Quantity::PowerFactor, Phase::Total}},
                      PointRow{"nvoFreq", std::pair{Quantity::Frequency, Phase::Total}},
                      PointRow{"nvoPeakDemT", std::nullopt}, PointRow{"nciCtAmps", std::nullopt},
                      PointRow{"nvoPower[3]", std::nullopt}, PointRow{"nvoPowerD", std::nullopt},
                      PointRow{"nvoVolts", std::nullopt}, PointRow{"nviPowerSum", std::nullopt}));

struct SiRow
{
    std::string value, format;
    std::optional<double> expected;
    SiUnit unit = SiUnit::None;
};

class SiValueTest : public ::testing::TestWithParam<SiRow>
{
};

TEST_P(SiValueTest, ConvertsWithTheFormatGiven)
{
    const auto &row = GetParam();
    const auto v = siValue(row.value, row.format);
    ASSERT_EQ(v.has_value(), row.expected.has_value()) << row.format << " " << row.value;
    if (v) {
        EXPECT_DOUBLE_EQ(v->value, *row.expected) << row.format;
        EXPECT_EQ(v->unit, row.unit) << row.format;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SiValueTest,
    ::testing::Values(SiRow{"1234.5", "SNVT_power_f#SI", 1234.5, SiUnit::Watt},
                      SiRow{"1.5", "SNVT_power_kilo", 1500, SiUnit::Watt},
                      SiRow{"150.3", "SNVT_power#SI", 150.3, SiUnit::Watt},
                      SiRow{"2500", "SNVT_elec_whr_f", 2500, SiUnit::WattHour},
                      SiRow{"2.5", "SNVT_elec_kwh_l", 2500, SiUnit::WattHour},
                      SiRow{"3", "SNVT_elec_kwh", 3000, SiUnit::WattHour},
                      SiRow{"2.5", "UNVT_elec_kwh_l", 2500, SiUnit::WattHour},
                      SiRow{"0\t0\t1\t0", "RAW", 25600, SiUnit::WattHour},
                      SiRow{"255\t255\t255\t246", "RAW", -1000, SiUnit::WattHour},
                      SiRow{"230.1", "SNVT_volt_f", 230.1, SiUnit::Volt},
                      SiRow{"231", "SNVT_volt_ac", 231, SiUnit::Volt},
                      SiRow{"4.2", "SNVT_amp", 4.2, SiUnit::Ampere},
                      SiRow{"50.0", "SNVT_freq_hz", 50, SiUnit::Hertz},
                      SiRow{"-0.95", "SNVT_pwr_fact", -0.95, SiUnit::None},
                      SiRow{"1.5", "SNVT_temp_f", std::nullopt}, SiRow{"abc", "SNVT_power_f#SI", std::nullopt},
                      SiRow{"nan", "SNVT_volt_f", std::nullopt}, SiRow{"1\t2", "RAW", std::nullopt},
                      SiRow{"", "SNVT_amp_f", std::nullopt}));

// What the gateway tells its listener.
struct Heard : GatewayListener
{
    int values = 0;
    std::vector<std::pair<std::string, std::string>> availability;  // meter, state

    void onValue(const MeterReading &, std::size_t, double) override { ++values; }
    void onAvailability(const MeterReading &meter) override { availability.emplace_back(meter.name, meter.state); }
};

class GatewayTest : public sim::test::SimTest
{
public:
    void SetUp() override
    {
        SimTest::SetUp();
        server->SetEventSink(nullptr);
        other = openServer();
    }

    std::unique_ptr<Gateway> startGateway(std::vector<std::string> meters = {})
    {
        auto gateway = std::make_unique<Gateway>(*server, GatewayOptions{{"Demo"}, std::move(meters), 2});
        gateway->setListener(&heard);
        gateway->start();
        gateway->dispatch();
        return gateway;
    }
    // A period on: the monitors poll again, then the gateway checks its meters.
    void nextPeriod(Gateway &gateway)
    {
        home.clock.advance(2s);
        gateway.dispatch();
        gateway.checkMeters();
    }
    // The NV as another program reads it, in base units.
    std::optional<double> independent(const std::string &meterName, const std::string &nvName)
    {
        auto nv = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices()
                      .Item(meterName)->GetInterface()->Nvs().Item(nvName);
        const auto si = siValue(nv->Value(), nv->FormatSpec());
        return si ? std::optional<double>(si->value) : std::nullopt;
    }
    static const MeterReading &reading(const Gateway &gateway, const std::string &name)
    {
        for (const auto &r : gateway.meters())
            if (r.name == name)
                return r;
        throw std::runtime_error("no meter " + name);
    }
    static std::optional<double> valueOf(const MeterReading &r, const std::string &nvName)
    {
        for (std::size_t i = 0; i < r.points.size(); ++i)
            if (r.points[i].nvName == nvName && r.values.count(i))
                return r.values.at(i);
        return std::nullopt;
    }

    std::unique_ptr<sim::SimObjectServer> other;
    Heard heard;
};

TEST_F(GatewayTest, EveryPointOfEveryMeterEqualsTheSimulatorsValueInBaseUnits)
{
    auto gateway = startGateway();
    ASSERT_EQ(gateway->meters().size(), supportedMeters().size()) << "one demo meter per model";
    for (const auto &r : gateway->meters()) {
        SCOPED_TRACE(r.name);
        std::set<Quantity> quantities;
        for (std::size_t i = 0; i < r.points.size(); ++i) {
            quantities.insert(r.points[i].quantity);
            const auto expected = independent(r.name, r.points[i].nvName);
            ASSERT_TRUE(expected.has_value()) << r.points[i].nvName;
            ASSERT_TRUE(r.values.count(i)) << r.points[i].nvName << " was not heard";
            EXPECT_DOUBLE_EQ(r.values.at(i), *expected) << r.points[i].nvName;
        }
        for (auto q : {Quantity::Power, Quantity::ReactivePower, Quantity::Demand, Quantity::PeakDemand, Quantity::Energy,
                       Quantity::Voltage, Quantity::Current, Quantity::Frequency, Quantity::PowerFactor})
            EXPECT_TRUE(quantities.count(q)) << quantityName(q);
    }
    EXPECT_EQ(gateway->figures().valuesRefused, 0u);
    EXPECT_GT(heard.values, 0);
}

// The energy total's type changed by another program from kilowatt-hours to watt-hours:
// the gateway reads the new value with the new type, so the total stays the same.
TEST_F(GatewayTest, ATypeChangeByAnotherProgramKeepsTheUnit)
{
    const std::string name = "TMC-FT-Log-364";
    auto gateway = startGateway({name});
    const auto before = valueOf(reading(*gateway, name), "nvoEnergySum");
    ASSERT_TRUE(before.has_value());

    auto energy = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices()
                      .Item(name)->GetInterface()->Nvs().Item("nvoEnergySum");
    ASSERT_EQ(energy->FormatSpec(), "SNVT_elec_kwh_l");
    energy->Cps().Item("SCPTnvType")->SetValue(kInitialNvType);
    ASSERT_EQ(energy->FormatSpec(), "SNVT_elec_whr_f");
    nextPeriod(*gateway);

    const auto after = valueOf(reading(*gateway, name), "nvoEnergySum");
    ASSERT_TRUE(after.has_value());
    EXPECT_DOUBLE_EQ(*after, *independent(name, "nvoEnergySum"));
    EXPECT_NEAR(*after, *before, 1000.0) << "the float's resolution apart, not a thousandfold";
}

struct AvailabilityRow
{
    std::string name;
    std::function<void(sim::SimControl &, std::int64_t)> takeAway;
    std::string state;
};

void PrintTo(const AvailabilityRow &row, std::ostream *os)
{
    *os << row.name;
}

class AvailabilityTest : public GatewayTest, public ::testing::WithParamInterface<AvailabilityRow>
{
};

TEST_P(AvailabilityTest, AMeterTakenAwayIsOfflineWithinOnePeriod)
{
    const auto &row = GetParam();
    auto gateway = startGateway();
    nextPeriod(*gateway);
    ASSERT_TRUE(reading(*gateway, "TMC-FT-362").online);
    heard.availability.clear();

    sim::SimControl control(lonWorks);
    row.takeAway(control, control.device("TMC-FT-362").id);
    nextPeriod(*gateway);

    const auto &r = reading(*gateway, "TMC-FT-362");
    EXPECT_FALSE(r.online);
    EXPECT_EQ(r.state, row.state);
    EXPECT_EQ(heard.availability, (std::vector<std::pair<std::string, std::string>>{{"TMC-FT-362", row.state}}))
        << "the other meters stay as they were";
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, AvailabilityTest,
    ::testing::Values(
        AvailabilityRow{"Offline",
                        [](sim::SimControl &c, std::int64_t id) { c.setCondition(id, sim::DeviceCondition::Offline); },
                        "offline"},
        AvailabilityRow{"Unconfigured",
                        [](sim::SimControl &c, std::int64_t id) {
                            c.setCondition(id, sim::DeviceCondition::Unconfigured);
                        },
                        "unconfigured"},
        AvailabilityRow{"NotAnswering",
                        [](sim::SimControl &c, std::int64_t id) {
                            sim::DeviceFaults faults;
                            faults.commFailRate = 1;
                            c.setFaults(id, faults);
                        },
                        "not answering"}),
    [](const auto &info) { return info.param.name; });

struct StartRow
{
    std::string name;
    std::vector<std::string> networks, meters;
    std::string message;
};

class StartFailureTest : public GatewayTest, public ::testing::WithParamInterface<StartRow>
{
};

TEST_P(StartFailureTest, SaysWhatCannotBeWatched)
{
    const auto &row = GetParam();
    Gateway gateway(*server, GatewayOptions{row.networks, row.meters, 2});
    try {
        gateway.start();
        FAIL() << "started";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(std::string(e.description()).substr(0, row.message.size()), row.message) << e.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Starts, StartFailureTest,
    ::testing::Values(StartRow{"UnknownNetwork", {"Demo", "Plant"}, {}, "cannot open network 'Plant': "},
                      StartRow{"UnknownMeter", {"Demo"}, {"TMC-FT-362", "Nope"}, "there is no meter 'Nope' in the networks given"}),
    [](const auto &info) { return info.param.name; });

}  // namespace
}  // namespace tellumic::gateway::test
