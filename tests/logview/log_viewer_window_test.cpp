// The log viewer window offscreen: files of both formats and bad files, a file that grows
// while it is shown, the legend, zoom and pan, the cursor, and the exports.

#include "tests/logview/log_viewer_fixture.h"

namespace tellumic::logview {
namespace {

// Each format shows its charts and no others; the summary and status say what was read.
TEST_F(LogViewerWindowTest, ShowsTheChartsOfTheFormat)
{
    for (const bool isShort : {false, true}) {
        show(isShort);
        std::vector<ChartGroup> shown;
        for (ChartPanel *p : window->visiblePanels())
            shown.push_back(p->group());
        if (isShort)
            EXPECT_EQ(shown, (std::vector<ChartGroup>{ChartGroup::Demand, ChartGroup::Energy}));
        else
            EXPECT_EQ(shown.size(), kChartGroupCount);
        EXPECT_TRUE(window->summary().contains(QStringLiteral("Records: 672\n"))) << window->summary().toStdString();
        EXPECT_TRUE(window->status().contains(isShort ? QStringLiteral("672 short records")
                                                       : QStringLiteral("672 long records")))
            << window->status().toStdString();
        EXPECT_EQ(range().start, static_cast<double>(kStart));
        EXPECT_FALSE(window->panel(ChartGroup::Demand)->content().lines.empty());
        EXPECT_FALSE(window->panel(ChartGroup::Energy)->content().bars.bars.empty());
        EXPECT_TRUE(home.dialogs.shown().empty());
    }
}

struct BadFile
{
    const char *what;
    std::string text;
    const char *says;
};

class BadFiles : public LogViewerWindowTest, public ::testing::WithParamInterface<BadFile>
{
};

TEST_P(BadFiles, AreToldNotShown)
{
    const auto path = home.root() / "bad.csv";
    test::writeFile(path, GetParam().text);
    open(path);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_NE(home.dialogs.shown()[0].text.find(GetParam().says), std::string::npos) << home.dialogs.shown()[0].text;
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Tellumic Log Viewer");
    EXPECT_FALSE(window->state().data());
    EXPECT_TRUE(window->status().contains(QStringLiteral("cannot be shown"))) << window->status().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFiles,
    ::testing::Values(BadFile{"empty", "", "the file is empty"},
                      BadFile{"not a log", "Date;Value\r\n2026-03-01;5\r\n", "not a CSV log file"},
                      BadFile{"header only half there", "RecordNum,DateTime,Energy", "no complete header line"},
                      BadFile{"other columns", "RecordNum,DateTime,EnergySum\r\n", "match neither log format"}),
    [](const auto &info) { return test::caseName(info.param.what); });

TEST_F(LogViewerWindowTest, AMissingFileIsTold)
{
    open(home.root() / "gone.csv");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_NE(home.dialogs.shown()[0].text.find("gone.csv cannot be shown"), std::string::npos);
}

// A pipe named like a log is refused, never read: reading one could block the reading task
// for good, and closing the window waits for that task. A link to a log is followed, since
// the viewer only reads.
TEST_F(LogViewerWindowTest, APipeIsToldAndALinkIsFollowed)
{
    const auto pipe = home.root() / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    open(pipe);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_NE(home.dialogs.shown()[0].text.find("is not a regular file"), std::string::npos)
        << home.dialogs.shown()[0].text;
    EXPECT_FALSE(window->state().data());

    const auto path = show(true, 1);
    const auto link = home.root() / "link.csv";
    std::filesystem::create_symlink(path, link);
    open(link);
    EXPECT_EQ(home.dialogs.shown().size(), 1u) << home.dialogs.shown().back().text;
    ASSERT_TRUE(window->state().data());
    EXPECT_EQ(window->state().data()->time.size(), 96u);
}

// A power failure and a lost record break the lines where they happened; their markers on
// the time axis tell their notes.
TEST_F(LogViewerWindowTest, EventsBreakTheLinesAndTellTheirNotes)
{
    records = test::loadRecords(96, 1, kStart);
    records[40].flags = LogFlag::kPowerFail;
    const auto path = home.root() / "Meter-log-short-2026.csv";
    test::writeFile(path, test::logText({records.begin(), records.begin() + 60}, true) + std::string(12, ',') +
                              "CRC mismatch. \r\n" + test::logText({records.begin() + 61, records.end()}, true, false));
    open(path);
    ChartPanel *demand = window->panel(ChartGroup::Demand);
    ASSERT_EQ(demand->content().lines.size(), 1u);
    const Trace &trace = demand->content().lines[0].trace;
    ASSERT_EQ(trace.segmentCount(), 3u);
    EXPECT_EQ(trace.segment(1).front().x, static_cast<double>(kStart + 40 * 900));
    EXPECT_EQ(trace.segment(2).front().x, static_cast<double>(kStart + 61 * 900));

    QWidget *viewport = demand->view()->viewport();
    const QRectF plot = demand->view()->mapFromScene(demand->chart()->plotArea()).boundingRect();
    const TimeRange r = range();
    auto tipAt = [&](CivilSeconds t) {
        const QPoint at(static_cast<int>(std::lround(plot.left() + (static_cast<double>(t) - r.start) / r.length() * plot.width())),
                        static_cast<int>(plot.bottom()) - 4);
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(kStart + 20 * 900), QString()) << "no marker there";
    EXPECT_EQ(tipAt(kStart + 40 * 900), QStringLiteral("2026-03-01 10:00:00  Power failed."));
    EXPECT_EQ(tipAt(kStart + 60 * 900), QStringLiteral("2026-03-01 15:00:00  CRC mismatch."));
}

// Records missing from the file and a stretch of time without records are marked on the time
// axis, each with its note, and listed under Events in the Summary.
TEST_F(LogViewerWindowTest, GapsAreMarkedAndListedUnderEvents)
{
    records = test::loadRecords(96, 1, kStart);
    for (std::size_t i = 30; i < records.size(); ++i) {
        records[i].recordNumber += 10;  // records 31 to 40 missing while the times run on
        if (i >= 70)
            records[i].dateTime = test::logDateTime(kStart + static_cast<CivilSeconds>(i) * 900 + 7200);
    }
    const auto path = home.root() / "Meter-log-short-2026.csv";
    test::writeFile(path, test::logText(records, true));
    open(path);

    ChartPanel *demand = window->panel(ChartGroup::Demand);
    QWidget *viewport = demand->view()->viewport();
    const QRectF plot = demand->view()->mapFromScene(demand->chart()->plotArea()).boundingRect();
    const TimeRange r = range();
    auto tipAt = [&](CivilSeconds t) {
        const QPoint at(static_cast<int>(std::lround(plot.left() + (static_cast<double>(t) - r.start) / r.length() * plot.width())),
                        static_cast<int>(plot.bottom()) - 4);
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(kStart + 50 * 900), QString()) << "no marker there";
    EXPECT_EQ(tipAt(kStart + 29 * 900 + 450), QStringLiteral("2026-03-01 07:22:30  records 31 to 40 missing"));
    EXPECT_EQ(tipAt(kStart + 69 * 900 + 4050),
              QStringLiteral("2026-03-01 18:22:30  no records from 2026-03-01 17:15:00 to 2026-03-01 19:30:00"));

    const std::string summary = window->summary().toStdString();
    EXPECT_NE(summary.find("Events: 1 gap in the record numbers, 1 gap in time\n"
                           "  records 31 to 40 missing (around 2026-03-01 07:22:30)\n"
                           "  no records from 2026-03-01 17:15:00 to 2026-03-01 19:30:00\n"),
              std::string::npos)
        << summary;
}

// Odd lines leave a plot and a note of what was skipped.
TEST_F(LogViewerWindowTest, SkippedLinesAreNotedBesideThePlot)
{
    show(false, 2, "garbage line\r\n" + std::string(35, ',') + "CRC mismatch. \r\n1,2026-03-0");
    EXPECT_TRUE(home.dialogs.shown().empty());
    const QString summary = window->summary();
    EXPECT_TRUE(summary.contains(QStringLiteral("2 lines skipped: 1 wrong number of fields, 1 incomplete, no line end "
                                                "(lines 195, 197)")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("1 line without values"))) << summary.toStdString();
    EXPECT_TRUE(window->status().contains(QStringLiteral("2 lines skipped"))) << window->status().toStdString();
}

// A download appends to the file while it is shown: the new records appear, a zoomed view
// stays where it is, and a line still being written is read once it is complete.
TEST_F(LogViewerWindowTest, FollowsAFileThatADownloadAppendsTo)
{
    const auto path = show(true, 1);
    const TimeRange morning{static_cast<double>(kStart + 6 * 3600), static_cast<double>(kStart + 12 * 3600)};
    window->state().setRange(morning);
    auto more = test::loadRecords(96, 1096, kStart + 86400);
    std::string appended = test::logText(more, true, false);
    const std::size_t cut = appended.size() - 10;
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << appended.substr(0, cut);
    }
    window->loader().checkForChanges();
    settle();
    EXPECT_EQ(window->state().data()->size(), 96u + 95u);
    EXPECT_EQ(range().start, morning.start);
    EXPECT_EQ(range().end, morning.end);
    EXPECT_TRUE(window->summary().contains(QStringLiteral("1 incomplete, no line end"))) << window->summary().toStdString();
    EXPECT_TRUE(window->status().contains(QStringLiteral("95 new since it was opened"))) << window->status().toStdString();
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << appended.substr(cut);
    }
    window->loader().checkForChanges();
    settle();
    EXPECT_EQ(window->state().data()->size(), 192u);
    EXPECT_FALSE(window->summary().contains(QStringLiteral("skipped"))) << window->summary().toStdString();

