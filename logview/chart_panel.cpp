#include "logview/chart_panel.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <QCategoryAxis>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRubberBand>
#include <QSignalBlocker>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include "foundation/qt_accessible.h"
#include "logview/log_summary.h"
#include "logview/time_ticks.h"

namespace tellumic::logview {

namespace {

constexpr double kWheelStep = 1.25;
constexpr int kBandMinPx = 4;
// Chart margins; the right one leaves room for half a time label.
constexpr int kMarginLeft = 4, kMarginRight = 30, kMarginBottom = 2;

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Groups whose axis should show zero: loads and energies read against it.
bool fromZero(ChartGroup g)
{
    return g == ChartGroup::Demand || g == ChartGroup::Energy || g == ChartGroup::Power ||
           g == ChartGroup::ReactivePower || g == ChartGroup::Current;
}

QIcon swatch(const QColor &c)
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.fillRect(QRect(0, 5, 14, 4), c);
    return QIcon(pm);
}

QString chartTitle(ChartGroup g)
{
    const ChartGroupInfo &info = chartGroupInfo(g);
    return info.unit.empty() ? qs(info.title) : qs(info.title) + QStringLiteral(" (") + qs(info.unit) + ')';
}

}  // namespace

QColor seriesColor(std::size_t quantity)
{
    if (quantity >= kQuantityCount)
        return QColor(60, 150, 60);
    const std::string_view name = kQuantities[quantity].column;
    if (name == "Demand")
        return QColor(31, 119, 180);
    if (name == "Frequency")
        return QColor(128, 70, 170);
    if (name.ends_with("Sum"))
        return QColor(60, 60, 60);
    switch (name.back()) {
    case 'A':
        return QColor(214, 39, 40);
    case 'B':
        return QColor(220, 150, 0);
    default:
        return QColor(31, 119, 180);
    }
}

TimeChartView::TimeChartView(QChart *chart, LogViewState &state, const TraceItem &item, QWidget *parent)
    : QChartView(chart, parent), m_state(state), m_item(item)
{
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    // Items restore the painter themselves; the traces need no antialiasing margin.
    setOptimizationFlags(QGraphicsView::DontSavePainterState | QGraphicsView::DontAdjustForAntialiasing);
    setToolTip(QString());
}

QRectF TimeChartView::plotInView() const
{
    return mapFromScene(chart()->plotArea()).boundingRect();
}

double TimeChartView::timeAt(double viewX) const
{
    const QRectF plot = plotInView();
    const TimeRange r = m_state.range();
    return r.start + (viewX - plot.left()) / std::max(1.0, plot.width()) * r.length();
}

void TimeChartView::wheelEvent(QWheelEvent *e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps != 0 && m_state.data())
        m_state.zoom(std::pow(kWheelStep, steps), timeAt(e->position().x()));
    e->accept();
}

