#include "logview/log_view_state.h"

#include <algorithm>
#include <cmath>

namespace tellumic::logview {

LogViewState::LogViewState(QObject *parent) : QObject(parent)
{
    m_series.fill(true);
    m_charts.fill(true);
}

TimeRange LogViewState::fullRange() const
{
    return m_data ? m_data->fullRange() : TimeRange{};
}

bool LogViewState::zoomed() const
{
    const TimeRange full = fullRange();
    return m_range.start > full.start || m_range.end < full.end;
}

void LogViewState::setData(std::shared_ptr<const LogData> data, bool grown)
{
    const bool keep = grown && m_data && zoomed();
    m_data = std::move(data);
    m_columnsOf = nullptr;
    if (!keep)
        m_range = fullRange();
    Q_EMIT dataChanged();
    Q_EMIT rangeChanged();
}

void LogViewState::setRange(TimeRange r)
{
    const TimeRange full = fullRange();
    double span = std::clamp(r.length(), std::min(kMinSpanSeconds, full.length()), full.length());
    if (!std::isfinite(span) || span <= 0)
        span = full.length();
    double start = std::clamp(r.start, full.start, full.end - span);
    if (!std::isfinite(start))
        start = full.start;
    const TimeRange next{start, start + span};
    if (next.start == m_range.start && next.end == m_range.end)
        return;
    m_range = next;
    Q_EMIT rangeChanged();
}

void LogViewState::zoom(double factor, double anchor)
{
    if (!(factor > 0))
        return;
    const double share = (anchor - m_range.start) / m_range.length();
    const double span = std::max(m_range.length() / factor, std::min(kMinSpanSeconds, fullRange().length()));
    const double start = anchor - share * span;
    setRange({start, start + span});
}

void LogViewState::pan(double seconds)
{
    setRange({m_range.start + seconds, m_range.end + seconds});
}

void LogViewState::resetZoom()
{
    setRange(fullRange());
}

void LogViewState::setCursor(std::optional<double> t)
{
    if (t == m_cursor)
        return;
    m_cursor = t;
    Q_EMIT cursorChanged();
}

void LogViewState::setSeriesShown(std::size_t quantity, bool shown)
{
    if (quantity >= m_series.size() || m_series[quantity] == shown)
        return;
    m_series[quantity] = shown;
    Q_EMIT shownChanged();
}

void LogViewState::setChartShown(ChartGroup g, bool shown)
{
    auto &c = m_charts[static_cast<std::size_t>(g)];
    if (c == shown)
        return;
    c = shown;
    Q_EMIT shownChanged();
}

bool LogViewState::chartVisible(ChartGroup g) const
{
    const bool carried = !chartGroupInfo(g).longOnly || (m_data && m_data->format == LogFormat::Long);
    return carried && chartShown(g);
}

const ColumnMap &LogViewState::columnMap(int columns) const
{
    if (m_columnsOf != m_data.get() || m_columns.columns != columns || m_columns.range.start != m_range.start ||
        m_columns.range.end != m_range.end) {
        static const std::vector<CivilSeconds> kNone;
        mapColumns(m_data ? std::span<const CivilSeconds>(m_data->time) : std::span<const CivilSeconds>(kNone), m_range,
                   columns, m_columns);
        m_columnsOf = m_data.get();
    }
    return m_columns;
}

void LogViewState::setEnergyView(EnergyView v)
{
    if (v == m_energyView)
        return;
    m_energyView = v;
    Q_EMIT shownChanged();
}

}  // namespace tellumic::logview
