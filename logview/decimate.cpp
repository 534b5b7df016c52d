#include "logview/decimate.h"

#include <algorithm>
#include <cmath>

namespace tellumic::logview {

void Trace::clear()
{
    points.clear();
    segmentStarts.clear();
    min = max = 0;
    any = false;
}

std::span<const TracePoint> Trace::segment(std::size_t k) const
{
    const std::size_t from = segmentStarts[k];
    const std::size_t to = k + 1 < segmentStarts.size() ? segmentStarts[k + 1] : points.size();
    return std::span<const TracePoint>(points).subspan(from, to - from);
}

namespace {

// The records of one column gathered so far.
struct Column
{
    std::int64_t index = 0;
    std::size_t minAt = 0, maxAt = 0;
    bool open = false;
};

}  // namespace

void mapColumns(std::span<const CivilSeconds> time, TimeRange range, int columns, ColumnMap &out)
{
    out.range = range;
    out.columns = columns;
    out.column.clear();
    out.from = out.lo = out.hi = out.to = 0;
    const std::size_t n = time.size();
    if (n == 0 || columns <= 0 || !(range.end > range.start))
        return;
    out.lo = static_cast<std::size_t>(std::lower_bound(time.begin(), time.end(), range.start,
                                                       [](CivilSeconds t, double v) { return static_cast<double>(t) < v; }) -
                                      time.begin());
    out.hi = static_cast<std::size_t>(std::upper_bound(time.begin() + static_cast<std::ptrdiff_t>(out.lo), time.end(),
                                                       range.end,
                                                       [](double v, CivilSeconds t) { return v < static_cast<double>(t); }) -
                                      time.begin());
    out.from = out.lo > 0 ? out.lo - 1 : out.lo;
    out.to = out.hi < n ? out.hi + 1 : out.hi;
    out.column.resize(out.to - out.from);
    const double perPixel = columns / range.length();
    for (std::size_t i = out.from; i < out.to; ++i) {
        std::int32_t c = -1;
        if (i >= out.hi)
            c = columns;
        else if (i >= out.lo)
            c = std::clamp(static_cast<std::int32_t>((static_cast<double>(time[i]) - range.start) * perPixel), 0,
                           columns - 1);
        out.column[i - out.from] = c;
    }
}

void decimateLine(std::span<const CivilSeconds> time, std::span<const float> values,
                  std::span<const std::uint8_t> breakBefore, TimeRange range, int columns, Trace &out)
{
    ColumnMap map;
    mapColumns(time, range, columns, map);
    decimateLine(map, time, values, breakBefore, out);
}

void decimateLine(const ColumnMap &map, std::span<const CivilSeconds> time, std::span<const float> values,
                  std::span<const std::uint8_t> breakBefore, Trace &out)
{
    out.clear();
    if (map.column.empty() || values.size() < map.to || time.size() < map.to)
        return;
    const std::size_t from = map.from, to = map.to, lo = map.lo, hi = map.hi;

    Column col;
    bool segmentOpen = false;
    auto flush = [&] {
        if (!col.open)
            return;
        if (!segmentOpen) {
            out.segmentStarts.push_back(static_cast<std::uint32_t>(out.points.size()));
            segmentOpen = true;
        }
        const std::size_t a = std::min(col.minAt, col.maxAt), b = std::max(col.minAt, col.maxAt);
        out.points.push_back({static_cast<double>(time[a]), values[a]});
        if (b != a)
            out.points.push_back({static_cast<double>(time[b]), values[b]});
        col.open = false;
    };

    for (std::size_t i = from; i < to; ++i) {
        const float v = values[i];
        if (std::isnan(v)) {
            flush();
            segmentOpen = false;
            continue;
        }
        const std::int64_t c = map.column[i - from];
        if (i >= lo && i < hi) {
            if (!out.any || v < out.min)
                out.min = v;
            if (!out.any || v > out.max)
                out.max = v;
            out.any = true;
        }
        const bool broken = i < breakBefore.size() && breakBefore[i] && i > from;
        if (broken || !col.open || c != col.index) {
            flush();
            if (broken)
                segmentOpen = false;
            col = {c, i, i, true};
            continue;
        }
        if (v < values[col.minAt])
            col.minAt = i;
        if (v > values[col.maxAt])
            col.maxAt = i;
    }
    flush();
}

void decimateBars(std::span<const Bar> bars, TimeRange range, int columns, BarTrace &out)
{
    out.bars.clear();
    out.max = 0;
    out.any = false;
    if (bars.empty() || columns <= 0 || !(range.end > range.start))
        return;
    const double perColumn = range.length() / columns;
    auto it = std::lower_bound(bars.begin(), bars.end(), range.start,
                               [](const Bar &b, double v) { return static_cast<double>(b.end) <= v; });
    std::int64_t column = -1;
    for (; it != bars.end() && static_cast<double>(it->start) < range.end; ++it) {
        const Bar &b = *it;
        if (!out.any || b.kwh > out.max)
            out.max = b.kwh;
        out.any = true;
        if (static_cast<double>(b.end - b.start) >= perColumn) {
            out.bars.push_back(b);
            column = -1;
            continue;
        }
        const double mid = (static_cast<double>(b.start) + static_cast<double>(b.end)) / 2;
        const auto c = static_cast<std::int64_t>(std::floor((mid - range.start) / perColumn));
        if (c == column && !out.bars.empty()) {
            Bar &merged = out.bars.back();
            merged.kwh = std::max(merged.kwh, b.kwh);
            merged.covered += b.covered;
            merged.partial = merged.partial || b.partial;
            continue;
        }
        column = c;
        const double left = range.start + static_cast<double>(c) * perColumn;
        out.bars.push_back({static_cast<CivilSeconds>(std::floor(left)), static_cast<CivilSeconds>(std::ceil(left + perColumn)),
                            b.kwh, b.covered, b.partial});
    }
}

}  // namespace tellumic::logview
