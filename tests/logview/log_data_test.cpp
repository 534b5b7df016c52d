// The plotted log: where lines break, which events are marked, records in time order and
// kept once, interval energy and daily totals.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "logview/log_data.h"
#include "logview/log_summary.h"
#include "tests/logview/log_lines.h"
#include "tests/support/case_name.h"

namespace tellumic::logview {
namespace {

using test::civil;

constexpr CivilSeconds kT0 = test::civil(2026, 3, 5, 10, 0);
constexpr int kStep = 900;

LogData build(std::string_view text)
{
    std::string error;
    LogData data = test::readLogData(text, &error);
    EXPECT_TRUE(error.empty()) << error;
    return data;
}

std::string lines(const std::vector<LogRecord> &records, bool header = true)
{
    return test::logText(records, true, header);
}

std::string lost(std::string_view note = "CRC mismatch. ")
{
    return std::string(12, ',') + std::string(note) + "\r\n";
}

struct BreakCase
{
    const char *what;
    // The file: six records #1 to #6, 15 minutes apart, changed as the case says.
    std::function<std::string(std::vector<LogRecord> &)> file;
    std::vector<std::size_t> breaks;  // record indexes that start a new line
    std::vector<MarkerKind> markers;
    std::vector<bool> markerBreaks;
    std::vector<CivilSeconds> markerTimes;
};

class Breaks : public ::testing::TestWithParam<BreakCase>
{
};

TEST_P(Breaks, AndMarkers)
{
    const BreakCase &c = GetParam();
    auto records = test::loadRecords(6, 1, kT0);
    const LogData d = build(c.file(records));
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < d.size(); ++i)
        if (d.breakBefore[i])
            breaks.push_back(i);
    EXPECT_EQ(breaks, c.breaks);
    std::vector<MarkerKind> kinds;
    std::vector<bool> markerBreaks;
    std::vector<CivilSeconds> times;
    for (const Marker &m : d.markers) {
        kinds.push_back(m.kind);
        markerBreaks.push_back(m.breaksLine);
        times.push_back(m.time);
    }
    EXPECT_EQ(kinds, c.markers);
    EXPECT_EQ(markerBreaks, c.markerBreaks);
    EXPECT_EQ(times, c.markerTimes);
}

const BreakCase kBreakCases[] = {
    {"nothing odd", [](auto &r) { return lines(r); }, {0}, {}, {}, {}},
    {"power failed before #4",
     [](auto &r) {
         r[3].flags = LogFlag::kPowerFail;
         return lines(r);
     },
     {0, 3}, {MarkerKind::PowerFail}, {true}, {kT0 + 3 * kStep}},
    {"clock set at #4",
     [](auto &r) {
         r[3].flags = LogFlag::kClockChange | LogFlag::kCfgChange;
         return lines(r);
     },
     {0, 3}, {MarkerKind::ClockChange}, {true}, {kT0 + 3 * kStep}},
    {"other events mark but do not break",
     [](auto &r) {
         r[2].flags = LogFlag::kReset;
         r[4].crcGood = false;
         return test::logText(r, true, true, true);
     },
     {0}, {MarkerKind::Note, MarkerKind::Note}, {false, false}, {kT0 + 2 * kStep, kT0 + 4 * kStep}},
    {"#4 failed its check",
     [](auto &r) {
         return lines({r.begin(), r.begin() + 3}) + lost() + lines({r.begin() + 4, r.end()}, false);
     },
     {0, 3}, {MarkerKind::NoValues}, {true}, {kT0 + 3 * kStep}},
    {"#4 failed, and a later download brought it",
     [](auto &r) {
         return lines({r.begin(), r.begin() + 3}) + lost("Unrecognized log record type: 0") +
                lines({r.begin() + 4, r.end()}, false) + lines({r.begin() + 3, r.begin() + 4}, false);
     },
     {0}, {MarkerKind::NoValues}, {false}, {kT0 + 3 * kStep}},
    {"a line without values first",
     [](auto &r) {
         const std::string all = lines(r);
         const std::size_t body = all.find("\r\n", all.find("\r\n") + 2) + 2;
         return all.substr(0, body) + lost() + all.substr(body);
     },
     {0}, {MarkerKind::NoValues}, {false}, {kT0}},
    {"a day of records missing",
     [](auto &r) {
         for (std::size_t i = 3; i < 6; ++i)
             r[i].dateTime = test::logDateTime(kT0 + 86400 + static_cast<CivilSeconds>(i) * kStep);
         return lines(r);
     },
     {0, 3}, {MarkerKind::TimeGap}, {true}, {kT0 + 2 * kStep + (86400 + kStep) / 2}},
    {"record numbers jump while the times run on",
     [](auto &r) {
         for (std::size_t i = 3; i < 6; ++i)
             r[i].recordNumber += 5;
         return lines(r);
     },
     {0}, {MarkerKind::RecordsMissing}, {false}, {kT0 + 2 * kStep + kStep / 2}},
    {"#4 and #5 removed",
     [](auto &r) { return lines({r.begin(), r.begin() + 3}) + lines({r.begin() + 5, r.end()}, false); },
     {0, 3}, {MarkerKind::RecordsMissing}, {true}, {kT0 + 2 * kStep + 3 * kStep / 2}},
    {"a gap of exactly twice the step breaks",
     [](auto &r) {
         for (std::size_t i = 3; i < 6; ++i)
             r[i].dateTime = test::logDateTime(kT0 + static_cast<CivilSeconds>(i + 1) * kStep);
         return lines(r);
     },
     // One interval without a record is a gap like any other.
     {0, 3}, {MarkerKind::TimeGap}, {true}, {kT0 + 3 * kStep}},
    {"#4 removed",
     [](auto &r) { return lines({r.begin(), r.begin() + 3}) + lines({r.begin() + 4, r.end()}, false); },
     {0, 3}, {MarkerKind::RecordsMissing}, {true}, {kT0 + 3 * kStep}},
    {"a gap a second longer than twice the step breaks",
     [](auto &r) {
         for (std::size_t i = 3; i < 6; ++i)
             r[i].dateTime = test::logDateTime(kT0 + static_cast<CivilSeconds>(i + 1) * kStep + 1);
         return lines(r);
     },
     {0, 3}, {MarkerKind::TimeGap}, {true}, {kT0 + 3 * kStep}},
    {"the logging interval grows from 15 to 60 minutes",
     [](auto &r) {
         for (std::size_t i = 3; i < 6; ++i)
             r[i].dateTime = test::logDateTime(kT0 + 2 * kStep + static_cast<CivilSeconds>(i - 2) * 3600);
         return lines(r);
     },
     {0, 3}, {}, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Rules, Breaks, ::testing::ValuesIn(kBreakCases), [](const auto &info) { return test::caseName(info.param.what); });

// Both kinds of gap carry their own note and are listed under Events, each once.
TEST(LogData, GapsAreNamedAndListedUnderEvents)
{
    auto r = test::loadRecords(40, 100, civil(2026, 3, 5));
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (i >= 10)
            r[i].recordNumber += 10;  // records 110 to 119 missing, times run on
        if (i >= 30)
            r[i].dateTime = test::logDateTime(civil(2026, 3, 5) + static_cast<CivilSeconds>(i) * kStep + 7200);
    }
    const LogData d = build(lines(r));
    std::vector<std::string> notes;
    for (const Marker &m : d.markers)
        notes.push_back(m.note);
    EXPECT_EQ(notes, (std::vector<std::string>{"records 110 to 119 missing",
                                               "no records from 2026-03-05 07:15:00 to 2026-03-05 09:30:00"}));
    const std::string text = summaryText(d, summarize(d, d.fullRange()), SummaryScope{});
    EXPECT_NE(text.find("Events: 1 gap in the record numbers, 1 gap in time\n"
                        "  records 110 to 119 missing (around 2026-03-05 02:22:30)\n"
                        "  no records from 2026-03-05 07:15:00 to 2026-03-05 09:30:00\n"),
              std::string::npos)
        << text;

    // A range that holds neither lists neither.
    const TimeRange before{static_cast<double>(civil(2026, 3, 5)), static_cast<double>(civil(2026, 3, 5, 2))};
    const std::string early = summaryText(d, summarize(d, before), SummaryScope{});
    EXPECT_NE(early.find("Events: none\n"), std::string::npos) << early;
    EXPECT_EQ(early.find("missing"), std::string::npos) << early;
}

// Downloads appended newest first, overlapping: the plot runs in time order, each record once.
TEST(LogData, RecordsArePlacedByTheirOwnTime)
{
    const auto records = test::loadRecords(12, 1, kT0);
    const std::string text = lines({records.begin() + 6, records.end()}) +
                             lines({records.begin(), records.begin() + 8}, false);
    const LogData d = build(text);
    ASSERT_EQ(d.size(), 12u);
    for (std::size_t i = 0; i < d.size(); ++i) {
        EXPECT_EQ(d.recordNumber[i], static_cast<int>(i) + 1);
        EXPECT_EQ(d.time[i], kT0 + static_cast<CivilSeconds>(i) * kStep);
        EXPECT_EQ(d.breakBefore[i], i == 0 ? 1 : 0) << i;
    }
    EXPECT_EQ(d.intervalEnergy.size(), 11u);
    EXPECT_EQ(d.report.duplicates, 2u);
    EXPECT_EQ(d.offset[0], text.find(test::logText({records.begin(), records.begin() + 1}, true, false)));
}

// A meter reset sends EnergySum back: no negative bar, a gap and a marker instead; days
// add up what their own records show.
TEST(LogData, IntervalEnergyAndDailyTotals)
{
    const CivilSeconds lateEvening = civil(2026, 3, 5, 23, 0);
    auto r = test::loadRecords(9, 1, lateEvening);  // 23:00 ... 01:00
    const std::int32_t tenths[] = {1000, 1010, 1030, 1060, 1100, 20, 35, 55, 80};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i].energySum = tenths[i];
    r[7].flags = LogFlag::kClockChange;  // 00:45
    const LogData d = build(lines(r));

