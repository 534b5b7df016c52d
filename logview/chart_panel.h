#pragma once

// One chart of the viewer: a quantity group over the shared time axis, with a check box per
// series (the legend) and, for energy, the choice of bars per interval or daily totals.

#include <vector>

#include <QChartView>
#include <QWidget>

#include "logview/log_columns.h"
#include "logview/log_view_state.h"
#include "logview/trace_item.h"

class QCategoryAxis;
class QCheckBox;
class QComboBox;
class QRubberBand;
class QValueAxis;

namespace tellumic::logview {

// The chart's view: wheel zooms, a drag pans, Shift+drag, a right-button drag or a drag
// along the time axis selects a range to zoom to, a double click shows the whole log, and
// the pointer moves the shared cursor.
class TimeChartView : public QChartView
{
    Q_OBJECT
public:
    TimeChartView(QChart *chart, LogViewState &state, const TraceItem &item, QWidget *parent);

protected:
    void wheelEvent(QWheelEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    bool viewportEvent(QEvent *e) override;

private:
    double timeAt(double viewX) const;
    QRectF plotInView() const;

    LogViewState &m_state;
    const TraceItem &m_item;
    enum class Drag { None, Pan, Band } m_drag = Drag::None;
    QPoint m_pressAt;
    TimeRange m_pressRange;
    QRubberBand *m_band = nullptr;
};

// One entry of a chart's legend as an exported picture draws it.
struct LegendEntry
{
    QString name;
    QColor color;
    bool bar = false;      // a bar swatch rather than a line
    bool hatched = false;  // a partial day's bar
};

class ChartPanel : public QWidget
{
    Q_OBJECT
public:
    ChartPanel(ChartGroup group, LogViewState &state, QWidget *parent = nullptr);

    ChartGroup group() const { return m_group; }
    QChart *chart() const { return m_chart; }
    TimeChartView *view() const { return m_view; }
    const ChartContent &content() const { return m_content; }
    // The series the chart shows, in legend order (hidden ones left out).
    std::vector<LegendEntry> legendEntries() const;

    // Recomputes what the chart shows for the state's data, range and choices.
    void refresh();
    // Only the cursor moved.
    void refreshCursor();

    // Where the plot would begin without the room added to line it up with other charts.
    double naturalPlotLeft() const;
    // Adds room left of the plot, so that the time axes of all charts line up.
    void setExtraLeft(double px);

private:
    void rebuildLegend();
    void updateAxes();
    void setValueRange(double lo, double hi);

    ChartGroup m_group;
    LogViewState &m_state;
    QChart *m_chart;
    QCategoryAxis *m_timeAxis;
    QValueAxis *m_valueAxis;
    ChartContent m_content;
    TraceItem *m_item;
    TimeChartView *m_view;
    QWidget *m_legend;
    std::vector<QCheckBox *> m_boxes;
    QComboBox *m_energyView = nullptr;
    LogFormat m_legendFormat = LogFormat::Short;
    bool m_legendBuilt = false;
    bool m_refreshing = false;  // a refresh that changes the axes moves the plot area
    double m_plotWidth = 0;
    double m_extraLeft = 0;
    std::shared_ptr<const LogData> m_data;  // holds the markers the item draws
};

// The colour of a series in the charts and their legends.
QColor seriesColor(std::size_t quantity);

}  // namespace tellumic::logview
