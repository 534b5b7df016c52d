#pragma once

// Reduces a series to what a chart of a given pixel width can show: per pixel column the
// smallest and the largest value, in the order they occur, so a peak is never lost and
// the cost of drawing does not grow with the log.

#include <cstdint>
#include <span>
#include <vector>

#include "logview/civil_time.h"
#include "logview/log_data.h"

namespace tellumic::logview {

struct TracePoint
{
    double x, y;  // seconds, value
};

// Polylines of one series: points[segmentStarts[k]] up to the next start (or the end) are
// joined; nothing joins one polyline to the next.
struct Trace
{
    std::vector<TracePoint> points;
    std::vector<std::uint32_t> segmentStarts;
    double min = 0, max = 0;  // over the records inside the range; meaningful when any
    bool any = false;

    void clear();
    std::size_t segmentCount() const { return segmentStarts.size(); }
    std::span<const TracePoint> segment(std::size_t k) const;
};

// The pixel column of each record of a range: the same for every series of a log, so the
// charts of one view work it out once.
struct ColumnMap
{
    TimeRange range;
    int columns = 0;
    std::size_t from = 0, lo = 0, hi = 0, to = 0;  // records [lo, hi) lie in the range, [from, to) are mapped
    std::vector<std::int32_t> column;             // of record from + k: -1 before the range, columns after it
};
void mapColumns(std::span<const CivilSeconds> time, TimeRange range, int columns, ColumnMap &out);

// At most two points per column for the records inside the range, plus the record just
// outside each end so that a line runs on to the edge. A break (breakBefore, or a NaN
// value) always ends a polyline, however many records share a column.
void decimateLine(const ColumnMap &map, std::span<const CivilSeconds> time, std::span<const float> values,
                  std::span<const std::uint8_t> breakBefore, Trace &out);
void decimateLine(std::span<const CivilSeconds> time, std::span<const float> values,
                  std::span<const std::uint8_t> breakBefore, TimeRange range, int columns, Trace &out);

// Bars inside the range: one at least a column wide stays as it is; narrower ones that
// share a column become one bar over that column as high as the highest of them.
struct BarTrace
{
    std::vector<Bar> bars;
    double max = 0;
    bool any = false;
};
void decimateBars(std::span<const Bar> bars, TimeRange range, int columns, BarTrace &out);

}  // namespace tellumic::logview
