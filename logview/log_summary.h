#pragma once

// What the charts show of a range, as numbers and as text: the first and last time, the
// record count, and minimum, maximum and mean of each series. The text is the window's
// "Summary" pane, which a screen reader can read where it cannot read a chart.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logview/log_data.h"

namespace tellumic::logview {

struct SeriesStats
{
    std::size_t count = 0;
    double min = 0, max = 0, mean = 0;
    CivilSeconds minTime = 0, maxTime = 0;
};

struct RangeSummary
{
    TimeRange range;
    std::size_t first = 0, last = 0;  // record indexes [first, last)
    std::array<SeriesStats, kQuantityCount> series;
    SeriesStats intervalEnergy;  // bars that end inside the range
    double intervalEnergyTotal = 0;
    SeriesStats dailyEnergy;  // the days drawn: those with intervals inside the range
    std::vector<CivilSeconds> partialDays;  // the starts of those that are partial
    std::array<std::size_t, kMarkerKindCount> markers{};  // per MarkerKind, inside the range

    std::size_t records() const { return last - first; }
};

RangeSummary summarize(const LogData &data, TimeRange range);

// The daily totals the chart draws for a range: every day with an interval inside it.
void summarizeDays(const LogData &data, TimeRange range, RangeSummary &s);
// "Daily energy (kWh): min ... on <day>, max ... on <day>, mean ... over N days", and which
// of them are partial.
std::string dailyEnergyText(const RangeSummary &s);

// The record of the peak demand among records [first, last): the first of equal highest
// values, records without a value left out; nullopt when none has one.
std::optional<std::size_t> peakDemandRecord(const LogData &data, std::size_t first, std::size_t last);

// Which series the text covers: those shown in the charts.
struct SummaryScope
{
    std::array<bool, kQuantityCount> series{};
    bool intervalEnergy = false;
    bool dailyEnergy = false;
};

// The summary as lines of text. Values are shown with the CSV's units.
std::string summaryText(const LogData &data, const RangeSummary &s, const SummaryScope &scope);

// The cursor readout: the record nearest to time, its value of each series in scope, the
// interval energy and the day's total around time.
std::string readoutText(const LogData &data, double time, const SummaryScope &scope);

// The records dated far from the others, which the charts leave out, one sentence ("" when
// none).
std::string farRecordsText(const LogData &data);

// The lines the file's read left out, one sentence ("" when none).
std::string skippedLinesText(const ReadReport &report);

// A number with at most `decimals` decimals and "." as the point; trailing zeros go, but
// never below `keptDecimals` decimals (a column written "121.0" reads "121.0", not "121").
std::string formatValue(double v, int decimals = 3, int keptDecimals = 0);
// A value as the log stores it (single precision): the fewest digits that give it back,
// with at least `keptDecimals` decimals (those its column is written with).
std::string formatReading(float v, int keptDecimals = 0);

}  // namespace tellumic::logview
