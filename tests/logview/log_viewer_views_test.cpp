// The log viewer window offscreen, what it says about a range: daily totals and partial
// days, a file without records, a record dated far from the others, the value axis of the
// visible records, the table's columns and the legends of exported pictures.

#include "tests/logview/log_viewer_fixture.h"

namespace tellumic::logview {
namespace {

// A file with its header and no record is shown, and says that it holds none: no made-up
// range of times.
TEST_F(LogViewerWindowTest, AHeaderOnlyFileSaysItHoldsNoRecords)
{
    for (const bool isShort : {true, false}) {
        const auto path = home.root() / "Empty-log.csv";
        test::writeFile(path, test::logText({}, isShort));
        open(path);
        EXPECT_TRUE(home.dialogs.shown().empty());
        ASSERT_TRUE(window->state().data());
        const QString label = window->findChild<QLabel *>(QStringLiteral("visibleRange"))->text();
        EXPECT_EQ(label, QStringLiteral("The file holds no records"));
        EXPECT_EQ(window->summary(), QStringLiteral("The file holds no records.\n"));
        EXPECT_EQ(window->status(), QStringLiteral("Empty-log.csv: a %1 log that holds no records")
                                        .arg(isShort ? QStringLiteral("short") : QStringLiteral("long")));
        EXPECT_EQ(window->panel(ChartGroup::Demand)->content().emptyText, QStringLiteral("The file holds no records"));
        const auto axes = window->panel(ChartGroup::Demand)->chart()->axes(Qt::Horizontal);
        ASSERT_EQ(axes.size(), 1);
        const QString timeLabels = static_cast<QCategoryAxis *>(axes[0])->categoriesLabels().join(' ');
        for (const QString &text : {label, window->summary(), window->status(), timeLabels})
            EXPECT_FALSE(text.contains(QStringLiteral("1970"))) << text.toStdString();
    }
}

// The charts of a log share the window's height: the two of a short-record log fill it.
TEST_F(LogViewerWindowTest, ChartsShareTheHeight)
{
    show(true, 1);
    QCoreApplication::processEvents();  // the layout follows the charts shown
    auto *scroll = window->findChild<QScrollArea *>(QStringLiteral("charts"));
    int height = 0;
    for (ChartPanel *p : window->visiblePanels())
        height += p->height();
    EXPECT_GE(height, scroll->viewport()->height() - 20) << "the charts leave the window empty below them";
    EXPECT_NEAR(window->panel(ChartGroup::Demand)->height(), window->panel(ChartGroup::Energy)->height(), 30);
}

// A record dated in the year 0000 leaves the time axis to the others, and is told.
TEST_F(LogViewerWindowTest, ARecordFarFromTheOthersKeepsTheAxisReadable)
{
    records = test::loadRecords(2 * 96, 1, kStart);
    records[100].dateTime = test::logDateTime(civil(0, 1, 1));
    const auto path = home.root() / "Meter-log-full-2026.csv";
    test::writeFile(path, test::logText(records, false));
    open(path);
    EXPECT_EQ(range().start, static_cast<double>(kStart));
    EXPECT_LE(range().end, static_cast<double>(kStart + 2 * 86400));
    EXPECT_TRUE(window->summary().contains(QStringLiteral(
        "Out of range: 1 record dated far from the others, not plotted (record 101 at 0000-01-01 00:00:00).\n")))
        << window->summary().toStdString();
    const auto axes = window->panel(ChartGroup::Demand)->chart()->axes(Qt::Horizontal);
    ASSERT_EQ(axes.size(), 1);
    const QStringList labels = static_cast<QCategoryAxis *>(axes[0])->categoriesLabels();
    EXPECT_GE(labels.size(), 2);
    EXPECT_LE(labels.size(), 15) << labels.join(' ').toStdString();
    EXPECT_TRUE(labels.first().endsWith(QStringLiteral("2026-03-01"))) << labels.first().toStdString();
}

// A chart's value axis fits the records inside the visible range: a spike just past either
// edge, which the line runs on to, does not flatten what is shown.
TEST_F(LogViewerWindowTest, ValueAxisFitsTheVisibleRecordsOnly)
{
    records = test::loadRecords(96, 1, kStart);
    records[50].demand = 1e6f;
    records[30].demand = 2e6f;
    const auto path = home.root() / "Meter-log-short-2026.csv";
    test::writeFile(path, test::logText(records, true));
    open(path);
    // Records 31 to 49 in sight, the spikes one step beyond each edge.
    window->state().setRange({static_cast<double>(kStart + 30 * 900 + 60), static_cast<double>(kStart + 50 * 900 - 60)});
    window->refreshNow();
    const ChartContent &c = window->panel(ChartGroup::Demand)->content();
    ASSERT_EQ(c.lines.size(), 1u);
    float highest = 0;
    for (std::size_t i = 31; i < 50; ++i)
        highest = std::max(highest, records[i].demand);
    EXPECT_GE(c.yMax, highest);
    EXPECT_LT(c.yMax, 2 * highest) << "the axis reaches to " << c.yMax;
    EXPECT_EQ(c.lines[0].trace.points.back().y, 1e6f) << "the line still runs on to the edge";
}

// Daily totals of a log that starts at ten in the morning and whose days differ: the first
// day's bar is drawn lighter as partial, and the summary gives the minimum, mean and maximum
// of exactly the bars drawn.
TEST_F(LogViewerWindowTest, DailyTotalsOfTheSummaryAreTheBarsDrawn)
{
    records = test::loadRecords(4 * 96, 1, kStart + 10 * 3600);
    std::int32_t tenths = 1000;
    for (std::size_t i = 0; i < records.size(); ++i) {
        // Each interval rises by a tenth more than on the day before.
        tenths += 1 + static_cast<std::int32_t>((static_cast<CivilSeconds>(i) * 900 + 10 * 3600 - 1) / 86400);
        records[i].energySum = tenths;
    }
    const auto path = home.root() / "Meter-log-full-2026.csv";
    test::writeFile(path, test::logText(records, false));
    open(path);
    ASSERT_TRUE(menu(QStringLiteral("View"), QStringLiteral("Daily Energy Totals")));

    struct Row
    {
        double from, to;  // hours after the start of the log's first day
        std::size_t days;
    };
    for (const Row &row : {Row{0, 5 * 24, 5}, Row{11, 2 * 24 + 6, 3}, Row{30, 40, 1}}) {
        window->state().setRange({static_cast<double>(kStart) + row.from * 3600, static_cast<double>(kStart) + row.to * 3600});
        window->refreshNow();
        const auto &bars = window->panel(ChartGroup::Energy)->content().bars.bars;
        ASSERT_EQ(bars.size(), row.days) << row.from;
        const auto [low, high] =
            std::minmax_element(bars.begin(), bars.end(), [](const Bar &x, const Bar &y) { return x.kwh < y.kwh; });
        double sum = 0;
        for (const Bar &b : bars)
            sum += b.kwh;
        auto day = [](const Bar &b) { return qs(formatCivilDate(b.start)) + (b.partial ? QStringLiteral(" (partial)") : QString()); };
        const QString expected = QStringLiteral("Daily energy (kWh): min %1 on %2, max %3 on %4, mean %5 over %6")
                                     .arg(qs(formatValue(low->kwh, 3, 1)), day(*low), qs(formatValue(high->kwh, 3, 1)), day(*high),
                                          qs(formatValue(sum / static_cast<double>(bars.size()), 3, 1)),
                                          row.days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(row.days));
        EXPECT_TRUE(window->summary().contains(expected)) << expected.toStdString() << "\n"
                                                          << window->summary().toStdString();
    }
    window->state().resetZoom();
    window->refreshNow();
    const auto &bars = window->panel(ChartGroup::Energy)->content().bars.bars;
    ASSERT_EQ(bars.size(), 5u);
    EXPECT_TRUE(bars.front().partial);
    EXPECT_TRUE(bars.back().partial);
    EXPECT_FALSE(bars[1].partial);
    EXPECT_NEAR(bars[1].kwh, 96 * 0.2, 1e-9) << "each interval of the second day rises 0.2 kWh";
    EXPECT_TRUE(window->summary().contains(QStringLiteral("; 2 partial (records cover part of the day): 2026-03-01, 2026-03-05")))
        << window->summary().toStdString();

    // The partial bars are drawn lighter than the whole ones.
    ChartPanel *energy = window->panel(ChartGroup::Energy);
    const QImage image = energy->view()->viewport()->grab().toImage();
    const TraceItem *item = nullptr;
    for (QGraphicsItem *g : energy->chart()->childItems())
        if ((item = dynamic_cast<const TraceItem *>(g)))
            break;
    ASSERT_TRUE(item);
    auto colourAt = [&](const Bar &b) {
        const QPointF scene((item->xOf(static_cast<double>(b.start)) + item->xOf(static_cast<double>(b.end))) / 2,
                            item->yOf(b.kwh / 4));
        // Averaged over a patch: the hatching crosses it.
        const QPoint at = energy->view()->mapFromScene(scene);
        int sum = 0;
        for (int dx = -5; dx < 5; ++dx)
            for (int dy = -5; dy < 5; ++dy)
                sum += image.pixelColor(at + QPoint(dx, dy)).lightness();
        return sum / 100;
    };
    EXPECT_GT(colourAt(bars.front()), colourAt(bars[1]) + 30);
}

// An exported picture carries what tells its lines apart outside the viewer: a legend per
// chart of the series shown (no hidden one), the file's name and the time range shown.
TEST_F(LogViewerWindowTest, ExportsCarryLegendsFileNameAndRange)
{
    show(false, 2);
    window->state().setRange({static_cast<double>(kStart + 3600), static_cast<double>(kStart + 5 * 3600)});
    ASSERT_TRUE(test::toggle(legendBox(ChartGroup::Power, QStringLiteral("PowerB"))));
    window->refreshNow();

    const auto svg = home.root() / "charts.svg";
    ASSERT_EQ(window->exportSvg(QString::fromStdString(svg.string())), QString());
    const std::string text = test::readFile(svg);
    for (const char *shown : {">Demand<", ">PowerSum<", ">PowerA<", ">PowerC<", ">ReacPowerB<", ">VoltsA<", ">PF-C<",
                              ">Frequency<", ">Energy per interval<", "Meter-log-full-2026.csv",
                              "2026-03-01 01:00:00 to 2026-03-01 05:00:00"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    EXPECT_EQ(text.find(">PowerB<"), std::string::npos) << "a hidden series has no legend entry";

    // In the PNG, the Demand legend's swatch stands left of the charts, where no chart draws;
    // with Demand hidden it is gone.
    auto demandSwatchRows = [&] {
        const auto png = home.root() / "charts.png";
        EXPECT_EQ(window->exportPng(QString::fromStdString(png.string())), QString());
        const QImage image(QString::fromStdString(png.string()));
        int rows = 0;
        for (int y = 0; y < image.height(); ++y)
            rows += image.pixelColor(12, y) == seriesColor(kDemand) ? 1 : 0;
        return rows;
    };
    EXPECT_GE(demandSwatchRows(), 2);
    ASSERT_TRUE(test::toggle(legendBox(ChartGroup::Demand, QStringLiteral("Demand"))));
    window->refreshNow();
    EXPECT_EQ(demandSwatchRows(), 0);
}

// Every cell of the table shows its whole text, the date and time above all, in both formats.
TEST_F(LogViewerWindowTest, TableColumnsFitTheirContent)
{
    for (const bool isShort : {true, false}) {
        show(isShort, 1);
        auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("viewTabs"));
        tabs->setCurrentIndex(1);
        window->refreshNow();
        QTableView *table = window->table();
        QAbstractItemModel *model = table->model();
        ASSERT_GT(model->rowCount(), 0);
        const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
        for (int c = 0; c + 1 < model->columnCount(); ++c) {
            const QString text = model->index(0, c).data().toString();
            const int room = table->visualRect(model->index(0, c)).width() - 2 * margin;
            EXPECT_EQ(table->fontMetrics().elidedText(text, Qt::ElideRight, room), text)
                << (isShort ? "short, column " : "long, column ") << c << ": " << text.toStdString();
            const QString header = model->headerData(c, Qt::Horizontal).toString();
            EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->fontMetrics().horizontalAdvance(header))
                << header.toStdString();
        }
        tabs->setCurrentIndex(0);
    }
}

}  // namespace
}  // namespace tellumic::logview
