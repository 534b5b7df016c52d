// The simulator's own cost of an NV read and a CP read, with no device latency, so that
// measurements of the plug-in are not the simulator's.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "sim/installation.h"
#include "sim/sim_object_server.h"

namespace {

using namespace tellumic;

struct Demo
{
    Demo()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tellumic-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        home = pattern;
        ::setenv("TELLUMIC_HOME", home.c_str(), 1);
        server = std::make_unique<sim::SimObjectServer>(sim::createDemoInstallation(home).lonWorksFolder);
        server->Open();
        auto net = server->Networks().Item("Demo");
        net->Open();
        auto sys = net->Systems().Item(1);
        sys->Open();
        meter = sys->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
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

}  // namespace

BENCHMARK_MAIN();
