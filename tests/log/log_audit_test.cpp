// The audit of CSV logs and the merge of a backfill, on crafted files: every gap planted is
// found, nothing is found in a clean file, and a merge of the fetched records rebuilds the
// clean file byte for byte.

#include <algorithm>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include <ostream>

#include "log/log_audit.h"
#include "log/log_backfill.h"
#include "log/log_csv.h"

namespace tellumic {
namespace {

constexpr std::int64_t kInterval = 900;

LogDateTime timeOf(std::int64_t seconds)
{
    // 2026-03-01 00:00:00 plus seconds, within March.
    const std::int64_t day = seconds / 86400, rest = seconds % 86400;
    return {2026, 3, static_cast<std::uint8_t>(1 + day), static_cast<std::uint8_t>(rest / 3600),
            static_cast<std::uint8_t>(rest % 3600 / 60), static_cast<std::uint8_t>(rest % 60)};
}

LogRecord record(std::int64_t n, bool isShort)
{
    LogRecord r;
    r.recordType = 1;
    r.crcGood = true;
    r.recordNumber = static_cast<std::int32_t>(n);
    r.dateTime = timeOf(n * kInterval);
    r.energySum = static_cast<std::int32_t>(1000 + 7 * n);
    r.demand = 1234.5f + static_cast<float>(n);
    r.logSeconds = 900;
    if (!isShort) {
        r.volts = {230.1f, 229.9f, 231.0f};
        r.power = {1000.f, 900.f, 800.f + static_cast<float>(n)};
        r.reacPower = {100.f, 90.f, 80.f};
        r.frequency = 50.f;
    }
    return r;
}

std::string line(const LogRecord &r, bool isShort, bool keepBad = false)
{
    return FormatLogDataCsv(r, isShort, keepBad) + "\r\n";
}

// A log of records first..last, one line each, as a download writes it; edit may change a
// record or replace its line (an empty text drops it).
using Edit = std::function<void(std::int64_t n, LogRecord &r, std::string &text)>;
std::string makeLog(std::int64_t first, std::int64_t last, bool isShort, const Edit &edit = {})
{
    std::string text = std::string(logCsvHeader(isShort)) + "\r\n";
    for (std::int64_t n = first; n <= last; ++n) {
        LogRecord r = record(n, isShort);
        std::string l;
        if (edit)
            edit(n, r, l);
        text += l.empty() ? line(r, isShort) : (l == "-" ? std::string() : l);
    }
    return text;
}

std::string crcLine(bool isShort)
{
    return std::string(isShort ? 12 : 35, ',') + std::string(kCrcMismatchNote) + "\r\n";
}

struct AuditCase
{
    const char *name;
    bool isShort;
    Edit edit;
    std::vector<RecordRange> missing;
    std::vector<std::pair<std::int64_t, LostLine::Cause>> lost;  // record (0: not known), cause
    std::vector<DuplicateRecord> duplicates;
    std::vector<std::pair<bool, std::int64_t>> timeSteps;       // back, from record
    std::vector<std::int64_t> powerFailed, clockChanged;
};

void PrintTo(const AuditCase &c, std::ostream *os)
{
    *os << c.name;
}

class LogAuditCases : public ::testing::TestWithParam<AuditCase>
{
};

TEST_P(LogAuditCases, FindsExactlyWhatWasPlanted)
{
    const AuditCase &c = GetParam();
    const LogAudit a = auditLogCsv(makeLog(1, 60, c.isShort, c.edit));
    EXPECT_EQ(a.isShort, c.isShort);
    EXPECT_EQ(a.intervalSeconds, kInterval);
    EXPECT_EQ(a.missing, c.missing);
    std::vector<std::pair<std::int64_t, LostLine::Cause>> lost;
    for (const LostLine &l : a.lost)
        lost.emplace_back(l.recordNumber, l.cause);
    EXPECT_EQ(lost, c.lost);
    ASSERT_EQ(a.duplicates.size(), c.duplicates.size());
    for (std::size_t i = 0; i < a.duplicates.size(); ++i) {
        EXPECT_EQ(a.duplicates[i].recordNumber, c.duplicates[i].recordNumber);
        EXPECT_EQ(a.duplicates[i].lines, c.duplicates[i].lines);
    }
    std::vector<std::pair<bool, std::int64_t>> steps;
    for (const TimeStep &s : a.timeSteps)
        steps.emplace_back(s.back, s.fromRecord);
    EXPECT_EQ(steps, c.timeSteps);
    std::vector<std::int64_t> power, clock;
    for (const FlaggedRecord &f : a.flagged) {
        if (f.powerFailed)
            power.push_back(f.recordNumber);
        if (f.clockChanged)
            clock.push_back(f.recordNumber);
    }
    EXPECT_EQ(power, c.powerFailed);
    EXPECT_EQ(clock, c.clockChanged);
    // A damaged line is damage even where it stands for no record.
    EXPECT_EQ(a.complete(), c.missing.empty() && c.lost.empty());
}

const auto kFailed = LostLine::Cause::FailedCheck;
const auto kUnrecognized = LostLine::Cause::Unrecognized;
const auto kUnreadable = LostLine::Cause::Unreadable;

INSTANTIATE_TEST_SUITE_P(
    CraftedFiles, LogAuditCases,
    ::testing::Values(
        AuditCase{"CleanLong", false, {}, {}, {}, {}, {}, {}, {}},
        AuditCase{"CleanShort", true, {}, {}, {}, {}, {}, {}, {}},
        AuditCase{"RangesRemoved", false,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if ((n >= 10 && n <= 19) || n == 33)
                          t = "-";
                  },
                  {{10, 19}, {33, 33}}, {}, {}, {}, {}, {}},
        AuditCase{"CrcLinesTakeTheirNumbersFromTheRecordsAround", true,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n == 20 || n == 21 || n == 1 || n == 60)
                          t = crcLine(true);
                  },
                  {}, {{1, kFailed}, {20, kFailed}, {21, kFailed}, {60, kFailed}}, {}, {}, {}, {}},
        AuditCase{"CrcLineNextToARemovedRecordStaysUnnumbered", false,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n == 20)
                          t = crcLine(false);
                      if (n == 21)
                          t = "-";
                  },
                  {{20, 21}}, {{0, kFailed}}, {}, {}, {}, {}},
        AuditCase{"KeptBadRecordCarriesItsNumber", false,
                  [](std::int64_t n, LogRecord &r, std::string &t) {
                      if (n == 30) {
                          r.crcGood = false;
                          t = line(r, false, true);
                      }
                  },
                  {}, {{30, kFailed}}, {}, {}, {}, {}},
        AuditCase{"UnrecognisedAndGarbledLines", true,
                  [](std::int64_t n, LogRecord &r, std::string &t) {
                      if (n == 40) {
                          r.recordType = 2;
                          t = line(r, true);
                      }
                      if (n == 50)
                          t = line(r, true) + "50,2026-03-01 12:,1.0\r\n";
                  },
                  {}, {{40, kUnrecognized}, {0, kUnreadable}}, {}, {}, {}, {}},
        AuditCase{"NulsInsideValuesMakeALineUnreadable", false,
                  [](std::int64_t n, LogRecord &r, std::string &t) {
                      if (n == 30) {
                          t = line(r, false);
                          t.insert(t.find(',', t.find(',') + 1) + 2, std::string(4096, '\0'));
                      }
                  },
                  {}, {{30, kUnreadable}}, {}, {}, {}, {}},
        AuditCase{"GarbledLinesTakeTheNumbersTheirNeighboursLeave", true,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n == 35 || n == 36)
                          t = std::to_string(n) + ",2026-03-01 12:,1.0\r\n";
                      if (n == 60)
                          t = "60,2026-03\r\n";
                  },
                  {}, {{35, kUnreadable}, {36, kUnreadable}, {0, kUnreadable}}, {}, {}, {}, {}},
        AuditCase{"Duplicates", false,
                  [](std::int64_t n, LogRecord &r, std::string &t) {
                      if (n == 25)
                          t = line(r, false) + line(r, false);
                  },
                  {}, {}, {{25, 2}}, {}, {}, {}},
        AuditCase{"TimeGoesBack", false,
                  [](std::int64_t n, LogRecord &r, std::string &) {
                      if (n == 40)
                          r.dateTime = timeOf(39 * kInterval - 3600);
                  },
                  {}, {}, {}, {{true, 39}, {false, 40}}, {}, {}},
        AuditCase{"TimeJumpsWhileNumbersRunOn", true,
                  [](std::int64_t n, LogRecord &r, std::string &) {
                      if (n >= 41)
                          r.dateTime = timeOf(n * kInterval + 7200);
                  },
                  {}, {}, {}, {{false, 40}}, {}, {}},
        AuditCase{"RemovedRecordsAreNoTimeJump", true,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n >= 41 && n <= 44)
                          t = "-";
                  },
                  {{41, 44}}, {}, {}, {}, {}, {}},
        AuditCase{"Flags", false,
                  [](std::int64_t n, LogRecord &r, std::string &) {
                      if (n == 5)
                          r.flags = LogFlag::kPowerFail;
                      if (n == 6)
                          r.flags = LogFlag::kClockChange | LogFlag::kReset;
                  },
                  {}, {}, {}, {}, {5}, {6}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LogAudit, FirstAndLastAndWantedRanges)
{
    const LogAudit a = auditLogCsv(makeLog(100, 200, false, [](std::int64_t n, LogRecord &r, std::string &t) {
        if (n >= 150 && n <= 152)
            t = "-";
        if (n == 153)
            t = crcLine(false);  // next to the removed ones: its number is not known
        if (n == 170) {
            r.crcGood = false;
            t = line(r, false, true);
        }
    }));
    EXPECT_EQ(a.records, 101u - 5u);
    EXPECT_EQ(a.first.recordNumber, 100);
    EXPECT_EQ(a.last.recordNumber, 200);
    EXPECT_EQ(a.last.dateTime, timeOf(200 * kInterval));
    EXPECT_EQ(auditWantedRanges(a), (std::vector<RecordRange>{{150, 153}, {170, 170}}));
}

