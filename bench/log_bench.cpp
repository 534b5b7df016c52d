// A full download's work after the transfer: raw records -> decoded -> CSV text in memory,
// and the scan for the last stored record, which must not grow with the file.
//
// Peak memory is measured by counting the bytes allocated through operator new during one
// run of the path, compared with the raw bytes and the CSV text produced.

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include <benchmark/benchmark.h>

#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "tests/log/record_bytes.h"

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

constexpr std::size_t kHeader = alignof(std::max_align_t);

void *countedAlloc(std::size_t size)
{
    auto *p = static_cast<unsigned char *>(std::malloc(size + kHeader));
    if (!p)
        throw std::bad_alloc();
    *reinterpret_cast<std::size_t *>(p) = size;
    const std::size_t live = g_live += size;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return p + kHeader;
}

void countedFree(void *q) noexcept
{
    if (!q)
        return;
    auto *p = static_cast<unsigned char *>(q) - kHeader;
    g_live -= *reinterpret_cast<std::size_t *>(p);
    std::free(p);
}

}  // namespace

void *operator new(std::size_t size)
{
    return countedAlloc(size);
}
void *operator new[](std::size_t size)
{
    return countedAlloc(size);
}
void operator delete(void *p) noexcept
{
    countedFree(p);
}
void operator delete[](void *p) noexcept
{
    countedFree(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    countedFree(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    countedFree(p);
}

namespace tellumic {
namespace {

constexpr std::int32_t kFullLogRecords = 24392;

void quietTrace()
{
    // A plug-in traces only while support asks for it; measure the normal case.
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
}

void BM_DownloadToCsv(benchmark::State &state)
{
    quietTrace();
    const bool isShort = state.range(0) != 0;
    const std::vector<std::uint8_t> raw = test::sampleLog(1, kFullLogRecords, isShort);
    std::size_t csvBytes = 0;
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t base = g_live.load();
        g_peak = base;
        std::string text;
        appendReceivedLogCsv(text, true, raw, receivedRecordCount(raw.size(), isShort), isShort, false);
        benchmark::DoNotOptimize(text.data());
        csvBytes = text.size();
        peak = g_peak.load() - base;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
    state.counters["raw_MB"] = static_cast<double>(raw.size()) / 1e6;
    state.counters["csv_MB"] = static_cast<double>(csvBytes) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_per_csv"] = static_cast<double>(peak) / static_cast<double>(csvBytes);
}
BENCHMARK(BM_DownloadToCsv)->ArgName("short")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FindLastLogRecnum(benchmark::State &state)
{
    quietTrace();
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto path = std::filesystem::temp_directory_path() / ("tellumic-bench-" + std::to_string(size) + ".csv");
    {
        std::string line = "1201,2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. \r\n";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string block;
        while (block.size() < (1u << 20))
            block += line;
        for (std::size_t written = 0; written < size;) {
            const std::size_t n = std::min(block.size(), size - written);
            out.write(block.data(), static_cast<std::streamsize>(n));
            written += n;
        }
        out << "99999,2011-03-05 12:30:00,1,1,900,,,,,,,,\r\n";
    }
    for (auto _ : state) {
        LogDateTime last;
        benchmark::DoNotOptimize(FindLastLogRecnum(path, last));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_FindLastLogRecnum)->ArgName("bytes")->Arg(10'000)->Arg(100'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tellumic

BENCHMARK_MAIN();