void TimeChartView::mousePressEvent(QMouseEvent *e)
{
    if (!m_state.data())
        return;
    const QRectF plot = plotInView();
    const bool onTimeAxis = e->position().y() > plot.bottom();
    if (e->button() == Qt::RightButton ||
        (e->button() == Qt::LeftButton && ((e->modifiers() & Qt::ShiftModifier) || onTimeAxis))) {
        m_drag = Drag::Band;
        if (!m_band)
            m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_band->setGeometry(QRect(e->pos().x(), static_cast<int>(plot.top()), 1, static_cast<int>(plot.height())));
        m_band->show();
    } else if (e->button() == Qt::LeftButton) {
        m_drag = Drag::Pan;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    m_pressAt = e->pos();
    m_pressRange = m_state.range();
    e->accept();
}

void TimeChartView::mouseMoveEvent(QMouseEvent *e)
{
    const QRectF plot = plotInView();
    if (m_drag == Drag::Pan) {
        const double dx = e->position().x() - m_pressAt.x();
        const double seconds = -dx / std::max(1.0, plot.width()) * m_pressRange.length();
        m_state.setRange({m_pressRange.start + seconds, m_pressRange.end + seconds});
    } else if (m_drag == Drag::Band) {
        const int x0 = std::min(m_pressAt.x(), e->pos().x()), x1 = std::max(m_pressAt.x(), e->pos().x());
        m_band->setGeometry(QRect(QPoint(x0, static_cast<int>(plot.top())), QPoint(x1, static_cast<int>(plot.bottom()))));
    }
    if (m_drag != Drag::Pan && m_state.data() && e->position().x() >= plot.left() && e->position().x() <= plot.right())
        m_state.setCursor(timeAt(e->position().x()));
    e->accept();
}

void TimeChartView::mouseReleaseEvent(QMouseEvent *e)
{
    if (m_drag == Drag::Band) {
        m_band->hide();
        const double x0 = std::min(m_pressAt.x(), e->pos().x()), x1 = std::max(m_pressAt.x(), e->pos().x());
        if (x1 - x0 >= kBandMinPx)
            m_state.setRange({timeAt(x0), timeAt(x1)});
    }
    m_drag = Drag::None;
    viewport()->unsetCursor();
    e->accept();
}

void TimeChartView::mouseDoubleClickEvent(QMouseEvent *e)
{
    m_state.resetZoom();
    e->accept();
}

bool TimeChartView::viewportEvent(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(e);
        const QRectF band = mapFromScene(m_item.markerBand()).boundingRect().adjusted(0, -4, 0, 4);
        const QStringList notes =
            band.contains(help->pos()) ? m_item.markerNotesAt(mapToScene(help->pos()).x()) : QStringList();
        if (notes.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), notes.join('\n'), this);
        return true;
    }
    return QChartView::viewportEvent(e);
}

ChartPanel::ChartPanel(ChartGroup group, LogViewState &state, QWidget *parent)
    : QWidget(parent), m_group(group), m_state(state)
{
    setObjectName(QStringLiteral("chart%1").arg(static_cast<int>(group)));
    installAccessibleWidgets();
    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setTitle(chartTitle(group));
    QFont titleFont = m_chart->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(9);
    m_chart->setTitleFont(titleFont);
    m_chart->setMargins(QMargins(kMarginLeft, 0, kMarginRight, kMarginBottom));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);

    QFont axisFont = m_chart->font();
    axisFont.setPointSizeF(8);
    m_timeAxis = new QCategoryAxis;
    m_timeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_timeAxis->setLabelsFont(axisFont);
    m_valueAxis = new QValueAxis;
    m_valueAxis->setLabelsFont(axisFont);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);

    m_item = new TraceItem(m_chart, m_content);
    m_view = new TimeChartView(m_chart, state, *m_item, this);
    // Grid and axes are straight lines: sharp without antialiasing, and cheaper. The traces
    // turn it on for themselves.
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setMinimumHeight(200);
    m_view->setAccessibleName(chartTitle(group) + QStringLiteral(" chart"));
    m_view->setAccessibleDescription(
        QStringLiteral("The values of the visible range as a chart; the Summary pane and the Table tab give them as text"));

    m_legend = new QWidget(this);
    auto *legendLayout = new QHBoxLayout(m_legend);
    legendLayout->setContentsMargins(6, 0, 6, 0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(0);
    layout->addWidget(m_legend);
    layout->addWidget(m_view, 1);

    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF &area) {
        m_item->followPlotArea();
        try {
            if (!m_refreshing && std::abs(area.width() - m_plotWidth) >= 1)
                refresh();
            else
                m_item->update();
        } catch (const std::exception &) {
            // Out of memory for a new width: the chart keeps what it shows.
            m_item->update();
        }
    });
}

