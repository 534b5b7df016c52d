#pragma once

// The audit of a CSV log: what a file holds and what it lacks, read from its lines alone
// (no meter). The harvest's backfill, the tellumic-log audit command and the log viewer's
// gap markers all take their findings from here, so the three never disagree about a gap.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_csv.h"

namespace tellumic {

// A run of record numbers, both ends included.
struct RecordRange
{
    std::int64_t first = 0, last = 0;
    std::int64_t count() const { return last - first + 1; }
    bool operator==(const RecordRange &) const = default;
};

// Where a series of records in record order breaks: record numbers that jump (records
// missing), or times that jump past the logging interval or go back.
struct LogGap
{
    enum class Kind : std::uint8_t {
        RecordsMissing,  // missing holds the record numbers between before and after
        TimeJump,        // more time passed than the records between account for
        TimeBack,        // the later record carries an earlier time
    };
    Kind kind = Kind::RecordsMissing;
    std::size_t before = 0;       // index of the record before the gap in the series given
    RecordRange missing;          // RecordsMissing only
    std::int64_t fromSeconds = 0; // the times of the records around the gap
    std::int64_t toSeconds = 0;
};

// The logging interval of a series: the commonest step between records one number apart
// (0 when no two records are).
std::int64_t typicalLogInterval(std::span<const std::int32_t> numbers, std::span<const std::int64_t> seconds);

// The gaps of a series of records in record order (numbers rising; a number that does not
// rise is a duplicate or out of order and opens no gap). A time step counts as a jump when it
// passes the interval times the numbers stepped by more than half an interval, and as going
// back when it is negative.
std::vector<LogGap> findLogGaps(std::span<const std::int32_t> numbers, std::span<const std::int64_t> seconds,
                                std::int64_t intervalSeconds);

// Seconds of a log date/time on a plain civil calendar (no time zone): only differences matter.
std::int64_t logDateTimeSeconds(const LogDateTime &t);

// A line whose values cannot be trusted.
struct LostLine
{
    enum class Cause : std::uint8_t {
        FailedCheck,   // "CRC mismatch. ", with or without its values
        Unrecognized,  // "Unrecognized log record type: ..." or "Error parsing log record: ..."
        Unreadable,    // not a line a download writes (cut, garbled, wrong field count)
    };
    std::size_t line = 0;            // 1-based line of the file
    std::int64_t recordNumber = 0;   // 0: not known
    bool inferred = false;           // the number follows from the records around the line
    Cause cause = Cause::FailedCheck;
};

// A record number that more than one line carries.
struct DuplicateRecord
{
    std::int64_t recordNumber = 0;
    std::size_t lines = 0;  // how many lines carry it
};

// A record line that comes after a line of a higher record (and is the only line of its
// record): the file is not in record order, as no download writes it.
struct OutOfOrderLine
{
    std::size_t line = 0;  // 1-based line of the file
    std::int64_t recordNumber = 0;
};

// A record that carries one of the flags an energy reading must be read with.
struct FlaggedRecord
{
    std::int64_t recordNumber = 0;
    LogDateTime dateTime;
    bool powerFailed = false;   // "Power failed. "
    bool clockChanged = false;  // "Date/time changed. "
};

// A time step of the file's records, for reporting.
struct TimeStep
{
    bool back = false;  // the time went back; otherwise it jumped ahead
    std::int64_t fromRecord = 0, toRecord = 0;
    LogDateTime from, to;
};

// One line of the file as the audit understood it: what the backfill needs to rebuild it.
struct AuditedLine
{
    enum class Kind : std::uint8_t { Header, Record, Lost };
    Kind kind = Kind::Lost;
    std::int64_t recordNumber = 0;  // Record: its number; Lost: as LostLine (0 not known)
    std::size_t begin = 0, end = 0; // the line's bytes in the text, its line end included
};

struct LogAudit
{
    bool isShort = false;
    bool headerFound = false;
    std::size_t records = 0;           // lines of records that passed their check
    LastLogRecord first, last;         // lowest and highest of those (number 0: none)
    std::int64_t intervalSeconds = 0;  // the logging interval the records show (0: not known)
    std::vector<RecordRange> missing;  // numbers between first and last that no line carries
    std::vector<LostLine> lost;
    std::vector<DuplicateRecord> duplicates;
    std::vector<OutOfOrderLine> outOfOrder;
    std::vector<TimeStep> timeSteps;   // times that go back or jump
    std::vector<FlaggedRecord> flagged;
    std::vector<AuditedLine> lines;    // every line, in file order

    std::int64_t missingCount() const;
    // Lost lines that stand for a record (a garbled line between two neighbouring records
    // stands for none).
    std::size_t lostRecords() const;
    // Unreadable lines that stand for no record the audit could name: damage all the same.
    std::size_t unreadableLines() const;
    // Every record from first to last is in the file with values to trust, in record order,
    // and no line is damaged. Records written twice (a "Count of Records" download over
    // records the file held) lose nothing.
    bool complete() const
    {
        return missing.empty() && lostRecords() == 0 && unreadableLines() == 0 && outOfOrder.empty();
    }
};

// Audits the text of a CSV log (lines ending in CR LF or LF). A line without values between
// two records is given the number between them when the count of such lines there matches the
// numbers missing; at the file's start or end the lines are taken as the records next to the
// nearest record, as a download writes them.
LogAudit auditLogCsv(std::string_view text);

// The record numbers that lines without a record number, or with a failed check, stand for,
// and those missing: what a backfill asks the meter for, in rising order.
std::vector<RecordRange> auditWantedRanges(const LogAudit &audit);

// What keeps a file from being complete: "N missing, M lost", then the unreadable lines and
// the lines out of order where there are any.
std::string auditShortfallText(const LogAudit &audit);

// The audit as text lines for a person (no line ends); name heads the report.
std::vector<std::string> auditReportLines(const std::string &name, const LogAudit &audit);
// The audit as one JSON object (no line end).
std::string auditReportJson(const std::string &name, const LogAudit &audit);

}  // namespace tellumic