    // A file replaced by another is read from its start.
    test::writeFile(path, test::logText(more, true));
    window->loader().checkForChanges();
    settle();
    EXPECT_EQ(window->state().data()->size(), 96u);
    EXPECT_EQ(window->state().data()->recordNumber.front(), 1096);
}

// The toolbar zooms and resets; the view stays inside the log and no narrower than ten minutes.
TEST_F(LogViewerWindowTest, ZoomAndResetThroughTheToolbar)
{
    show(false);
    const TimeRange full = range();
    ASSERT_TRUE(test::press(toolButton(QStringLiteral("Zoom In"))));
    EXPECT_NEAR(range().length(), full.length() / 1.5, 1);
    for (int i = 0; i < 40; ++i)
        test::press(toolButton(QStringLiteral("Zoom In")));
    EXPECT_DOUBLE_EQ(range().length(), LogViewState::kMinSpanSeconds);
    ASSERT_TRUE(test::press(toolButton(QStringLiteral("Whole Log"))));
    EXPECT_EQ(range().start, full.start);
    EXPECT_EQ(range().end, full.end);
    ASSERT_TRUE(menu(QStringLiteral("View"), QStringLiteral("Zoom Out")));
    EXPECT_EQ(range().length(), full.length()) << "never wider than the log";
}