void ChartPanel::rebuildLegend()
{
    auto *layout = static_cast<QHBoxLayout *>(m_legend->layout());
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_boxes.clear();
    m_energyView = nullptr;
    const LogFormat format = m_state.data()->format;
    auto addBox = [&](std::size_t series, const QString &text) {
        auto *box = new QCheckBox(text, m_legend);
        box->setObjectName(QStringLiteral("show") + text);
        box->setIcon(swatch(seriesColor(series)));
        box->setChecked(m_state.seriesShown(series));
        box->setToolTip(QStringLiteral("Show or hide %1").arg(text));
        connect(box, &QCheckBox::toggled, this, [this, series](bool on) { m_state.setSeriesShown(series, on); });
        layout->addWidget(box);
        m_boxes.push_back(box);
    };
    for (std::size_t k = 0; k < quantityCount(format); ++k)
        if (kQuantities[k].group == m_group)
            addBox(k, qs(kQuantities[k].column));
    if (m_group == ChartGroup::Energy) {
        addBox(kEnergySeries, QStringLiteral("Energy"));
        m_energyView = new QComboBox(m_legend);
        m_energyView->setObjectName(QStringLiteral("energyView"));
        m_energyView->addItem(QStringLiteral("Per interval"));
        m_energyView->addItem(QStringLiteral("Daily totals"));
        m_energyView->setAccessibleName(QStringLiteral("Interval energy view"));
        m_energyView->setToolTip(QStringLiteral("Energy of each logging interval, or each day's total"));
        m_energyView->setCurrentIndex(m_state.energyView() == EnergyView::DailyTotals ? 1 : 0);
        connect(m_energyView, &QComboBox::currentIndexChanged, this, [this](int i) {
            m_state.setEnergyView(i == 1 ? EnergyView::DailyTotals : EnergyView::PerInterval);
        });
        layout->addWidget(m_energyView);
    }
    layout->addStretch(1);
    m_legendFormat = format;
    m_legendBuilt = true;
}

void ChartPanel::refresh()
{
    m_refreshing = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_refreshing};
    const std::shared_ptr<const LogData> data = m_state.data();
    m_content.lines.clear();
    m_content.bars = {};
    m_content.peak.reset();
    m_content.markers = nullptr;
    m_content.emptyText.clear();
    m_plotWidth = m_chart->plotArea().width();
    m_item->followPlotArea();
    if (!data) {
        m_item->update();
        return;
    }
    if (!m_legendBuilt || m_legendFormat != data->format)
        rebuildLegend();
    if (m_energyView) {
        const QSignalBlocker quiet(m_energyView);
        m_energyView->setCurrentIndex(m_state.energyView() == EnergyView::DailyTotals ? 1 : 0);
    }
    const TimeRange range = m_state.range();
    const int columns = std::max(1, static_cast<int>(std::lround(m_plotWidth)));
    m_content.x = range;
    bool any = false;
    double lo = 0, hi = 0;
    auto extend = [&](double a, double b) {
        lo = any ? std::min(lo, a) : a;
        hi = any ? std::max(hi, b) : b;
        any = true;
    };
    for (std::size_t k = 0; k < quantityCount(data->format); ++k) {
        if (kQuantities[k].group != m_group || !m_state.seriesShown(k))
            continue;
        ChartContent::Line &line = m_content.lines.emplace_back(ChartContent::Line{seriesColor(k), k, {}});
        decimateLine(m_state.columnMap(columns), data->time, data->values[k], data->breakBefore, line.trace);
        if (line.trace.any)
            extend(line.trace.min, line.trace.max);
    }
    if (m_group == ChartGroup::Energy && m_state.seriesShown(kEnergySeries)) {
        const bool daily = m_state.energyView() == EnergyView::DailyTotals;
        decimateBars(daily ? data->dailyEnergy : data->intervalEnergy, range, columns, m_content.bars);
        m_content.barColor = daily ? QColor(40, 120, 40) : seriesColor(kEnergySeries);
        if (m_content.bars.any)
            extend(0, m_content.bars.max);
    }
    if (m_group == ChartGroup::Demand && m_state.seriesShown(kDemand)) {
        const auto [first, last] = data->indexRange(range);
        if (const auto at = peakDemandRecord(*data, first, last)) {
            const float v = data->values[kDemand][*at];
            const CivilSeconds t = data->time[*at];
            m_content.peak = ChartContent::Peak{static_cast<double>(t), v,
                                                QStringLiteral("Peak %1 Watt at %2")
                                                    .arg(qs(formatReading(v, data->decimals[kDemand])), qs(formatCivil(t)))};
        }
    }
    if (!any) {
        lo = 0;
        hi = 1;
        m_content.emptyText = data->empty()                     ? QStringLiteral("The file holds no records")
                              : data->indexRange(range).first == data->indexRange(range).second
                                  ? QStringLiteral("No records in this range")
                                  : QStringLiteral("No series shown");
    } else {
        if (fromZero(m_group)) {
            lo = std::min(lo, 0.0);
            hi = std::max(hi, 0.0);
        }
        const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(std::abs(hi) * 0.01, 0.5);
        hi += pad;
        if (!(fromZero(m_group) && lo == 0))
            lo -= pad;
    }
    m_content.markers = &data->markers;
    m_data = data;
    setValueRange(lo, hi);
    updateAxes();
    refreshCursor();
}