// A file without its units line, or a torn last line, is still read; a torn line is no record.
TEST(LogAudit, TornLastLineIsUnreadable)
{
    std::string text = makeLog(1, 10, true);
    text += "11,2026-03-01 02:45:00,1.0";
    const LogAudit a = auditLogCsv(text);
    EXPECT_EQ(a.records, 10u);
    ASSERT_EQ(a.lost.size(), 1u);
    EXPECT_EQ(a.lost[0].cause, LostLine::Cause::Unreadable);
    EXPECT_EQ(a.lost[0].line, 13u);
}

struct GapCase
{
    const char *name;
    std::vector<std::int32_t> numbers;
    std::vector<std::int64_t> minutes;
    std::vector<std::tuple<LogGap::Kind, std::size_t, RecordRange>> gaps;
};

void PrintTo(const GapCase &c, std::ostream *os)
{
    *os << c.name;
}

class LogGapCases : public ::testing::TestWithParam<GapCase>
{
};

TEST_P(LogGapCases, Found)
{
    std::vector<std::int64_t> seconds;
    for (const auto m : GetParam().minutes)
        seconds.push_back(m * 60);
    const auto interval = typicalLogInterval(GetParam().numbers, seconds);
    EXPECT_EQ(interval, 900);
    std::vector<std::tuple<LogGap::Kind, std::size_t, RecordRange>> gaps;
    for (const LogGap &g : findLogGaps(GetParam().numbers, seconds, interval))
        gaps.emplace_back(g.kind, g.before, g.missing);
    EXPECT_EQ(gaps, GetParam().gaps);
}