    std::vector<double> bars;
    for (const Bar &b : d.intervalEnergy) {
        bars.push_back(b.kwh);
        EXPECT_EQ(b.end - b.start, kStep);
    }
    // 23:00-00:00 rises 1, 2, 3, 4 kWh; 00:15 falls; 00:15-00:30 rises 1.5; 00:45 follows a
    // clock change (no bar); 00:45-01:00 rises 2.5.
    EXPECT_EQ(bars, (std::vector<double>{1.0, 2.0, 3.0, 4.0, 1.5, 2.5}));
    ASSERT_EQ(d.markers.size(), 2u);
    EXPECT_EQ(d.markers[0].kind, MarkerKind::CounterBack);
    EXPECT_EQ(d.markers[0].time, civil(2026, 3, 6, 0, 15));
    EXPECT_NE(d.markers[0].note.find("from 110.0 to 2.0 kWh"), std::string::npos) << d.markers[0].note;
    EXPECT_EQ(d.markers[1].kind, MarkerKind::ClockChange);

    ASSERT_EQ(d.dailyEnergy.size(), 2u);
    EXPECT_EQ(d.dailyEnergy[0].start, civil(2026, 3, 5));
    EXPECT_DOUBLE_EQ(d.dailyEnergy[0].kwh, 10.0) << "the interval that ends at midnight counts to the day it began";
    EXPECT_EQ(d.dailyEnergy[0].covered, 3600);
    EXPECT_DOUBLE_EQ(d.dailyEnergy[1].kwh, 1.5 + 2.5);
    EXPECT_EQ(d.dailyEnergy[1].covered, 1800);
}