void ChartPanel::setValueRange(double lo, double hi)
{
    m_valueAxis->setRange(lo, hi);
    m_valueAxis->applyNiceNumbers();
    m_content.yMin = m_valueAxis->min();
    m_content.yMax = m_valueAxis->max();
    // As many decimals as the tick step needs: 0.25 shows two, 5000 none.
    const double step = (m_content.yMax - m_content.yMin) / std::max(1, m_valueAxis->tickCount() - 1);
    int decimals = 0;
    while (decimals < 4 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    m_valueAxis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + 'f');
}

std::vector<LegendEntry> ChartPanel::legendEntries() const
{
    std::vector<LegendEntry> out;
    for (const ChartContent::Line &line : m_content.lines)
        out.push_back({qs(kQuantities[line.quantity].column), line.color, false, false});
    if (m_group == ChartGroup::Energy && m_state.seriesShown(kEnergySeries)) {
        const bool daily = m_state.energyView() == EnergyView::DailyTotals;
        out.push_back({daily ? QStringLiteral("Energy per day") : QStringLiteral("Energy per interval"),
                       m_content.barColor, true, false});
        const auto &bars = m_content.bars.bars;
        if (std::any_of(bars.begin(), bars.end(), [](const Bar &b) { return b.partial; }))
            out.push_back({QStringLiteral("Partial day"), m_content.barColor, true, true});
    }
    return out;
}

double ChartPanel::naturalPlotLeft() const
{
    return m_chart->plotArea().left() - m_extraLeft;
}

void ChartPanel::setExtraLeft(double px)
{
    px = std::max(0.0, std::round(px));
    if (px == m_extraLeft)
        return;
    m_extraLeft = px;
    m_chart->setMargins(QMargins(kMarginLeft + static_cast<int>(px), 0, kMarginRight, kMarginBottom));
}

void ChartPanel::updateAxes()
{
    const TimeRange range = m_content.x;
    // A file without records has no times to label.
    const auto ticks = m_data && !m_data->empty() ? timeTicks(range, static_cast<int>(std::max(100.0, m_plotWidth)))
                                                  : std::vector<TimeTick>{};
    const QStringList old = m_timeAxis->categoriesLabels();
    for (const QString &label : old)
        m_timeAxis->remove(label);
    m_timeAxis->setStartValue(range.start);
    for (const TimeTick &t : ticks)
        m_timeAxis->append(qs(t.label).replace('\n', QStringLiteral("<br>")), static_cast<double>(t.at));
    m_timeAxis->setRange(range.start, range.end);
}

void ChartPanel::refreshCursor()
{
    m_content.cursor = m_state.cursor();
    m_content.cursorDots.clear();
    const std::shared_ptr<const LogData> &data = m_state.data();
    if (m_content.cursor && data && !data->empty()) {
        const std::size_t i = data->nearest(*m_content.cursor);
        for (const ChartContent::Line &line : m_content.lines) {
            const float v = data->values[line.quantity][i];
            if (!std::isnan(v))
                m_content.cursorDots.push_back({static_cast<double>(data->time[i]), v, line.color});
        }
    }
    m_item->update();
}

}  // namespace tellumic::logview
