#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

std::int32_t errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return 0;
}

DeviceFaults with(const std::function<void(DeviceFaults &)> &set)
{
    DeviceFaults f;
    set(f);
    return f;
}

constexpr auto kCommFailure = lns::LcaError::kCommunicationFailure;

struct ConditionCase
{
    DeviceCondition condition;
    std::int32_t nodeState;
    bool commissioned;
    std::int32_t readError;    // of an NV read
    std::int32_t statusError;  // of the status query
};

class ConditionTest : public SimTest, public ::testing::WithParamInterface<ConditionCase>
{
};

TEST_P(ConditionTest, ShowsInStateAndTraffic)
{
    const auto &row = GetParam();
    auto power = nv("nvoPowerSum");
    SimControl control(lonWorks);
    control.setCondition(control.device("TMC-FT-Log-364").id, row.condition);
    EXPECT_EQ(meter->Commissioned(), row.commissioned);
    EXPECT_EQ(meter->State(), row.nodeState);
    EXPECT_EQ(errorOf([&] { power->Value(); }), row.readError);
    std::int32_t nodeState = -1;
    EXPECT_EQ(errorOf([&] { nodeState = meter->QueryStatus().nodeState; }), row.statusError);
    if (row.statusError == 0) {
        EXPECT_EQ(nodeState, row.nodeState);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, ConditionTest,
    ::testing::Values(ConditionCase{DeviceCondition::ConfiguredOnline, 4, true, 0, 0},
                      ConditionCase{DeviceCondition::Unconfigured, 2, true, kCommFailure, 0},
                      ConditionCase{DeviceCondition::Applicationless, 3, true, kCommFailure, 0},
                      ConditionCase{DeviceCondition::Offline, 6, true, 0, 0},
                      ConditionCase{DeviceCondition::SoftOffline, 12, true, 0, 0},
                      ConditionCase{DeviceCondition::Bypassed, 140, true, 0, 0},
                      ConditionCase{DeviceCondition::Uncommissioned, 4, false, kCommFailure, kCommFailure}));

TEST_F(SimTest, CommunicationFailsAtTheChosenCallOnly)
{
    auto power = nv("nvoPowerSum");
    setFaults(with([](DeviceFaults &f) { f.commFailAtCall = 2; }));
    EXPECT_EQ(errorOf([&] { power->Value(); }), 0);
    EXPECT_EQ(errorOf([&] { power->Value(); }), kCommFailure);
    EXPECT_EQ(errorOf([&] { power->Value(); }), 0);
    EXPECT_EQ(errorOf([&] { meter->QueryStatus(); }), 0);
}

TEST_F(SimTest, CommunicationFailsAtTheChosenRate)
{
    auto power = nv("nvoPowerSum");
    setFaults(with([](DeviceFaults &f) { f.commFailRate = 0.25; }));
    int failures = 0;
    for (int i = 0; i < 400; ++i)
        failures += errorOf([&] { power->Value(); }) == kCommFailure;
    EXPECT_GT(failures, 60);
    EXPECT_LT(failures, 140);
    setFaults(with([](DeviceFaults &f) { f.commFailRate = 1.0; }));
    EXPECT_EQ(errorOf([&] { meter->SelfTest(); }), kCommFailure);
    setFaults({});
    EXPECT_EQ(errorOf([&] { power->Value(); }), 0);
}

TEST_F(SimTest, SelfTestAndLastErrorAndClearStatus)
{
    setFaults(with([](DeviceFaults &f) { f.selfTestResult = 5; f.lastErrorCode = 11; }));
    EXPECT_EQ(meter->SelfTest(), 5);
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 11);
    meter->ClearStatus();
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 0);
    EXPECT_EQ(SimControl(lonWorks).device("TMC-FT-Log-364").faults.lastErrorCode, 0) << "clearing is kept";
}

TEST_F(SimTest, RefusedWritesChangeNothing)
{
    auto amps = nv("nciCtAmps");
    setFaults(with([](DeviceFaults &f) { f.refuseWrites = true; }));
    EXPECT_EQ(errorOf([&] { amps->SetValue("300"); }), lns::LcaError::kAccessDenied);
    EXPECT_EQ(amps->Value(), "100");
}

// Only the chosen write is refused: reads do not count, and the writes of a transaction's
// commit count as the device takes them.
TEST_F(SimTest, RefusesTheChosenWriteOnly)
{
    auto amps = nv("nciCtAmps");
    auto minutes = nv("nciDemPerMins");
    setFaults(with([](DeviceFaults &f) { f.refuseWriteAt = 2; }));
    EXPECT_EQ(amps->Value(), "100");
    EXPECT_EQ(errorOf([&] { amps->SetValue("200"); }), 0);
    EXPECT_EQ(errorOf([&] { minutes->SetValue("30"); }), lns::LcaError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { minutes->SetValue("20"); }), 0);
    EXPECT_EQ(amps->Value(), "200");
    EXPECT_EQ(minutes->Value(), "20");
    EXPECT_EQ(server->core().deviceWritesSinceFaults(SimControl(lonWorks).device("TMC-FT-Log-364").id), 3u);

    setFaults(with([](DeviceFaults &f) { f.refuseWriteAt = 2; }));
    system->StartTransaction();
    amps->SetValue("300");
    minutes->SetValue("45");
    EXPECT_EQ(errorOf([&] { system->CommitTransaction(); }), lns::LcaError::kAccessDenied);
    EXPECT_EQ(amps->Value(), "300") << "the write before the refused one stays made";
    EXPECT_EQ(minutes->Value(), "20");
    EXPECT_EQ(SimControl(lonWorks).device("TMC-FT-Log-364").faults.refuseWriteAt, 2);
}

TEST_F(SimTest, UpdateErrorOnAMonitoredNv)
{
    auto volts = nv("nvoVoltsA");
    volts->SetMonitorTag(31);
    auto freq = nv("nvoFreq");
    freq->SetMonitorTag(34);
    setFaults(with([](DeviceFaults &f) { f.updateErrorNv = "nvoVoltsA"; }));
    server->DispatchEvents();
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0], std::make_pair(31, kCommFailure));
    ASSERT_EQ(sink.updates.size(), 1u);
    EXPECT_EQ(sink.updates[0].tag, 34);
    EXPECT_NO_THROW(volts->Value()) << "only the monitor's updates fail";
}

TEST_F(SimTest, DeviceThatStopsAnsweringRaisesUpdateErrors)
{
    nv("nvoFreq")->SetMonitorTag(34);
    server->DispatchEvents();
    SimControl control(lonWorks);
    control.setCondition(control.device("TMC-FT-Log-364").id, DeviceCondition::Unconfigured);
    server->DispatchEvents();
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0].first, 34);
}

}  // namespace
}  // namespace tellumic::sim::test