// A record missing from a long log leaves its two intervals without a bar: the energy of
// both is no interval's, and the largest interval is one that was logged.
TEST(LogData, AMissingRecordLeavesNoBarAcrossItsIntervals)
{
    auto r = test::loadRecords(8, 1, kT0);
    const std::int32_t tenths[] = {0, 10, 30, 60, 100, 150, 160, 170};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i].energySum = tenths[i];
    const LogData d = build(lines({r.begin(), r.begin() + 4}) + lines({r.begin() + 5, r.end()}, false));
    std::vector<double> bars;
    for (const Bar &b : d.intervalEnergy) {
        bars.push_back(b.kwh);
        EXPECT_EQ(b.end - b.start, kStep);
    }
    EXPECT_EQ(bars, (std::vector<double>{1.0, 2.0, 3.0, 1.0, 1.0}));
    EXPECT_EQ(d.breakBefore[4], 1) << "the lines break where #5 is missing";
    SummaryScope scope;
    scope.intervalEnergy = true;
    const RangeSummary s = summarize(d, d.fullRange());
    EXPECT_DOUBLE_EQ(s.intervalEnergy.max, 3.0);
    const std::string text = summaryText(d, s, scope);
    EXPECT_NE(text.find("Interval energy (kWh): min 1.0 at "), std::string::npos) << text;
    EXPECT_NE(text.find(", max 3.0 at " + formatCivil(kT0 + 3 * kStep) + ", mean 1.6\n"), std::string::npos) << text;
}

