// The record store filled from a site's CSV logs: 60 full long logs (24392 records each,
// about 1.46 million records) loaded into each back-end, then the same files loaded again
// (which must add nothing). The PostgreSQL server is a private one that the benchmark starts
// in a temporary folder and stops at the end.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>

#include "foundation/trace_log.h"
#include "store/csv_loader.h"
#include "tests/log/record_bytes.h"
#include "tests/support/postgres_server.h"

namespace tellumic {
namespace {

constexpr int kMeters = 60;
constexpr std::int32_t kFullLogRecords = 24392;

void quietTrace()
{
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
}

// The site's logs, written once for every benchmark.
const std::vector<std::filesystem::path> &siteLogs()
{
    static const std::vector<std::filesystem::path> files = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tellumic-store-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        std::vector<std::filesystem::path> out;
        std::vector<LogRecord> records;
        for (std::int32_t n = 1; n <= kFullLogRecords; ++n) {
            records.push_back(test::sampleRecord(n, false));
            records.back().crcGood = true;
        }
        for (int m = 1; m <= kMeters; ++m) {
            for (auto &r : records)
                r.demand = static_cast<float>(m * 100 + r.recordNumber % 1000) + 0.25f;
            std::string text;
            appendLogDataCsv(text, true, records, false, false, false);
            const auto path = std::filesystem::path(tmpl) / ("Meter" + std::to_string(m) + "-log-full-2011.csv");
            std::FILE *f = std::fopen(path.c_str(), "wb");
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
            out.push_back(path);
        }
        return out;
    }();
    return files;
}

// Loads every log, whole; returns the records added and the seconds taken.
std::pair<std::int64_t, double> loadSite(store::RecordStore &s)
{
    const auto start = std::chrono::steady_clock::now();
    std::int64_t added = 0;
    for (const auto &file : siteLogs())
        added += store::loadLogFile(s, store::meterOfLogFile(file, "Site"), file, true).added;
    return {added, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

void runLoad(benchmark::State &state, const std::function<std::string()> &newStoreUrl)
{
    quietTrace();
    siteLogs();
    for (auto _ : state) {
        auto s = store::openRecordStore(newStoreUrl());
        const auto [added, seconds] = loadSite(*s);
        const auto [again, reloadSeconds] = loadSite(*s);
        state.SetIterationTime(seconds);
        state.counters["records"] = static_cast<double>(added);
        state.counters["records_per_s"] = static_cast<double>(added) / seconds;
        state.counters["reload_added"] = static_cast<double>(again);
        state.counters["reload_s"] = reloadSeconds;
    }
}

void BM_LoadSqlite(benchmark::State &state)
{
    int n = 0;
    runLoad(state, [&] {
        const auto path = siteLogs().front().parent_path() / ("store" + std::to_string(++n) + ".sqlite");
        return "sqlite:" + path.string();
    });
}
BENCHMARK(BM_LoadSqlite)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_LoadPostgresql(benchmark::State &state)
{
    auto *server = test::PostgresServer::instance();
    if (!server) {
        state.SkipWithError(test::PostgresServer::skipReason().c_str());
        return;
    }
    runLoad(state, [&] { return server->newDatabaseUrl(); });
}
BENCHMARK(BM_LoadPostgresql)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tellumic

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (!tellumic::siteLogs().empty())
        std::filesystem::remove_all(tellumic::siteLogs().front().parent_path(), ec);
    return 0;
}
