#include "logview/trace_item.h"

#include <algorithm>
#include <cmath>

#include <QChart>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "logview/civil_time.h"

namespace tellumic::logview {

namespace {

const QColor kBreakingMarker(200, 30, 30);
const QColor kOtherMarker(150, 110, 20);
constexpr double kMarkerHeight = 9;

}  // namespace

TraceItem::TraceItem(QChart *chart, const ChartContent &content)
    : QGraphicsObject(chart), m_chart(chart), m_content(content)
{
    // Above the grid and below nothing: the chart has no series of its own.
    setZValue(10);
    setAcceptedMouseButtons(Qt::NoButton);
}

QRectF TraceItem::boundingRect() const
{
    return m_bounds;
}

void TraceItem::followPlotArea()
{
    const QRectF bounds = m_chart->plotArea().adjusted(-2, -2, 2, 2);
    if (bounds == m_bounds)
        return;
    prepareGeometryChange();
    m_bounds = bounds;
}

double TraceItem::xOf(double time) const
{
    const QRectF a = m_chart->plotArea();
    return a.left() + (time - m_content.x.start) / m_content.x.length() * a.width();
}

double TraceItem::yOf(double value) const
{
    const QRectF a = m_chart->plotArea();
    const double span = m_content.yMax - m_content.yMin;
    return a.bottom() - (span > 0 ? (value - m_content.yMin) / span : 0.5) * a.height();
}

QRectF TraceItem::markerBand() const
{
    const QRectF a = m_chart->plotArea();
    return {a.left(), a.bottom() - kMarkerHeight - 2, a.width(), kMarkerHeight + 2};
}

void TraceItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    QPainter &p = *painter;
    p.save();
    p.setClipRect(m_chart->plotArea().adjusted(-1, -1, 1, 1));
    paintBars(p);
    paintLines(p);
    paintCursor(p);
    paintMarkers(p);
    paintPeak(p);
    if (!m_content.emptyText.isEmpty()) {
        p.setPen(Qt::darkGray);
        p.drawText(m_chart->plotArea(), Qt::AlignCenter, m_content.emptyText);
    }
    p.restore();
}

void TraceItem::paintBars(QPainter &p) const
{
    if (m_content.bars.bars.empty())
        return;
    // Bars are upright rectangles: crisp and cheaper without antialiasing.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    const double base = yOf(std::max(0.0, m_content.yMin));
    // A partial day is told from a whole one by a lighter, hatched bar.
    const QBrush whole(m_content.barColor), partialFill(m_content.barColor.lighter(170)),
        partialHatch(m_content.barColor, Qt::BDiagPattern);
    for (const Bar &b : m_content.bars.bars) {
        double left = xOf(static_cast<double>(b.start)), right = xOf(static_cast<double>(b.end));
        // Leave a hair between wide bars; never let a bar vanish below a pixel.
        if (right - left > 4)
            right -= 1;
        right = std::max(right, left + 1);
        const QRectF bar(QPointF(left, yOf(b.kwh)), QPointF(right, base));
        if (!b.partial) {
            p.fillRect(bar, whole);
            continue;
        }
        p.fillRect(bar, partialFill);
        p.fillRect(bar, partialHatch);
    }
}