// A record set apart for its far date (a clock never set) is in the file: no gap names it
// missing, though the line breaks where it is not plotted.
TEST(LogData, ARecordDatedFarIsNotMissing)
{
    auto r = test::loadRecords(96, 1, kT0);
    r[50].dateTime = test::logDateTime(civil(0, 1, 1));
    const LogData d = build(lines(r));
    ASSERT_EQ(d.farRecords.size(), 1u);
    EXPECT_EQ(d.farRecords[0].recordNumber, 51);
    for (const Marker &m : d.markers)
        EXPECT_EQ(m.note.find("missing"), std::string::npos) << m.note;
    const std::string text = summaryText(d, summarize(d, d.fullRange()), SummaryScope{});
    EXPECT_EQ(text.find("missing"), std::string::npos) << text;
    EXPECT_EQ(d.breakBefore[50], 1);
}

TEST(LogData, SummaryOfARange)
{
    auto r = test::loadRecords(96, 1, civil(2026, 3, 5));
    const std::vector<float> demand = {500, 900, 200, 700};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i].demand = demand[i % 4];
    r[50].demand = 4321.5f;
    r[40].flags = LogFlag::kPowerFail;
    const LogData d = build(lines(r));
    const TimeRange morning{static_cast<double>(civil(2026, 3, 5, 6)), static_cast<double>(civil(2026, 3, 5, 12))};
    const RangeSummary s = summarize(d, morning);
    EXPECT_EQ(s.records(), 25u);
    EXPECT_EQ(d.time[s.first], civil(2026, 3, 5, 6));
    const SeriesStats &dm = s.series[kDemand];
    EXPECT_EQ(dm.count, 25u);
    EXPECT_DOUBLE_EQ(dm.min, 200);
    EXPECT_DOUBLE_EQ(dm.max, 900);
    EXPECT_NEAR(dm.mean, (6 * (500 + 900 + 200 + 700) + 500) / 25.0, 1e-9);
    EXPECT_EQ(s.markers[static_cast<std::size_t>(MarkerKind::PowerFail)], 1u);

    const RangeSummary day = summarize(d, d.fullRange());
    EXPECT_DOUBLE_EQ(day.series[kDemand].max, 4321.5);
    EXPECT_EQ(day.series[kDemand].maxTime, civil(2026, 3, 5, 12, 30));
    SummaryScope scope;
    scope.series[kDemand] = true;
    scope.intervalEnergy = true;
    const std::string text = summaryText(d, day, scope);
    for (const char *part : {"Records: 96\n", "First: 2026-03-05 00:00:00 (record 1)\n",
                             "Last: 2026-03-05 23:45:00 (record 96)\n",
                             // Demand is written with two decimals, and read out with them.
                             "Peak demand: 4321.50 Watt at 2026-03-05 12:30:00\n",
                             "Demand (Watt): min 200.00 at 2026-03-05 00:30:00, max 4321.50 at 2026-03-05 12:30:00, mean ",
                             "Interval energy (kWh): min ", "Events: 1 power failure\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

struct PartialDayCase
{
    const char *what;
    CivilSeconds start;
    std::size_t count;
    int step;
    std::vector<bool> partial;  // per daily total, in time order
};

class PartialDays : public ::testing::TestWithParam<PartialDayCase>
{
};

// A day is partial when its records leave part of it out, not when they miss midnight by
// less than a step.
TEST_P(PartialDays, AreTheDaysRecordsLeavePartOf)
{
    const PartialDayCase &c = GetParam();
    const LogData d = build(lines(test::loadRecords(c.count, 1, c.start, c.step)));
    std::vector<bool> partial;
    for (const Bar &b : d.dailyEnergy)
        partial.push_back(b.partial);
    EXPECT_EQ(partial, c.partial);
}

const PartialDayCase kPartialDayCases[] = {
    {"a whole day from midnight to midnight", civil(2026, 3, 5), 97, 900, {false}},
    {"a whole day of records a few minutes after the quarter hours", civil(2026, 3, 4, 23, 55), 98, 900, {false}},
    {"a day from ten in the morning", civil(2026, 3, 5, 10), 96, 900, {true, true}},
    {"five-minute records from ten to midnight", civil(2026, 3, 5, 10), 169, 300, {true}},
    {"hourly records over three days from noon", civil(2026, 3, 5, 12), 55, 3600, {true, false, true}},
};

INSTANTIATE_TEST_SUITE_P(Coverage, PartialDays, ::testing::ValuesIn(kPartialDayCases),
                         [](const auto &info) { return test::caseName(info.param.what); });

struct DailySummaryCase
{
    const char *what;
    TimeRange range;
    std::size_t days;
    double min, mean, max;
    std::string text;
};

class DailySummary : public ::testing::TestWithParam<DailySummaryCase>
{
};

// Records from 2026-03-05 10:00 to 2026-03-08 12:00, each interval 0.1 kWh: 5.6, 9.6, 9.6
// and 4.8 kWh a day. Every day with intervals in the range counts, a partial one too, and
// the summary names the partial ones.
TEST_P(DailySummary, CountsEveryDayWithIntervalsInTheRange)
{
    const DailySummaryCase &c = GetParam();
    auto r = test::loadRecords(297, 1, civil(2026, 3, 5, 10));
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i].energySum = 5000 + static_cast<std::int32_t>(i);
    const LogData d = build(lines(r));
    const RangeSummary s = summarize(d, c.range);
    EXPECT_EQ(s.dailyEnergy.count, c.days);
    EXPECT_NEAR(s.dailyEnergy.min, c.min, 1e-9);
    EXPECT_NEAR(s.dailyEnergy.mean, c.mean, 1e-9);
    EXPECT_NEAR(s.dailyEnergy.max, c.max, 1e-9);
    SummaryScope scope;
    scope.dailyEnergy = true;
    const std::string text = summaryText(d, s, scope);
    EXPECT_NE(text.find("\n" + c.text + "\n"), std::string::npos) << text;
}

TimeRange between(CivilSeconds a, CivilSeconds b)
{
    return {static_cast<double>(a), static_cast<double>(b)};
}

const DailySummaryCase kDailySummaryCases[] = {
    {"the whole log", between(civil(2026, 3, 5, 10), civil(2026, 3, 8, 12)), 4, 4.8, 7.4, 9.6,
     "Daily energy (kWh): min 4.8 on 2026-03-08 (partial), max 9.6 on 2026-03-06, mean 7.4 over 4 days; 2 partial "
     "(records cover part of the day): 2026-03-05, 2026-03-08"},
    {"noon to early morning", between(civil(2026, 3, 5, 12), civil(2026, 3, 6, 6)), 2, 5.6, 7.6, 9.6,
     "Daily energy (kWh): min 5.6 on 2026-03-05 (partial), max 9.6 on 2026-03-06, mean 7.6 over 2 days; 1 partial "
     "(records cover part of the day): 2026-03-05"},
    {"inside one whole day", between(civil(2026, 3, 6), civil(2026, 3, 6, 23)), 1, 9.6, 9.6, 9.6,
     "Daily energy (kWh): min 9.6 on 2026-03-06, max 9.6 on 2026-03-06, mean 9.6 over 1 day"},
};

INSTANTIATE_TEST_SUITE_P(Ranges, DailySummary, ::testing::ValuesIn(kDailySummaryCases),
                         [](const auto &info) { return test::caseName(info.param.what); });

// A long log of records 15 minutes apart from kT0 whose column `field` holds the texts given.
std::string longLogWith(int field, const std::vector<std::string> &texts)
{
    const std::string text = test::logText(test::loadRecords(texts.size(), 1, kT0), false);
    std::string out;
    std::size_t at = 0, line = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at) + 2;
        std::string l = text.substr(at, end - at);
        if (line >= 2) {
            std::size_t from = 0;
            for (int f = 0; f < field; ++f)
                from = l.find(',', from) + 1;
            l.replace(from, l.find(',', from) - from, texts[line - 2]);
        }
        out += l;
        at = end;
        ++line;
    }
    return out;
}

