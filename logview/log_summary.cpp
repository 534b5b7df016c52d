#include "logview/log_summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "logview/log_gaps.h"

namespace tellumic::logview {

namespace {

void add(SeriesStats &s, double v, CivilSeconds t, double &sum)
{
    if (s.count == 0 || v < s.min) {
        s.min = v;
        s.minTime = t;
    }
    if (s.count == 0 || v > s.max) {
        s.max = v;
        s.maxTime = t;
    }
    sum += v;
    ++s.count;
}

void finish(SeriesStats &s, double sum)
{
    s.mean = s.count ? sum / static_cast<double>(s.count) : 0;
}

std::string plural(std::uint64_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// kWh are counted in tenths: one decimal always.
constexpr int kKwhDecimals = 1;

// Pads a number to at least `decimals` decimals.
std::string withDecimals(std::string s, int decimals)
{
    if (decimals <= 0 || s == "NaN")
        return s;
    const std::size_t point = s.find('.');
    const int have = point == std::string::npos ? 0 : static_cast<int>(s.size() - point - 1);
    if (point == std::string::npos)
        s += '.';
    return s + std::string(static_cast<std::size_t>(std::max(0, decimals - have)), '0');
}

// readings: min and max are single-precision values of the log. Every number shows at least
// the `decimals` its column is written with, and the mean at least three: never coarser
// than the values it is the mean of.
std::string statsLine(std::string_view name, std::string_view unit, const SeriesStats &s, bool readings,
                      int decimals = 0)
{
    auto value = [readings, decimals](double v) {
        return readings ? formatReading(static_cast<float>(v), decimals) : formatValue(v, std::max(3, decimals), decimals);
    };
    std::string line(name);
    if (!unit.empty())
        line += " (" + std::string(unit) + ")";
    if (s.count == 0)
        return line + ": no values";
    line += ": min " + value(s.min) + " at " + formatCivil(s.minTime);
    line += ", max " + value(s.max) + " at " + formatCivil(s.maxTime);
    line += ", mean " + formatValue(s.mean, std::max(3, decimals), decimals);
    return line;
}

struct MarkerName
{
    std::string_view one, many;
};
constexpr MarkerName kMarkerNames[] = {{"line without values", "lines without values"},
                                       {"power failure", "power failures"},
                                       {"clock change", "clock changes"},
                                       {"energy counter fall", "energy counter falls"},
                                       {"other note", "other notes"},
                                       {"gap in the record numbers", "gaps in the record numbers"},
                                       {"gap in time", "gaps in time"}};

}  // namespace

std::string formatReading(float v, int keptDecimals)
{
    if (!std::isfinite(v))
        return "NaN";
    char b[64];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed);
    std::string s(b, r.ptr);
    return withDecimals(s == "-0" ? "0" : s, keptDecimals);
}

std::string formatValue(double v, int decimals, int keptDecimals)
{
    if (!std::isfinite(v))
        return "NaN";
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    std::string s = b;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return withDecimals(s, std::min(keptDecimals, decimals));
}

RangeSummary summarize(const LogData &data, TimeRange range)
{
    RangeSummary s;
    s.range = range;
    std::tie(s.first, s.last) = data.indexRange(range);
    const std::size_t q = quantityCount(data.format);
    for (std::size_t k = 0; k < q; ++k) {
        double sum = 0;
        const std::vector<float> &v = data.values[k];
        for (std::size_t i = s.first; i < s.last; ++i)
            if (!std::isnan(v[i]))
                add(s.series[k], v[i], data.time[i], sum);
        finish(s.series[k], sum);
    }
    double sum = 0;
    for (const Bar &b : data.intervalEnergy)
        if (static_cast<double>(b.end) >= range.start && static_cast<double>(b.end) <= range.end)
            add(s.intervalEnergy, b.kwh, b.end, sum);
    finish(s.intervalEnergy, sum);
    s.intervalEnergyTotal = sum;
    summarizeDays(data, range, s);
    for (const Marker &m : data.markers)
        if (static_cast<double>(m.time) >= range.start && static_cast<double>(m.time) <= range.end)
            ++s.markers[static_cast<std::size_t>(m.kind)];
    return s;
}

void summarizeDays(const LogData &data, TimeRange range, RangeSummary &s)
{
    s.dailyEnergy = {};
    s.partialDays.clear();
    double sum = 0;
    // The same days as the chart's bars: a day counts when any of it lies in the range.
    const auto first = std::lower_bound(data.dailyEnergy.begin(), data.dailyEnergy.end(), range.start,
                                        [](const Bar &b, double t) { return static_cast<double>(b.end) <= t; });
    for (auto it = first; it != data.dailyEnergy.end() && static_cast<double>(it->start) < range.end; ++it) {
        add(s.dailyEnergy, it->kwh, it->start, sum);
        if (it->partial)
            s.partialDays.push_back(it->start);
    }
    finish(s.dailyEnergy, sum);
}

std::string dailyEnergyText(const RangeSummary &s)
{
    const SeriesStats &d = s.dailyEnergy;
    std::string line = "Daily energy (kWh)";
    if (d.count == 0)
        return line + ": no values";
    auto partial = [&s](CivilSeconds day) {
        return std::binary_search(s.partialDays.begin(), s.partialDays.end(), day) ? " (partial)" : "";
    };
    line += ": min " + formatValue(d.min, 3, kKwhDecimals) + " on " + formatCivilDate(d.minTime) + partial(d.minTime);
    line += ", max " + formatValue(d.max, 3, kKwhDecimals) + " on " + formatCivilDate(d.maxTime) + partial(d.maxTime);
    line += ", mean " + formatValue(d.mean, 3, kKwhDecimals) + " over " + plural(d.count, "day", "days");
    if (s.partialDays.empty())
        return line;
    constexpr std::size_t kNamed = 4;
    line += "; " + std::to_string(s.partialDays.size()) + " partial (records cover part of the day): ";
    for (std::size_t i = 0; i < s.partialDays.size() && i < kNamed; ++i)
        line += (i ? ", " : "") + formatCivilDate(s.partialDays[i]);
    if (s.partialDays.size() > kNamed)
        line += ", ...";
    return line;
}

std::optional<std::size_t> peakDemandRecord(const LogData &data, std::size_t first, std::size_t last)
{
    std::optional<std::size_t> at;
    const std::vector<float> &v = data.values[kDemand];
    for (std::size_t i = first; i < last; ++i)
        if (!std::isnan(v[i]) && (!at || v[i] > v[*at]))
            at = i;
    return at;
}

std::string summaryText(const LogData &data, const RangeSummary &s, const SummaryScope &scope)
{
    if (data.empty() && data.farRecords.empty()) {
        const std::string skipped = skippedLinesText(data.report);
        return "The file holds no records.\n" + (skipped.empty() ? std::string() : skipped + "\n");
    }
    std::string text = "Visible range: " + formatCivil(static_cast<CivilSeconds>(std::floor(s.range.start))) +
                       " to " + formatCivil(static_cast<CivilSeconds>(std::ceil(s.range.end))) + "\n";
    if (s.records() == 0) {
        text += "Records: none in this range\n";
    } else {
        text += "Records: " + std::to_string(s.records()) + "\n";
        text += "First: " + formatCivil(data.time[s.first]) + " (record " + std::to_string(data.recordNumber[s.first]) +
                ")\n";
        text += "Last: " + formatCivil(data.time[s.last - 1]) + " (record " +
                std::to_string(data.recordNumber[s.last - 1]) + ")\n";
    }
    if (const auto peak = peakDemandRecord(data, s.first, s.last))
        text += "Peak demand: " + formatReading(data.values[kDemand][*peak], data.decimals[kDemand]) + " Watt at " +
                formatCivil(data.time[*peak]) + "\n";
    for (std::size_t k = 0; k < quantityCount(data.format); ++k)
        if (scope.series[k])
            text += statsLine(kQuantities[k].column, chartGroupInfo(kQuantities[k].group).unit, s.series[k], true,
                              data.decimals[k]) +
                    "\n";
    if (scope.intervalEnergy) {
        text += statsLine("Interval energy", "kWh", s.intervalEnergy, false, kKwhDecimals) + "\n";
        text += "Energy of these intervals: " + formatValue(s.intervalEnergyTotal, 1, kKwhDecimals) + " kWh\n";
    }
    if (scope.dailyEnergy)
        text += dailyEnergyText(s) + "\n";
    std::string events;
    for (std::size_t k = 0; k < s.markers.size(); ++k)
        if (s.markers[k] > 0)
            events += (events.empty() ? "" : ", ") + plural(s.markers[k], kMarkerNames[k].one, kMarkerNames[k].many);
    text += "Events: " + (events.empty() ? std::string("none") : events) + "\n";
    text += gapEventsText(data, s.range);
    if (const std::string far = farRecordsText(data); !far.empty())
        text += far + "\n";
    const std::string skipped = skippedLinesText(data.report);
    if (!skipped.empty())
        text += skipped + "\n";
    return text;
}

std::string readoutText(const LogData &data, double time, const SummaryScope &scope)
{
    if (data.empty())
        return {};
    const std::size_t i = data.nearest(time);
    std::string text = "Record " + std::to_string(data.recordNumber[i]) + " at " + formatCivil(data.time[i]) + "\n";
    for (std::size_t k = 0; k < quantityCount(data.format); ++k) {
        if (!scope.series[k])
            continue;
        const std::string_view unit = chartGroupInfo(kQuantities[k].group).unit;
        text += std::string(kQuantities[k].column) + ": " + formatReading(data.values[k][i], data.decimals[k]) +
                (unit.empty() ? "" : " " + std::string(unit)) + "\n";
    }
    auto containing = [time](const std::vector<Bar> &bars) -> const Bar * {
        const auto it = std::lower_bound(bars.begin(), bars.end(), time,
                                         [](const Bar &b, double t) { return static_cast<double>(b.end) < t; });
        return it != bars.end() && static_cast<double>(it->start) <= time ? &*it : nullptr;
    };
    if (scope.intervalEnergy) {
        const Bar *b = containing(data.intervalEnergy);
        text += b ? "Interval energy: " + formatValue(b->kwh, 1, kKwhDecimals) + " kWh (" + formatCivil(b->start).substr(11) + " to " +
                        formatCivil(b->end).substr(11) + ")\n"
                  : std::string("Interval energy: none here\n");
    }
    if (scope.dailyEnergy) {
        const Bar *b = containing(data.dailyEnergy);
        text += b ? "Day " + formatCivilDate(b->start) + ": " + formatValue(b->kwh, 1, kKwhDecimals) + " kWh over " +
                        formatValue(static_cast<double>(b->covered) / 3600.0, 2) + " h of records" +
                        (b->partial ? " (partial day)" : "") + "\n"
                  : std::string("Day: no energy\n");
    }
    for (const Marker &m : data.markers)
        if (m.record == static_cast<std::int64_t>(i) && !m.note.empty())
            text += "Note: " + m.note + "\n";
    return text;
}

std::string farRecordsText(const LogData &data)
{
    if (data.farRecords.empty())
        return {};
    constexpr std::size_t kNamed = 3;
    std::string text = "Out of range: " + plural(data.farRecords.size(), "record", "records") +
                       " dated far from the others, not plotted (";
    for (std::size_t i = 0; i < data.farRecords.size() && i < kNamed; ++i)
        text += (i ? "; " : "") + std::string("record ") + std::to_string(data.farRecords[i].recordNumber) + " at " +
                formatCivil(data.farRecords[i].time);
    return text + (data.farRecords.size() > kNamed ? "; ...)." : ").");
}

std::string skippedLinesText(const ReadReport &report)
{
    std::string text;
    const std::uint64_t total = report.skippedTotal();
    if (total > 0) {
        text = plural(total, "line", "lines") + " skipped: ";
        bool first = true;
        for (std::size_t r = 0; r < kSkipReasonCount; ++r) {
            if (report.skipped[r] == 0)
                continue;
            text += (first ? "" : ", ") + std::to_string(report.skipped[r]) + " " +
                    std::string(skipReasonText(static_cast<SkipReason>(r)));
            first = false;
        }
        text += " (line";
        text += report.examples.size() == 1 ? " " : "s ";
        for (std::size_t i = 0; i < report.examples.size(); ++i)
            text += (i ? ", " : "") + std::to_string(report.examples[i].line);
        text += report.examples.size() < total ? ", ...)." : ").";
    }
    if (report.stoppedFull) {
        text += (text.empty() ? "" : " ") + std::string("Reading stopped before line ") +
                std::to_string(report.stoppedAtLine) + ": the viewer holds at most " +
                std::to_string(report.recordLimit) + " records.";
    }
    if (report.duplicates > 0)
        text += (text.empty() ? "" : " ") + plural(report.duplicates, "record", "records") +
                " read more than once, shown once.";
    return text;
}

}  // namespace tellumic::logview
