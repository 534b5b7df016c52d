// The device window's costs on the simulated network at zero latency, offscreen: start-up
// for a meter, a tab change with its monitoring update, and NV update events shown; and how
// often a start-up on a lossy channel gets live, at first and after one Reconnect.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>

#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <filesystem>

#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "device/monitor.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"
#include "model/nv_cp.h"
#include "sim/installation.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"

namespace {

using namespace tellumic;

// The demo installation in a temporary home, its network open, a device window.
struct Fixture
{
    Fixture()
    {
        home = std::filesystem::temp_directory_path() / ("tellumic-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home / "Plug-In");
        ::setenv("TELLUMIC_HOME", home.c_str(), 1);
        auto log = std::make_unique<TraceLog>(home / "Plug-In", processClock());
        setProcessTraceLog(std::move(log));
        std::ofstream(home / "Plug-In" / "TmPlugin.log");  // an existing trace: this process does not trace
        lonWorks = sim::createDemoInstallation(home).lonWorksFolder;
        server = std::make_shared<sim::SimObjectServer>(lonWorks);
        server->Open();
        auto network = server->Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        plugIn().ObjectServer = server;
        plugIn().CurrentNetwork = network;
        plugIn().CurrentSystem = system;
        window = std::make_unique<DeviceWindow>();
        window->attachObjectServer(server);
    }
    ~Fixture()
    {
        window.reset();
        plugIn() = PlugInState{};
        std::filesystem::remove_all(home);
    }
    bool open(const std::string &name)
    {
        window->releaseDevice();
        plugIn().CurrentDevice = plugIn().CurrentSystem->Subsystems().Item("Meters")->AppDevices().Item(name);
        return window->SetDevTemplateLabel() && window->InitDevice();
    }

    std::filesystem::path home;
    std::filesystem::path lonWorks;
    std::shared_ptr<sim::SimObjectServer> server;
    std::unique_ptr<DeviceWindow> window;
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_InitDevice362(benchmark::State &state)
{
    auto &f = fixture();
    for (auto _ : state)
        if (!f.open("TMC-FT-362"))
            state.SkipWithError("InitDevice failed");
}
BENCHMARK(BM_InitDevice362)->Unit(benchmark::kMillisecond);

void BM_TabChangeWithMonitoring(benchmark::State &state)
{
    auto &f = fixture();
    f.open("TMC-FT-362");
    int tab = 1;
    for (auto _ : state) {
        f.window->tabs().setCurrentIndex(tab);  // runs "UpdateNvMonitoring," + caption at once
        tab = tab == 1 ? 4 : 1;
    }
}
BENCHMARK(BM_TabChangeWithMonitoring)->Unit(benchmark::kMillisecond);

void BM_NvUpdateEventsShown(benchmark::State &state)
{
    auto &f = fixture();
    f.open("TMC-FT-362");
    const auto &cat = nvCpCatalogue();
    const NvCp *power = cat.byName("nvoPowerSum");
    auto source = CurrentNvs().Item("nvoPowerSum");
    double value = 1000;
    for (auto _ : state) {
        value += 0.5;
        f.window->OnNetworkVariableUpdate(power->MonitorTag, std::to_string(value), source);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NvUpdateEventsShown);

// A user who answers every Abort/Retry/Ignore question with Retry; other boxes get their
// default button.
class RetryingDialogs final : public Dialogs
{
public:
    MsgResult messageBox(std::string_view, int style, std::string_view) override
    {
        return MsgStyle::buttons(style) == MsgStyle::kAbortRetryIgnore ? MsgResult::Retry : defaultButtonOf(style);
    }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
};

// Twenty start-ups of one meter while 5 % of its transactions fail (comm-fail-rate 0.05),
// each followed by one Reconnect when it did not get live. Questions are answered with
// their default button (Abort), as the plug-in does without a user, or with Retry.
// Counters: live_at_start and live_after_reconnect, out of 20.
void BM_StartUpsUnderCommFailures(benchmark::State &state)
{
    static const char *const meters[] = {"TMB-FT-Plus-208", "TMC-FT-362", "TMC-FT-Log-PT-370"};
    const std::string meter = meters[state.range(0)];
    RetryingDialogs retrying;
    setDialogs(state.range(1) ? static_cast<Dialogs *>(&retrying) : nullptr);
    auto &f = fixture();
    sim::SimControl control(f.lonWorks);
    const auto id = control.device(meter).id;
    sim::DeviceFaults faults;
    faults.commFailRate = 0.05;
    control.setFaults(id, faults);
    int first = 0, afterReconnect = 0;
    for (auto _ : state) {
        first = afterReconnect = 0;
        for (int i = 0; i < 20; ++i) {
            LnsBusy() = false;
            const bool live = f.open(meter);
            first += live;
            afterReconnect += live || f.window->Reconnect();
        }
    }
    control.setFaults(id, sim::DeviceFaults{});
    setDialogs(nullptr);
    state.counters["live_at_start"] = first;
    state.counters["live_after_reconnect"] = afterReconnect;
    state.SetLabel(meter + (state.range(1) ? ", Retry answered" : ", default answers"));
}
BENCHMARK(BM_StartUpsUnderCommFailures)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