struct MeanCase
{
    const char *what;
    int field;
    std::vector<std::string> texts;
    std::string line;  // the summary's line of that column
};

class Means : public ::testing::TestWithParam<MeanCase>
{
};

// A mean is shown with at least the precision its column is written with.
TEST_P(Means, AreNoCoarserThanTheirColumn)
{
    const MeanCase &c = GetParam();
    const LogData d = build(longLogWith(c.field, c.texts));
    SummaryScope scope;
    scope.series.fill(true);
    const std::string text = summaryText(d, summarize(d, d.fullRange()), scope);
    EXPECT_NE(text.find("\n" + c.line + "\n"), std::string::npos) << c.line << "\n" << text;
}

const MeanCase kMeanCases[] = {
    {"power factor of four decimals", 23, {"0.9609", "0.9609", "0.9609"},
     "PF-A: min 0.9609 at 2026-03-05 10:00:00, max 0.9609 at 2026-03-05 10:00:00, mean 0.9609"},
    {"a small current", 20, {"0.0004", "0.0004"},
     "CurrentA (Amp): min 0.0004 at 2026-03-05 10:00:00, max 0.0004 at 2026-03-05 10:00:00, mean 0.0004"},
    {"frequency of two decimals keeps three in its mean", 26, {"50.01", "50.02", "50.02"},
     "Frequency (Hz): min 50.01 at 2026-03-05 10:00:00, max 50.02 at 2026-03-05 10:15:00, mean 50.017"},
    {"volts written with one decimal keep it", 17, {"121.0", "121.0"},
     "VoltsA (Volt): min 121.0 at 2026-03-05 10:00:00, max 121.0 at 2026-03-05 10:00:00, mean 121.0"},
    {"a mean between the column's steps", 17, {"120.5", "121.0", "121.0", "121.5"},
     "VoltsA (Volt): min 120.5 at 2026-03-05 10:00:00, max 121.5 at 2026-03-05 10:45:00, mean 121.0"},
};

