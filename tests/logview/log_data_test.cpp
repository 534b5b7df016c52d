// The plotted log: where lines break, which events are marked, records in time order and
// kept once, interval energy and daily totals.

#include <gtest/gtest.h>

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
                             "Peak demand: 4321.5 Watt at 2026-03-05 12:30:00\n",
                             "Demand (Watt): min 200 at 2026-03-05 00:30:00, max 4321.5 at 2026-03-05 12:30:00, mean ",
                             "Interval energy (kWh): min ", "Events: 1 power failure\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

}  // namespace
}  // namespace tellumic::logview
