// The record store filled from a site's CSV logs: 60 full long logs (24392 records each,
// about 1.46 million records) loaded into each back-end, then the same files loaded again
// (which must add nothing): as the store command loads them, from where the last load
// stopped, and read whole; and the views last_records and daily_energy (one meter) on it. The PostgreSQL server is a private one that the benchmark starts
// in a temporary folder and stops at the end.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>

#include "foundation/trace_log.h"
#include "store/csv_loader.h"
#include "store/csv_records.h"
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

// CPU seconds of this process and of the store's server process (pid 0: none) so far. The
// machine is shared: next to the wall time, the CPU time a load took shows its own cost.
double cpuSeconds(int serverPid)
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    double seconds = static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    if (serverPid > 0) {
        std::ifstream stat("/proc/" + std::to_string(serverPid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i >= 14)
                ticks += std::stol(field);  // utime, stime
        seconds += static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return seconds;
}

struct Load
{
    std::int64_t added = 0;
    double seconds = 0, cpuSeconds = 0;
};

// Loads every log as tellumic-log store does (what the store does not have of each file), or
// every file whole.
Load loadSite(store::RecordStore &s, bool whole, int serverPid)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds(serverPid);
    Load load;
    std::vector<store::MeterFile> files;
    for (const auto &file : siteLogs())
        files.push_back({store::meterOfLogFile(file, "Site"), file});
    store::loadLogFiles(s, files, whole, [&](std::size_t, const store::LoadResult &r, const std::string &error) {
        if (!error.empty())
            std::abort();
        load.added += r.added;
    });
    load.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    load.cpuSeconds = cpuSeconds(serverPid) - cpuStart;
    return load;
}

// The best of three runs of a query.
double querySeconds(store::RecordStore &s, const std::string &sql)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (s.queryText(sql).empty())
            std::abort();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void runLoad(benchmark::State &state, const std::function<std::string()> &newStoreUrl, bool server)
{
    quietTrace();
    siteLogs();
    for (auto _ : state) {
        auto s = store::openRecordStore(newStoreUrl());
        const int pid = server ? std::stoi(s->queryText("SELECT pg_backend_pid()").at(0).at(0)) : 0;
        const Load first = loadSite(*s, false, pid);
        // The views a dashboard asks: every meter's newest record, and one meter's days.
        state.counters["last_records_s"] = querySeconds(*s, "SELECT * FROM last_records");
        state.counters["daily_one_meter_s"] =
            querySeconds(*s, "SELECT day, energy_kwh FROM daily_energy WHERE device_name = 'Meter7'");
        const Load again = loadSite(*s, false, pid);
        const Load reread = loadSite(*s, true, pid);
        state.SetIterationTime(first.seconds);
        state.counters["records"] = static_cast<double>(first.added);
        state.counters["records_per_s"] = static_cast<double>(first.added) / first.seconds;
        state.counters["records_per_cpu_s"] = static_cast<double>(first.added) / first.cpuSeconds;
        state.counters["reload_added"] = static_cast<double>(again.added);
        state.counters["reload_s"] = again.seconds;
        state.counters["reread_added"] = static_cast<double>(reread.added);
        state.counters["reread_s"] = reread.seconds;
        state.counters["reread_cpu_s"] = reread.cpuSeconds;
    }
}

// Reading the logs alone, the share of a load that is the same for both back-ends.
void BM_ReadLogs(benchmark::State &state)
{
    quietTrace();
    siteLogs();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds(0);
        std::int64_t records = 0;
        for (const auto &file : siteLogs()) {
            std::ifstream in(file, std::ios::binary);
            std::string text(std::filesystem::file_size(file), '\0');
            in.read(text.data(), static_cast<std::streamsize>(text.size()));
            store::RecordBatch batch;
            store::readLogCsvText(text, false, batch);
            records += static_cast<std::int64_t>(batch.records.size());
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["records_per_s"] = static_cast<double>(records) / seconds;
        state.counters["records_per_cpu_s"] = static_cast<double>(records) / (cpuSeconds(0) - cpuStart);
    }
}
BENCHMARK(BM_ReadLogs)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_LoadSqlite(benchmark::State &state)
{
    int n = 0;
    runLoad(state, [&] {
        const auto path = siteLogs().front().parent_path() / ("store" + std::to_string(++n) + ".sqlite");
        return "sqlite:" + path.string();
    }, false);
}
BENCHMARK(BM_LoadSqlite)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_LoadPostgresql(benchmark::State &state)
{
    auto *server = test::PostgresServer::instance();
    if (!server) {
        state.SkipWithError(test::PostgresServer::skipReason().c_str());
        return;
    }
    runLoad(state, [&] { return server->newDatabaseUrl(); }, true);
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