void TraceItem::paintLines(QPainter &p) const
{
    std::vector<QPointF> points;
    const double width = m_chart->plotArea().width();
    for (const ChartContent::Line &line : m_content.lines) {
        // Sparse lines are smoothed; a dense one is upright strokes, one per pixel column,
        // that smoothing would only blur and slow down.
        p.setRenderHint(QPainter::Antialiasing, static_cast<double>(line.trace.points.size()) < width);
        // A cosmetic pen one pixel wide keeps the raster engine on its fast path; wider
        // pens stroke every join and cost a hundred times more.
        QPen pen(line.color, 1);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.setBrush(line.color);
        for (std::size_t k = 0; k < line.trace.segmentCount(); ++k) {
            const auto seg = line.trace.segment(k);
            points.clear();
            for (const TracePoint &tp : seg)
                points.emplace_back(xOf(tp.x), yOf(tp.y));
            if (points.size() == 1)
                p.drawEllipse(points.front(), 1.5, 1.5);  // a record that stands alone
            else
                p.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
}

void TraceItem::paintMarkers(QPainter &p) const
{
    p.setRenderHint(QPainter::Antialiasing, true);
    if (!m_content.markers)
        return;
    const auto &markers = *m_content.markers;
    const QRectF band = markerBand();
    auto it = std::lower_bound(markers.begin(), markers.end(), m_content.x.start,
                               [](const Marker &m, double t) { return static_cast<double>(m.time) < t; });
    double lastX = -1e9;
    bool lastBreaks = false;
    p.setPen(Qt::NoPen);
    for (; it != markers.end() && static_cast<double>(it->time) <= m_content.x.end; ++it) {
        const double x = xOf(static_cast<double>(it->time));
        // One marker stands for all within kMarkerPx; a line break outranks a note.
        if (x - lastX < kMarkerPx && (lastBreaks || !it->breaksLine))
            continue;
        lastX = x;
        lastBreaks = it->breaksLine;
        const QColor color = it->breaksLine ? kBreakingMarker : kOtherMarker;
        if (it->breaksLine) {
            QPen dash(QColor(color.red(), color.green(), color.blue(), 90), 1, Qt::DashLine);
            dash.setCosmetic(true);
            p.setPen(dash);
            p.drawLine(QPointF(x, m_chart->plotArea().top()), QPointF(x, band.top()));
            p.setPen(Qt::NoPen);
        }
        p.setBrush(color);
        const QPointF tri[] = {{x, band.top()}, {x - 4, band.bottom() - 1}, {x + 4, band.bottom() - 1}};
        p.drawPolygon(tri, 3);
    }
}

QStringList TraceItem::markerNotesAt(double sceneX) const
{
    QStringList notes;
    if (!m_content.markers)
        return notes;
    for (const Marker &m : *m_content.markers) {
        const auto t = static_cast<double>(m.time);
        if (t < m_content.x.start || t > m_content.x.end || std::abs(xOf(t) - sceneX) > kMarkerPx)
            continue;
        notes << QString::fromStdString(formatCivil(m.time) + "  " + m.note).trimmed();
    }
    constexpr int kMaxNotes = 12;
    if (notes.size() > kMaxNotes) {
        const auto more = notes.size() - kMaxNotes;
        notes = notes.mid(0, kMaxNotes);
        notes << QStringLiteral("... and %1 more").arg(more);
    }
    return notes;
}

void TraceItem::paintPeak(QPainter &p) const
{
    if (!m_content.peak)
        return;
    const auto &peak = *m_content.peak;
    const QPointF at(xOf(peak.time), yOf(peak.value));
    p.setPen(QPen(QColor(200, 30, 30), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, 4, 4);
    const QFontMetricsF fm(p.font());
    const QRectF area = m_chart->plotArea();
    QRectF box = fm.boundingRect(peak.label).adjusted(-4, -2, 4, 2);
    box.moveTopLeft(QPointF(at.x() + 8, at.y() - box.height() / 2));
    if (box.right() > area.right())
        box.moveRight(at.x() - 8);
    box.moveTop(std::clamp(box.top(), area.top() + 1, std::max(area.top() + 1, area.bottom() - box.height() - 12)));
    p.setPen(QColor(200, 30, 30));
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRect(box);
    p.drawText(box, Qt::AlignCenter, peak.label);
}

void TraceItem::paintCursor(QPainter &p) const
{
    if (!m_content.cursor)
        return;
    const double x = xOf(*m_content.cursor);
    QPen pen(QColor(90, 90, 90), 1, Qt::DashLine);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.drawLine(QPointF(x, m_chart->plotArea().top()), QPointF(x, m_chart->plotArea().bottom()));
    p.setPen(Qt::white);
    for (const auto &dot : m_content.cursorDots) {
        p.setBrush(dot.color);
        p.drawEllipse(QPointF(xOf(dot.time), yOf(dot.value)), 3.5, 3.5);
    }
}

}  // namespace tellumic::logview
