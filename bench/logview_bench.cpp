// The log viewer's costs, offscreen: reading a full long-record log (24,392 records, about
// 5.3 MB) into plotted series, the first complete paint of that log, a zoom or pan step's
// repaint at several zoom levels, and files of 1 GB.
//
//   build/bench/logview_bench                                  # all
//   build/bench/logview_bench --benchmark_filter='Read|Paint|Repaint'   # without the 1 GB files

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QPainter>
#include <QPixmap>

#include "foundation/trace_log.h"
#include "logview/chart_export.h"
#include "logview/chart_panel.h"
#include "logview/log_csv_reader.h"
#include "logview/log_data.h"
#include "logview/log_viewer_window.h"
#include "tests/logview/log_lines.h"

namespace {

using namespace tellumic;
using namespace tellumic::logview;

constexpr std::size_t kFullLog = 24392;
constexpr CivilSeconds kStart = test::civil(2025, 6, 1);

std::filesystem::path benchFolder()
{
    static const std::filesystem::path folder = [] {
        auto p = std::filesystem::temp_directory_path() / ("tellumic-logview-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return folder;
}

const std::string &fullLogText()
{
    static const std::string text = test::logText(test::loadRecords(kFullLog, 1, kStart), false);
    return text;
}

const std::filesystem::path &fullLogFile()
{
    static const std::filesystem::path file = [] {
        const auto p = benchFolder() / "Meter-log-full-2025.csv";
        std::ofstream(p, std::ios::binary) << fullLogText();
        return p;
    }();
    return file;
}

long peakRssMb()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// Reading the text of a full long log into the plotted series, without a window.
void BM_ReadFullLongLog(benchmark::State &state)
{
    const std::string &text = fullLogText();
    for (auto _ : state) {
        LogData data = test::readLogData(text);
        benchmark::DoNotOptimize(data.time.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ReadFullLongLog)->Unit(benchmark::kMillisecond);

struct Viewer
{
    Viewer()
    {
        window.resize(1280, 900);
        window.show();
        QCoreApplication::processEvents();
    }
    void open()
    {
        window.openFile(QString::fromStdString(fullLogFile().string()));
        window.loader().waitForFinished();
        window.refreshNow();
    }
    // What the screen shows: the window painted as it stands.
    void paint()
    {
        QCoreApplication::processEvents();
        pixmap = window.grab();
    }
    // What a change costs on screen: the pending layouts run and the widgets that changed
    // are painted into the window's backing store, as the event loop does after an input.
    void repaint() { QCoreApplication::processEvents(); }
    LogViewerWindow window;
    QPixmap pixmap;
};

// From the file to the first complete paint: read on the worker thread, every chart laid
// out and computed, the window painted.
void BM_FirstPaintOfFullLongLog(benchmark::State &state)
{
    fullLogFile();
    for (auto _ : state) {
        Viewer v;
        v.open();
        v.paint();
        benchmark::DoNotOptimize(v.pixmap.cacheKey());
    }
}
BENCHMARK(BM_FirstPaintOfFullLongLog)->Unit(benchmark::kMillisecond);

// All eight charts drawn, as a picture export does (the window shows three or four).
void BM_AllChartsOfFullLongLog(benchmark::State &state)
{
    Viewer v;
    v.open();
    const auto panels = v.window.visiblePanels();
    QImage image(chartsPictureSize(panels), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        v.window.state().zoom(1.0001);
        v.window.refreshNow();
        QPainter p(&image);
        paintCharts(p, panels, QStringLiteral("bench"));
    }
}
BENCHMARK(BM_AllChartsOfFullLongLog)->Unit(benchmark::kMillisecond);

// One zoom step (in, then out again) at a zoom level given in hours shown (0: the whole
// log), as a wheel turn makes it: the view changes, and the event loop redraws the charts in
// sight and paints what changed. The summary, the table and the charts scrolled out of
// sight follow when the view rests (BM_RestAfterZoom).
void BM_ZoomStepRepaint(benchmark::State &state)
{
    Viewer v;
    v.open();
    const double hours = static_cast<double>(state.range(0));
    const TimeRange full = v.window.state().fullRange();
    const double middle = (full.start + full.end) / 2;
    if (hours > 0)
        v.window.state().setRange({middle, middle + hours * 3600});
    v.window.state().setCursor(middle + 1800);
    v.window.refreshNow();
    v.paint();
    bool in = true;
    for (auto _ : state) {
        v.window.state().zoom(in ? 1.25 : 1 / 1.25, middle + 600);
        in = !in;
        v.repaint();
    }
}
BENCHMARK(BM_ZoomStepRepaint)->Arg(0)->Arg(24 * 7)->Arg(24)->Arg(2)->Unit(benchmark::kMillisecond);

// What follows once the view rests after a zoom step: the charts out of sight, the summary.
void BM_RestAfterZoom(benchmark::State &state)
{
    Viewer v;
    v.open();
    v.window.refreshNow();
    v.paint();
    bool in = true;
    for (auto _ : state) {
        state.PauseTiming();
        v.window.state().zoom(in ? 1.25 : 1 / 1.25);
        in = !in;
        v.repaint();
        state.ResumeTiming();
        v.window.refreshNow();
        v.repaint();
    }
}
BENCHMARK(BM_RestAfterZoom)->Unit(benchmark::kMillisecond);

// One pan step of a tenth of the view, back and forth.
void BM_PanStepRepaint(benchmark::State &state)
{
    Viewer v;
    v.open();
    const TimeRange full = v.window.state().fullRange();
    v.window.state().setRange({full.start + 86400 * 30, full.start + 86400 * 37});
    v.window.refreshNow();
    v.paint();
    double step = v.window.state().range().length() / 10;
    for (auto _ : state) {
        v.window.state().pan(step);
        step = -step;
        v.repaint();
    }
}
BENCHMARK(BM_PanStepRepaint)->Unit(benchmark::kMillisecond);

// 1 GB files, read as the viewer reads them (on its worker thread, in 1 MB pieces): the
// same download appended again and again (every record kept once), and a file of more
// records than the viewer holds (reading stops at its limit and says so).
void readGigabyte(benchmark::State &state, bool repeated)
{
    const auto file = benchFolder() / (repeated ? "repeated.csv" : "unique.csv");
    constexpr std::uint64_t kGigabyte = 1ull << 30;
    {
        std::ofstream out(file, std::ios::binary);
        out << logCsvHeader(false) << "\r\n";
        std::uint64_t written = 0;
        std::int32_t first = 1;
        while (written < kGigabyte) {
            const auto records = repeated ? test::loadRecords(kFullLog, 1, kStart)
                                          : test::loadRecords(kFullLog, first, kStart + (first - 1) * 900LL);
            const std::string text = test::logText(records, false, false);
            out << text;
            written += text.size();
            first += static_cast<std::int32_t>(kFullLog);
        }
    }
    for (auto _ : state) {
        LogLoader loader;
        loader.open(QString::fromStdString(file.string()));
        loader.waitForFinished();
        const auto data = loader.data();
        state.counters["records"] = static_cast<double>(data ? data->size() : 0);
        state.counters["duplicates"] = static_cast<double>(data ? data->report.duplicates : 0);
        state.counters["stopped"] = data && data->report.stoppedFull ? 1 : 0;
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file) >> 20);
    state.counters["peak_RSS_MB"] = static_cast<double>(peakRssMb());
    std::filesystem::remove(file);
}

void BM_ReadGigabyteOfRepeatedDownloads(benchmark::State &state)
{
    readGigabyte(state, true);
}
BENCHMARK(BM_ReadGigabyteOfRepeatedDownloads)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ReadGigabyteOfRecords(benchmark::State &state)
{
    readGigabyte(state, false);
}
BENCHMARK(BM_ReadGigabyteOfRecords)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The product's CSV code traces; a benchmark keeps no trace and touches no one's home.
    ::setenv("TELLUMIC_HOME", benchFolder().c_str(), 1);
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(benchFolder());
    return 0;
}
