// What durability costs the harvest: a chunk of 512 long records appended to a CSV log and
// made durable before its records count as harvested (as every chunk of a harvest is), and a
// log of a year replaced whole (as a backfill, a save or an export replaces a file), made
// durable with its folder. Against the channel, a chunk of long records takes 111 s to
// arrive; its write must stay far below that.
//
// The files are written in a folder made in the working directory (run it from the build
// folder on the disk the program folder lives on: a tmpfs makes durability free).

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "foundation/file_io.h"
#include "log/harvest.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "tests/log/record_bytes.h"

namespace {

std::filesystem::path benchFolder()
{
    std::string pattern = (std::filesystem::current_path() / "log-durability-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for the benchmark");
    return pattern;
}

std::string chunkLines(std::int32_t first, std::int32_t count)
{
    std::vector<tellumic::LogRecord> records;
    for (std::int32_t n = first; n < first + count; ++n)
        records.push_back(tellumic::test::sampleRecord(n, false));
    std::string text;
    tellumic::appendLogDataCsv(text, false, records, false, false, false);
    return text;
}

void BM_HarvestChunkAppend(benchmark::State &state)
{
    const auto folder = benchFolder();
    const auto path = folder / "Bench-Meter-log-full-2026.csv";
    const std::string lines = chunkLines(1, tellumic::kHarvestChunkRecords);
    for (auto _ : state) {
        // A chunk's write as the harvest makes it: open under the lock, append, sync, close.
        auto file = tellumic::LogCsvFile::open(path, false);
        if (file->sizeAtOpen() == 0)
            file->append({tellumic::logCsvHeader(false), "\r\n", lines});
        else
            file->append({lines});
        file->sync();
        file->close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
    state.counters["chunk_bytes"] = static_cast<double>(lines.size());
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_HarvestChunkAppend)->Unit(benchmark::kMillisecond);

void BM_ReplaceLogFile(benchmark::State &state)
{
    const auto folder = benchFolder();
    const auto path = folder / "Bench-Meter-log-full-2026.csv";
    const std::string text = std::string(tellumic::logCsvHeader(false)) + "\r\n" +
                             chunkLines(1, static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state)
        tellumic::replaceFile(path, text);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
    std::filesystem::remove_all(folder);
}
// A meter's whole log (24192 records) and a small file.
BENCHMARK(BM_ReplaceLogFile)->ArgName("records")->Arg(100)->Arg(24192)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
