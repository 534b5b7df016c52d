// The parse of an object name from the bus by its length: the time per byte stays flat
// when the parse is linear (names of 1k to 30k "a/" pairs, within the 16-bit part count; the bus takes
// up to 1024 characters).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "foundation/clock.h"
#include "foundation/trace_log.h"
#include "host/object_names.h"

namespace {

void quiet()
{
    auto trace = std::make_unique<tellumic::TraceLog>(std::filesystem::path(), tellumic::processClock());
    trace->forceState(tellumic::TraceLog::Off);
    tellumic::setProcessTraceLog(std::move(trace));
}

void BM_ParseObjectName(benchmark::State &state)
{
    quiet();
    std::string name;
    for (std::int64_t i = 0; i < state.range(0); ++i)
        name += "a/";
    for (auto _ : state)
        benchmark::DoNotOptimize(tellumic::ParseObjectName(name));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(name.size()));
}
BENCHMARK(BM_ParseObjectName)->Arg(1000)->Arg(3000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
