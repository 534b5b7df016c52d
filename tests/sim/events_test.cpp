#include <gtest/gtest.h>

#include "sim/models/builtin_models.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

using namespace std::chrono_literals;

// A monitored NV with tag 7 and rate 20 (two seconds between polls).
class MonitorTest : public SimTest
{
public:
    void SetUp() override
    {
        SimTest::SetUp();
        amps = nv("nciCtAmps");
        amps->SetMonitorRate(20);
        amps->SetMonitorTag(7);
    }
    std::shared_ptr<lns::Nv> amps;
};

TEST_F(MonitorTest, TurningOnReportsThePresentValueAtTheNextDispatch)
{
    EXPECT_TRUE(amps->IsMonitorOn());
    EXPECT_TRUE(sink.updates.empty()) << "nothing is delivered outside the dispatch";
    server->DispatchEvents();
    ASSERT_EQ(sink.updates.size(), 1u);
    EXPECT_EQ(sink.updates[0].tag, 7);
    EXPECT_EQ(sink.updates[0].value, "100");
    EXPECT_EQ(sink.updates[0].source, "nciCtAmps");
    server->DispatchEvents();
    EXPECT_EQ(sink.updates.size(), 1u) << "an unchanged value raises nothing";
}

TEST_F(MonitorTest, ChangesComeNoFasterThanTheRate)
{
    server->DispatchEvents();
    nv("nciCtAmps")->SetValue("150");
    EXPECT_EQ(sink.updates.size(), 1u) << "a write raises nothing by itself";
    home.clock.advance(1900ms);
    server->DispatchEvents();
    EXPECT_EQ(sink.updates.size(), 1u);
    home.clock.advance(100ms);
    server->DispatchEvents();
    ASSERT_EQ(sink.updates.size(), 2u);
    EXPECT_EQ(sink.updates[1].value, "150");
}

TEST_F(MonitorTest, ChangesByAnotherProcessAreSeen)
{
    server->DispatchEvents();
    auto other = openServer();
    auto d = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    nv("nciCtAmps", d)->SetValue("250");
    home.clock.advance(2s);
    server->DispatchEvents();
    ASSERT_EQ(sink.updates.size(), 2u);
    EXPECT_EQ(sink.updates[1].value, "250");
}

struct StopCase
{
    const char *name;
    std::function<void(MonitorTest &)> stop;
    std::function<void(MonitorTest &)> resume;
};

class MonitorStops : public MonitorTest, public ::testing::WithParamInterface<StopCase>
{
};

TEST_P(MonitorStops, UntilResumed)
{
    server->DispatchEvents();
    GetParam().stop(*this);
    nv("nciCtAmps")->SetValue("175");
    home.clock.advance(10s);
    server->DispatchEvents();
    EXPECT_EQ(sink.updates.size(), 1u);
    GetParam().resume(*this);
    home.clock.advance(2s);
    server->DispatchEvents();
    ASSERT_EQ(sink.updates.size(), 2u);
    EXPECT_EQ(sink.updates[1].value, "175");
}

INSTANTIATE_TEST_SUITE_P(
    Ways, MonitorStops,
    ::testing::Values(StopCase{"TagZero", [](MonitorTest &t) { t.amps->SetMonitorTag(0); },
                               [](MonitorTest &t) { t.amps->SetMonitorTag(7); }},
                      StopCase{"NvPaused", [](MonitorTest &t) { t.amps->SetMonitorPaused(true); },
                               [](MonitorTest &t) { t.amps->SetMonitorPaused(false); }},
                      StopCase{"SystemPaused", [](MonitorTest &t) { t.system->SetPaused(true); },
                               [](MonitorTest &t) { t.system->SetPaused(false); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MonitorTest, EventsAreNeverNestedInADispatch)
{
    int depth = 0;
    int deepest = 0;
    struct NestingSink : RecordingSink
    {
        std::function<void()> inside;
        void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source) override
        {
            RecordingSink::OnNetworkVariableUpdate(tag, value, source);
            inside();
        }
    } nesting;
    nesting.inside = [&] {
        deepest = std::max(deepest, ++depth);
        home.clock.advance(5s);
        nv("nciCtAmps")->SetValue(std::to_string(100 + nesting.updates.size()));
        server->DispatchEvents();
        --depth;
    };
    server->SetEventSink(&nesting);
    server->DispatchEvents();
    EXPECT_EQ(nesting.updates.size(), 1u);
    EXPECT_EQ(deepest, 1);
}

TEST_F(SimTest, ServicePinReachesTheSinkThroughDispatch)
{
    SimControl control(lonWorks);
    const auto thermostat = control.device("Thermostat");
    control.pressServicePin(thermostat.id);
    EXPECT_TRUE(sink.pins.empty());
    server->DispatchEvents();
    ASSERT_EQ(sink.pins.size(), 1u);
    EXPECT_EQ(sink.pins[0].first, thermostat.neuronId);
    EXPECT_EQ(sink.pins[0].second, thermostat.programId);
    server->DispatchEvents();
    EXPECT_EQ(sink.pins.size(), 1u);
}

// The logging meter with one more file, to carry transfers.
class FileDevice final : public DeviceModel
{
public:
    const InterfaceDef &interfaceDef() const override { return m_base->interfaceDef(); }
    Bytes readFile(DeviceState &, std::int32_t number, std::int32_t length) const override
    {
        if (number != 9)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "no such file");
        Bytes out(static_cast<std::size_t>(length));
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<std::uint8_t>(i);
        return out;
    }

private:
    std::shared_ptr<const DeviceModel> m_base = makeMeter363(true, false);
};

// Puts the built-in model back, whatever the test did.
struct ModelSwap
{
    ModelSwap(const std::string &programId, std::shared_ptr<const DeviceModel> model) : programId(programId)
    {
        registerDeviceModel(programId, std::move(model));
    }
    ~ModelSwap() { registerDeviceModel(programId, makeMeter363(true, false)); }
    std::string programId;
};

TEST_F(SimTest, FileTransferRaisesIdleAndEndsWhenCancelled)
{
    ModelSwap swap(meter->ProgramId(), std::make_shared<FileDevice>());
    auto s = openServer(SimOptions{nullptr, {}, {}, 1200.0, 100ms});
    auto d = s->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    auto sys = s->Networks().Item("Demo")->Systems().Item(1);
    s->SetEventSink(&sink);
    auto monitored = nv("nvoFreq", d);
    monitored->SetMonitorTag(3);
    // The event loop runs inside the idle event; monitor updates wait for the end of the transfer.
    sink.onIdle = [&] { s->DispatchEvents(); };

    auto transfer = sys->NewFileTransfer();
    transfer->SetFileNumber(9);
    transfer->SetLength(1200);
    transfer->SetParameters(0, 0, 0);
    transfer->SetTargetDevice(d);
    const auto start = home.clock.now();
    const auto bytes = transfer->Read();
    ASSERT_EQ(bytes.size(), 1200u);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[257], 1);
    EXPECT_EQ(home.clock.now() - start, 1s) << "the channel's time passes on the clock";
    EXPECT_EQ(sink.idles, 10);
    EXPECT_TRUE(sink.updates.empty());
    s->DispatchEvents();
    EXPECT_EQ(sink.updates.size(), 1u);

    sink.idles = 0;
    sink.onIdle = [&] {
        if (sink.idles == 3)
            sys->CancelRunningOperation();
    };
    try {
        transfer->Read();
        FAIL() << "a cancelled transfer succeeded";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kOperationCancelled);
    }
    EXPECT_EQ(sink.idles, 3);
}

}  // namespace
}  // namespace tellumic::sim::test
