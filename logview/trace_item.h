#pragma once

// Draws a chart's series inside the plot area of a QChart. Qt Charts draws the frame (title,
// axes, grid); its line series cannot leave a gap in a line, which a log's failed checks and
// power failures need, so the lines, bars, event markers, peak and cursor are drawn here,
// from data already reduced to the pixel width.

#include <optional>
#include <vector>

#include <QColor>
#include <QGraphicsObject>
#include <QString>

#include "logview/decimate.h"
#include "logview/log_data.h"

class QChart;

namespace tellumic::logview {

struct ChartContent
{
    struct Line
    {
        QColor color;
        std::size_t quantity;
        Trace trace;
    };
    std::vector<Line> lines;
    BarTrace bars;
    QColor barColor;
    TimeRange x;
    double yMin = 0, yMax = 1;
    const std::vector<Marker> *markers = nullptr;
    struct Peak
    {
        double time, value;
        QString label;
    };
    std::optional<Peak> peak;
    struct CursorDot
    {
        double time, value;
        QColor color;
    };
    std::optional<double> cursor;
    std::vector<CursorDot> cursorDots;
    QString emptyText;
};

// Markers closer than this many pixels are drawn, and told, as one.
inline constexpr double kMarkerPx = 6;

class TraceItem : public QGraphicsObject
{
    Q_OBJECT
public:
    TraceItem(QChart *chart, const ChartContent &content);

    QRectF boundingRect() const override;
    // Takes the chart's plot area as the item's extent, telling the scene first so that
    // nothing drawn in the old extent stays behind.
    void followPlotArea();
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // Scene position of a time and a value.
    double xOf(double time) const;
    double yOf(double value) const;
    // The notes of the markers drawn at scene x (within kMarkerPx), in time order.
    QStringList markerNotesAt(double sceneX) const;
    // The band at the foot of the plot where markers are drawn.
    QRectF markerBand() const;

private:
    void paintBars(QPainter &p) const;
    void paintLines(QPainter &p) const;
    void paintMarkers(QPainter &p) const;
    void paintPeak(QPainter &p) const;
    void paintCursor(QPainter &p) const;

    QChart *m_chart;
    const ChartContent &m_content;
    QRectF m_bounds;
};

}  // namespace tellumic::logview