using K = LogGap::Kind;
INSTANTIATE_TEST_SUITE_P(
    Series, LogGapCases,
    ::testing::Values(GapCase{"None", {1, 2, 3, 4}, {15, 30, 45, 60}, {}},
                      GapCase{"NumbersJumpTimesFollow", {1, 2, 6, 7}, {15, 30, 90, 105}, {{K::RecordsMissing, 1, {3, 5}}}},
                      GapCase{"NumbersJumpTimesContinuous", {1, 2, 6, 7}, {15, 30, 45, 60}, {{K::RecordsMissing, 1, {3, 5}}}},
                      GapCase{"TimesJumpNumbersContinuous", {1, 2, 3, 4}, {15, 30, 300, 315}, {{K::TimeJump, 1, {}}}},
                      // Twenty minutes for one step is within half an interval of fifteen.
                      GapCase{"ALateRecordIsNoJump", {1, 2, 3, 4, 5}, {15, 30, 50, 60, 75}, {}},
                      // Thirty minutes for one step: a whole interval without its record.
                      GapCase{"OneIntervalSkipped", {1, 2, 3, 4, 5}, {15, 30, 60, 75, 90}, {{K::TimeJump, 1, {}}}},
                      GapCase{"TimeBack", {1, 2, 3, 4}, {15, 30, 20, 35}, {{K::TimeBack, 1, {}}}},
                      GapCase{"DuplicateOpensNoGap", {1, 2, 2, 3}, {15, 30, 30, 45}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

// The merge: the planted file with every record the meter holds fetched again is the clean
// file, byte for byte.
struct MergeCase
{
    const char *name;
    bool isShort;
    Edit plant;
    std::vector<std::int64_t> failAgain;  // records the meter sends with a bad check again
    BackfillCounts counts;
    bool identical;
};

void PrintTo(const MergeCase &c, std::ostream *os)
{
    *os << c.name;
}

class BackfillMergeCases : public ::testing::TestWithParam<MergeCase>
{
};

TEST_P(BackfillMergeCases, RebuildsTheCleanFile)
{
    const MergeCase &c = GetParam();
    const std::string clean = makeLog(1, 80, c.isShort);
    const std::string planted = makeLog(1, 80, c.isShort, c.plant);
    const LogAudit audit = auditLogCsv(planted);
    std::map<std::int64_t, LogRecord> fetched;
    for (const RecordRange &r : auditWantedRanges(audit))
        for (std::int64_t n = r.first; n <= r.last; ++n) {
            fetched[n] = record(n, c.isShort);
            if (std::find(c.failAgain.begin(), c.failAgain.end(), n) != c.failAgain.end())
                fetched[n].crcGood = false;
        }
    BackfillCounts counts;
    const std::string merged = mergeBackfill(planted, audit, fetched, false, counts);
    EXPECT_EQ(counts, c.counts);
    if (c.identical) {
        EXPECT_EQ(merged, clean);
    } else {
        // What failed again stays marked: the merged file has as many lines as the clean one
        // and is complete but for those records.
        const LogAudit after = auditLogCsv(merged);
        EXPECT_TRUE(after.missing.empty());
        EXPECT_EQ(after.lost.size(), c.failAgain.size());
        EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), std::count(clean.begin(), clean.end(), '\n'));
    }
    // Every line of the planted file that no good record replaced is still there.
    for (const AuditedLine &l : audit.lines) {
        if (l.kind == AuditedLine::Kind::Record) {
            EXPECT_NE(merged.find(planted.substr(l.begin, l.end - l.begin)), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlantedFiles, BackfillMergeCases,
    ::testing::Values(
        MergeCase{"NothingPlanted", false, {}, {}, {}, true},
        MergeCase{"RemovedRanges", false,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if ((n >= 10 && n <= 19) || n == 2 || n == 79)
                          t = "-";
                  },
                  {}, {12, 0, 0}, true},
        MergeCase{"CrcLines", true,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n % 10 == 0 || n == 1)
                          t = crcLine(true);
                  },
                  {}, {0, 9, 0}, true},
        MergeCase{"CrcLineBesideRemovedRecords", false,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n == 30)
                          t = crcLine(false);
                      if (n == 31 || n == 32)
                          t = "-";
                  },
                  {}, {3, 1, 0}, true},
        MergeCase{"KeptBadLineReplaced", false,
                  [](std::int64_t n, LogRecord &r, std::string &t) {
                      if (n == 44) {
                          r.crcGood = false;
                          t = line(r, false, true);
                      }
                  },
                  {}, {0, 1, 0}, true},
        MergeCase{"FailingAgainStaysMarked", true,
                  [](std::int64_t n, LogRecord &, std::string &t) {
                      if (n == 20 || n == 50)
                          t = crcLine(true);
                      if (n == 60)
                          t = "-";
                  },
                  {20, 60}, {0, 1, 2}, false}),
    [](const auto &info) { return std::string(info.param.name); });

