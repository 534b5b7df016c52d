#pragma once

// What the viewer shows, shared by its charts, summary and table: the log, the visible
// time range, the cursor, and which series and charts are shown.

#include <array>
#include <memory>
#include <optional>

#include <QObject>

#include "logview/decimate.h"
#include "logview/log_data.h"

namespace tellumic::logview {

enum class EnergyView { PerInterval, DailyTotals };

// The energy bars count as one more series after the quantities.
inline constexpr std::size_t kEnergySeries = kQuantityCount;

class LogViewState : public QObject
{
    Q_OBJECT
public:
    // The narrowest range a zoom reaches.
    static constexpr double kMinSpanSeconds = 600;

    explicit LogViewState(QObject *parent = nullptr);

    const std::shared_ptr<const LogData> &data() const { return m_data; }
    // A new log; the range goes to the whole log, except that a log that grew keeps a
    // zoomed range (a range that showed the whole log grows with it).
    void setData(std::shared_ptr<const LogData> data, bool grown);

    TimeRange range() const { return m_range; }
    TimeRange fullRange() const;
    bool zoomed() const;
    void setRange(TimeRange r);
    // Zooms by factor (above 1 narrows) keeping the time at anchor where it is.
    void zoom(double factor, double anchor);
    void zoom(double factor) { zoom(factor, (m_range.start + m_range.end) / 2); }
    void pan(double seconds);
    void resetZoom();

    std::optional<double> cursor() const { return m_cursor; }
    void setCursor(std::optional<double> t);

    bool seriesShown(std::size_t quantity) const { return m_series[quantity]; }
    void setSeriesShown(std::size_t quantity, bool shown);
    bool chartShown(ChartGroup g) const { return m_charts[static_cast<std::size_t>(g)]; }
    void setChartShown(ChartGroup g, bool shown);
    // A chart the log's format carries and the user has not hidden.
    bool chartVisible(ChartGroup g) const;
    EnergyView energyView() const { return m_energyView; }
    void setEnergyView(EnergyView v);

    // The pixel columns of the visible range's records for a plot this many columns wide,
    // worked out once for all charts.
    const ColumnMap &columnMap(int columns) const;

Q_SIGNALS:
    void dataChanged();
    void rangeChanged();
    void cursorChanged();
    void shownChanged();

private:
    std::shared_ptr<const LogData> m_data;
    TimeRange m_range;
    std::optional<double> m_cursor;
    std::array<bool, kQuantityCount + 1> m_series;
    std::array<bool, kChartGroupCount> m_charts;
    EnergyView m_energyView = EnergyView::PerInterval;
    mutable ColumnMap m_columns;
    mutable const LogData *m_columnsOf = nullptr;
};

}  // namespace tellumic::logview
