// The simulator's own cost of an NV read and a CP read, with no device latency, so that
// measurements of the plug-in are not the simulator's; and of making a full long-record log
// (24192 records) for file 5, with the channel's time sped up out of the way.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "sim/installation.h"
#include "sim/sim_object_server.h"

namespace {

using namespace tellumic;

struct Demo
{
    explicit Demo(sim::SimOptions options = {})
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tellumic-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        home = pattern;
        ::setenv("TELLUMIC_HOME", home.c_str(), 1);
        server = std::make_unique<sim::SimObjectServer>(sim::createDemoInstallation(home).lonWorksFolder, options);
        server->Open();
        auto net = server->Networks().Item("Demo");
        net->Open();
        auto sys = net->Systems().Item(1);
        sys->Open();
        meter = sys->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
        system = sys;
    }
    ~Demo()
    {
        server.reset();
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    std::filesystem::path home;
    std::unique_ptr<sim::SimObjectServer> server;
    std::shared_ptr<lns::AppDevice> meter;
    std::shared_ptr<lns::System> system;
};

void BM_NvRead(benchmark::State &state)
{
    Demo demo;
    auto nv = demo.meter->GetInterface()->Nvs().Item("nvoPowerSum");
    for (auto _ : state)
        benchmark::DoNotOptimize(nv->Value());
}
BENCHMARK(BM_NvRead);

void BM_CpRead(benchmark::State &state)
{
    Demo demo;
    auto cp = demo.meter->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item("UCPTserialNumber");
    for (auto _ : state)
        benchmark::DoNotOptimize(cp->Value());
}
BENCHMARK(BM_CpRead);

void BM_NvWrite(benchmark::State &state)
{
    Demo demo;
    auto nv = demo.meter->GetInterface()->Nvs().Item("nciCtAmps");
    int i = 0;
    for (auto _ : state)
        nv->SetValue(std::to_string(100 + (++i % 100)));
}
BENCHMARK(BM_NvWrite);

// A computed reading: the peak demand (demand periods since the last look).
void BM_PeakDemandRead(benchmark::State &state)
{
    Demo demo;
    auto nv = demo.meter->GetInterface()->Nvs().Item("nvoDemandPk");
    for (auto _ : state)
        benchmark::DoNotOptimize(nv->Value());
}
BENCHMARK(BM_PeakDemandRead);

void BM_FullLongLogRead(benchmark::State &state)
{
    sim::SimOptions options;
    options.transferSpeedFactor = 1e7;
    Demo demo(options);
    auto request = demo.system->NewFileTransfer();
    request->SetFileNumber(4);
    request->SetTargetDevice(demo.meter);
    std::vector<std::uint8_t> bytes(42, 0);
    bytes[1] = 0x00, bytes[2] = 0x00, bytes[3] = 0x5F, bytes[4] = 0x48;  // 24392 records
    bytes[40] = 2;
    request->Write(bytes);
    for (auto _ : state) {
        auto read = demo.system->NewFileTransfer();
        read->SetFileNumber(5);
        read->SetLength(86 * 24392);
        read->SetTargetDevice(demo.meter);
        benchmark::DoNotOptimize(read->Read());
    }
}
BENCHMARK(BM_FullLongLogRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