INSTANTIATE_TEST_SUITE_P(Columns, Means, ::testing::ValuesIn(kMeanCases),
                         [](const auto &info) { return test::caseName(info.param.what); });

struct FarCase
{
    const char *what;
    std::size_t count;                     // records from kT0, 15 minutes apart ...
    std::vector<CivilSeconds> more;        // ... and these, numbered on
    std::vector<std::int32_t> far;         // the record numbers set apart
};

class FarRecords : public ::testing::TestWithParam<FarCase>
{
};

// A record dated far from all the others is set apart and told, not plotted: the time axis
// spans the others.
TEST_P(FarRecords, AreSetApartAndTold)
{
    const FarCase &c = GetParam();
    auto r = test::loadRecords(c.count + c.more.size(), 1, kT0);
    for (std::size_t i = 0; i < c.more.size(); ++i)
        r[c.count + i].dateTime = test::logDateTime(c.more[i]);
    const LogData d = build(lines(r));
    std::vector<std::int32_t> far;
    for (const FarRecord &f : d.farRecords)
        far.push_back(f.recordNumber);
    EXPECT_EQ(far, c.far);
    EXPECT_EQ(d.size() + d.farRecords.size(), r.size());
    SummaryScope scope;
    const std::string text = summaryText(d, summarize(d, d.fullRange()), scope);
    if (c.far.empty()) {
        EXPECT_EQ(text.find("Out of range"), std::string::npos) << text;
        return;
    }
    EXPECT_EQ(d.fullRange().start, static_cast<double>(kT0));
    EXPECT_EQ(d.fullRange().end, static_cast<double>(kT0 + static_cast<CivilSeconds>(c.count - 1) * kStep));
    const std::string line = "Out of range: 1 record dated far from the others, not plotted (record " +
                             std::to_string(c.far[0]) + " at " + formatCivil(c.more[0]) + ").\n";
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
    const auto note = std::find_if(d.markers.begin(), d.markers.end(),
                                   [](const Marker &m) { return m.note.find("far from the others") != std::string::npos; });
    ASSERT_NE(note, d.markers.end());
    EXPECT_EQ(note->time, c.more[0] < kT0 ? d.time.front() : d.time.back()) << "marked at the nearer end";
}

const FarCase kFarCases[] = {
    {"a record of the year 0000", 96, {civil(0, 1, 1)}, {97}},
    {"a record two years on", 96, {civil(2028, 3, 5)}, {97}},
    {"a record 300 days on is near enough", 96, {kT0 + 300 * 86400}, {}},
    {"two years apart, both many", 48, std::vector<CivilSeconds>(48, civil(2028, 3, 5)), {}},
    {"a record two years on after ten others", 10, {civil(2028, 3, 5)}, {}},
};

INSTANTIATE_TEST_SUITE_P(Dates, FarRecords, ::testing::ValuesIn(kFarCases),
                         [](const auto &info) { return test::caseName(info.param.what); });

}  // namespace
}  // namespace tellumic::logview
