// Reading configuration files a person or a program may have made: a real one, the largest
// file that is read at all (1 MiB of unknown entries, refused at the first), and the largest
// that is accepted (one entry's text filling the file). Each costs time in proportion to
// its size at most.

#include <benchmark/benchmark.h>

#include <string>

#include "config/config_file.h"

namespace {

using namespace tellumic::config;

const std::string kHead = R"({
  "format": 1, "programId": "80B7E515000A040A", "family": "363", "firmware": "3.3",
  "model": "TMC-FT-Log-364", "device": "Plant-Meter-01", "network": "Plant", "neuronId": "070000002000",
  "saved": "2026-12-10T23:13:11Z", "pluginVersion": "1.11",
  "entries": {
    "SCPTmaxSndT": { "raw": "0 0:5:0:0", "text": "300", "unit": "s" },
    "nciCtAmps": { "raw": "250", "text": "250", "unit": "A" },
    "nciDemPerMins": { "raw": "15", "text": "15", "unit": "min" })";

void parseRealFile(benchmark::State &state)
{
    const std::string text = kHead + "\n  }\n}\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(parseConfig(text));
}
BENCHMARK(parseRealFile);

void refuseUnknownEntries(benchmark::State &state)
{
    std::string text = kHead;
    for (int i = 0; text.size() < kMaxConfigBytes - 64; ++i)
        text += ",\n    \"x" + std::to_string(i) + "\": {}";
    text += "\n  }\n}\n";
    for (auto _ : state) {
        try {
            parseConfig(text);
        } catch (const tellumic::RuntimeError &e) {
            benchmark::DoNotOptimize(e.description());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(refuseUnknownEntries)->Unit(benchmark::kMillisecond);

void acceptLargestFile(benchmark::State &state)
{
    // An entry that another family's meters have (not this model) keeps any text.
    std::string text = kHead + ",\n    \"nciCtAmps_f\": { \"raw\": \"";
    text += std::string(kMaxConfigBytes - text.size() - 64, 'x');
    text += "\", \"text\": \"\", \"unit\": \"\" }\n  }\n}\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(parseConfig(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(acceptLargestFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