// The mouse: the wheel zooms about the pointer, a drag pans, a Shift+drag zooms to its span,
// and the pointer moves the cursor whose readout names the record.
TEST_F(LogViewerWindowTest, WheelDragBandAndCursor)
{
    show(false, 2);
    ChartPanel *demand = window->panel(ChartGroup::Demand);
    QWidget *viewport = demand->view()->viewport();
    const QRectF plot = demand->view()->mapFromScene(demand->chart()->plotArea()).boundingRect();
    const QPoint middle = plot.center().toPoint();
    const TimeRange full = range();
    const double timeAtMiddle = full.start + (middle.x() - plot.left()) / plot.width() * full.length();

    QWheelEvent wheel(middle, viewport->mapToGlobal(middle), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_NEAR(range().length(), full.length() / 1.25, 1);
    EXPECT_NEAR(range().start + (middle.x() - plot.left()) / plot.width() * range().length(), timeAtMiddle, 1)
        << "the time under the pointer stays put";

    test::press(toolButton(QStringLiteral("Whole Log")));
    const QPoint from(static_cast<int>(plot.left() + plot.width() * 0.25), middle.y());
    const QPoint to(static_cast<int>(plot.left() + plot.width() * 0.75), middle.y());
    QTest::mousePress(viewport, Qt::LeftButton, Qt::ShiftModifier, from);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::ShiftModifier, to);
    EXPECT_NEAR(range().start, full.start + full.length() * (from.x() - plot.left()) / plot.width(), 60);
    EXPECT_NEAR(range().end, full.start + full.length() * (to.x() - plot.left()) / plot.width(), 60);

    const TimeRange zoomed = range();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, to);
    QTest::mouseMove(viewport, from);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, from);
    EXPECT_NEAR(range().start, zoomed.start + zoomed.length() * (to.x() - from.x()) / plot.width(), 60)
        << "dragging to the left shows later times";

    QTest::mouseMove(viewport, middle);
    window->refreshNow();
    ASSERT_TRUE(window->state().cursor());
    const std::size_t at = window->state().data()->nearest(*window->state().cursor());
    const QString readout = window->readout();
    EXPECT_TRUE(readout.startsWith(QStringLiteral("Record %1 at ").arg(window->state().data()->recordNumber[at])))
        << readout.toStdString();
    for (const char *series : {"Demand: ", "PowerA: ", "VoltsC: ", "PF-B: ", "Frequency: ", "Interval energy: "})
        EXPECT_TRUE(readout.contains(QString::fromLatin1(series))) << series << "\n" << readout.toStdString();
    EXPECT_FALSE(demand->content().cursorDots.empty());
}