struct PlanCase
{
    const char *name;
    std::vector<RecordRange> wanted;
    std::int32_t oldest, newest;
    std::vector<RecordRange> fetch, lost;
};

void PrintTo(const PlanCase &c, std::ostream *os)
{
    *os << c.name;
}

class BackfillPlanCases : public ::testing::TestWithParam<PlanCase>
{
};

TEST_P(BackfillPlanCases, SplitsByWhatTheMeterHolds)
{
    LogInfo info;
    info.oldest.recordNumber = GetParam().oldest;
    info.newest.recordNumber = GetParam().newest;
    const BackfillPlan plan = planBackfill(GetParam().wanted, info);
    EXPECT_EQ(plan.fetch, GetParam().fetch);
    EXPECT_EQ(plan.lostForGood, GetParam().lost);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, BackfillPlanCases,
    ::testing::Values(PlanCase{"AllHeld", {{10, 12}, {20, 20}}, 1, 100, {{10, 12}, {20, 20}}, {}},
                      PlanCase{"OlderThanOldest", {{10, 12}, {50, 60}}, 55, 100, {{55, 60}}, {{10, 12}, {50, 54}}},
                      PlanCase{"OldestItselfIsHeld", {{54, 55}}, 55, 100, {{55, 55}}, {{54, 54}}},
                      PlanCase{"EmptyLog", {{5, 6}}, 0, 0, {}, {{5, 6}}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tellumic
