#pragma once

// A log as the viewer plots it: the records of a file in time order, each once, with the
// places where a line must not be joined, the interval energies, the daily totals and the
// events to mark on the time axis. Built once per read of the file and then only read, so
// the window can hold one while the next read is built on another thread.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "logview/civil_time.h"
#include "logview/log_columns.h"
#include "logview/log_csv_reader.h"

namespace tellumic::logview {

// A span of the time axis in seconds; end > start.
struct TimeRange
{
    double start = 0, end = 1;
    double length() const { return end - start; }
};

// Energy over a span: one logging interval, or one day.
struct Bar
{
    CivilSeconds start = 0, end = 0;
    double kwh = 0;
    CivilSeconds covered = 0;  // seconds of the span that records account for
    bool partial = false;      // a day whose records leave part of it out
};

enum class MarkerKind : std::uint8_t {
    NoValues,     // a line that carries only a note: a failed check, an unrecognised record
    PowerFail,    // "Power failed. "
    ClockChange,  // "Date/time changed. "
    CounterBack,  // EnergySum went back (a meter reset): no interval energy there
    Note,         // any other note: reset, configuration changed, a kept bad record ...
    RecordsMissing,  // the record numbers jump: records missing from the file
    TimeGap,         // the times jump past the logging interval while no record is missing
};
inline constexpr std::size_t kMarkerKindCount = 7;

struct Marker
{
    CivilSeconds time = 0;
    MarkerKind kind = MarkerKind::Note;
    bool breaksLine = false;  // the lines of the plot are not joined across it
    std::string note;
    std::uint64_t offset = 0;  // the file line it comes from
    std::int64_t record = -1;  // the record it belongs to, -1 for a line without values
};

// A record dated far from all the others (a meter clock that was never set, a date written
// as 0000-00-00): it is not plotted, so that the others keep a readable time axis.
struct FarRecord
{
    CivilSeconds time = 0;
    std::int32_t recordNumber = 0;
    std::uint64_t offset = 0;
};

// Records are far when more than this lies between them and the others ...
inline constexpr CivilSeconds kFarGapSeconds = 366 * kSecondsPerDay;
// ... and the others outnumber them this many times over.
inline constexpr std::size_t kFarMinority = 20;

struct LogData
{
    LogFormat format = LogFormat::Short;
    std::vector<CivilSeconds> time;
    std::vector<std::int32_t> recordNumber;
    std::vector<std::uint8_t> flags;        // RecordFlag bits
    std::vector<std::uint8_t> breakBefore;  // 1: no line joins this record to the one before
    std::vector<std::uint64_t> offset;
    std::vector<std::int64_t> energyTenths;
    std::array<std::vector<float>, kQuantityCount> values;  // the first quantityCount(format) are filled
    std::array<std::uint8_t, kQuantityCount> decimals{};     // the precision each column is written with
    std::vector<Bar> intervalEnergy;  // in time order, one per pair of joined records
    std::vector<Bar> dailyEnergy;     // in time order, days with at least one interval
    std::vector<Marker> markers;      // in time order
    std::vector<FarRecord> farRecords;  // in time order; not among the records above
    ReadReport report;

    std::size_t size() const { return time.size(); }
    bool empty() const { return time.empty(); }
    // The time axis that shows every record (a day around a single one).
    TimeRange fullRange() const;
    // Indexes [first, last) of the records inside a range.
    std::pair<std::size_t, std::size_t> indexRange(TimeRange r) const;
    // The record nearest in time to t; size() when there is none.
    std::size_t nearest(double t) const;
};

// Orders the records by time (then record number), keeps each once, sets apart the far
// records (each told by a note at the nearer end of the others) and works out where lines
// break:
// - before a record flagged "Power failed" or "Date/time changed";
// - where a line without values stood between two records that nothing else fills;
// - where the time between two records is more than twice the smaller of the steps
//   around it (records missing from the file);
// - at a value written as "NaN" (in that series only, when plotted).
// Interval energy is the rise of EnergySum between two joined records; where it falls
// (a meter reset) there is no bar but a marker. A day's total adds the rises between
// records of that day, across breaks too (the counter runs on), but not across a clock
// change or a fall; an interval that ends at midnight belongs to the day it began. A day is
// partial when its intervals leave more than one logging step of it out (most often the
// first and last day of a log).
LogData buildLogData(const RawLog &raw, ReadReport report);

}  // namespace tellumic::logview