// A zoom redraws the charts in sight at once; one scrolled out of sight catches up when it
// comes into sight.
TEST_F(LogViewerWindowTest, ChartsOutOfSightCatchUpWhenScrolledTo)
{
    show(false);
    ASSERT_TRUE(test::press(toolButton(QStringLiteral("Zoom In"))));
    QCoreApplication::processEvents();
    const TimeRange zoomed = range();
    EXPECT_EQ(window->panel(ChartGroup::Demand)->content().x.length(), zoomed.length());
    ChartPanel *frequency = window->panel(ChartGroup::Frequency);
    EXPECT_NE(frequency->content().x.length(), zoomed.length()) << "out of sight, not drawn yet";
    window->findChild<QScrollArea *>(QStringLiteral("charts"))->ensureWidgetVisible(frequency);
    EXPECT_EQ(frequency->content().x.length(), zoomed.length());
    EXPECT_EQ(frequency->content().x.start, zoomed.start);
}

// Hiding a series from its legend takes it out of the chart, the summary and the readout.
TEST_F(LogViewerWindowTest, LegendShowsAndHidesSeries)
{
    show(false, 1);
    window->state().setCursor(static_cast<double>(kStart + 3600));
    window->refreshNow();
    QCheckBox *powerB = legendBox(ChartGroup::Power, QStringLiteral("PowerB"));
    ASSERT_TRUE(powerB);
    EXPECT_EQ(window->panel(ChartGroup::Power)->content().lines.size(), 4u);
    ASSERT_TRUE(test::toggle(powerB));
    window->refreshNow();
    EXPECT_EQ(window->panel(ChartGroup::Power)->content().lines.size(), 3u);
    EXPECT_FALSE(window->summary().contains(QStringLiteral("PowerB (Watt)")));
    EXPECT_TRUE(window->summary().contains(QStringLiteral("PowerC (Watt)")));
    EXPECT_FALSE(window->readout().contains(QStringLiteral("\nPowerB:"))) << window->readout().toStdString();
    EXPECT_TRUE(window->readout().contains(QStringLiteral("\nPowerC:"))) << window->readout().toStdString();
    ASSERT_TRUE(test::toggle(powerB));
    window->refreshNow();
    EXPECT_TRUE(window->summary().contains(QStringLiteral("PowerB (Watt)")));
}

// Zoomed to one day, the demand chart marks that day's peak; daily totals replace the bars.
TEST_F(LogViewerWindowTest, PeakOfTheVisibleRangeAndDailyTotals)
{
    show(false);
    const TimeRange day{static_cast<double>(kStart + 2 * 86400), static_cast<double>(kStart + 3 * 86400)};
    window->state().setRange(day);
    window->refreshNow();
    const auto &peak = window->panel(ChartGroup::Demand)->content().peak;
    ASSERT_TRUE(peak);
    EXPECT_GE(peak->time, day.start);
    EXPECT_LE(peak->time, day.end);
    const RangeSummary s = summarize(*window->state().data(), day);
    EXPECT_DOUBLE_EQ(peak->value, s.series[kDemand].max);
    EXPECT_TRUE(peak->label.startsWith(QStringLiteral("Peak "))) << peak->label.toStdString();

    ASSERT_TRUE(menu(QStringLiteral("View"), QStringLiteral("Daily Energy Totals")));
    window->state().resetZoom();
    window->refreshNow();
    const auto &bars = window->panel(ChartGroup::Energy)->content().bars.bars;
    EXPECT_EQ(bars.size(), 7u);
    EXPECT_TRUE(window->summary().contains(QStringLiteral("Daily energy (kWh): min "))) << window->summary().toStdString();

}

// Exports: the charts as PNG and SVG pictures, the visible range as a log of the same format.
TEST_F(LogViewerWindowTest, ExportsChartsAndTheVisibleRange)
{
    const auto source = show(false, 2);
    window->state().setRange({static_cast<double>(kStart + 3600), static_cast<double>(kStart + 2 * 3600)});
    window->refreshNow();

    const auto png = home.root() / "charts.png";
    home.dialogs.queueFileName(png.string());
    ASSERT_TRUE(menu(QStringLiteral("File"), QStringLiteral("Export Charts as PNG...")));
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.height(), 8 * 200);

    const auto svg = home.root() / "charts.svg";
    home.dialogs.queueFileName(svg.string());
    ASSERT_TRUE(menu(QStringLiteral("File"), QStringLiteral("Export Charts as SVG...")));
    const std::string svgText = test::readFile(svg);
    EXPECT_NE(svgText.find("<svg"), std::string::npos);
    EXPECT_NE(svgText.find("Demand (Watt)"), std::string::npos);

    const auto csv = home.root() / "range.csv";
    home.dialogs.queueFileName(csv.string());
    ASSERT_TRUE(menu(QStringLiteral("File"), QStringLiteral("Export Visible Range as CSV...")));
    EXPECT_EQ(test::readFile(csv), test::logText({records.begin() + 4, records.begin() + 9}, false));
    // Three file choices, no message.
    ASSERT_EQ(home.dialogs.shown().size(), 3u);
    EXPECT_EQ(home.dialogs.shown()[2].caption, "Export Visible Range as CSV");
    home.dialogs.clearShown();

    home.dialogs.queueFileName(source.string());
    ASSERT_TRUE(menu(QStringLiteral("File"), QStringLiteral("Export Visible Range as CSV...")));
    ASSERT_EQ(home.dialogs.shown().size(), 2u);
    EXPECT_NE(home.dialogs.shown()[1].text.find("choose another file"), std::string::npos);
}

// The table tab holds the rows of the visible range as the file has them.
TEST_F(LogViewerWindowTest, TableOfTheVisibleRange)
{
    show(true, 1);
    window->state().setRange({static_cast<double>(kStart), static_cast<double>(kStart + 3600)});
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("viewTabs"));
    tabs->setCurrentIndex(1);
    window->refreshNow();
    QAbstractItemModel *model = window->table()->model();
    ASSERT_EQ(model->rowCount(), 5);
    ASSERT_EQ(model->columnCount(), 13);
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Demand"));
    const QString line = QString::fromStdString(test::logText({records.begin() + 2, records.begin() + 3}, true, false));
    const QStringList fields = line.trimmed().split(',');
    for (int c = 0; c < 12; ++c)
        EXPECT_EQ(model->index(2, c).data().toString(), fields[c]) << c;
}

// File > Open shows another file in the same window.
TEST_F(LogViewerWindowTest, OpenAnotherFile)
{
    show(true, 1);
    const auto other = home.root() / "Other-log-full-2025.csv";
    test::writeFile(other, test::logText(test::loadRecords(10, 1, civil(2025, 6, 1)), false));
    home.dialogs.queueFileName(other.string());
    ASSERT_TRUE(menu(QStringLiteral("File"), QStringLiteral("Open...")));
    settle();
    EXPECT_EQ(window->state().data()->size(), 10u);
    EXPECT_EQ(window->state().data()->format, LogFormat::Long);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("Other-log-full-2025.csv")));
}

}  // namespace
}  // namespace tellumic::logview
