#pragma once

// The CSV log file: one file per device, record format and year, grown by every download.
// Lines end in CR LF, fields are separated by "," and never quoted; a short line has 13
// fields and a long line 36.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "log/log_records.h"

namespace tellumic {

class LogCsvFile;
class LogWindow;

// The two header lines (column names, then units), without the final line end.
std::string_view logCsvHeader(bool isShort);
// Each header line alone, without its line end.
std::string_view logCsvColumnsLine(bool isShort);
std::string_view logCsvUnitsLine(bool isShort);

// The Notes of a record that failed its check: the whole of a line without values, or the
// end of the Notes of a record kept although it failed.
inline constexpr std::string_view kCrcMismatchNote = "CRC mismatch. ";
// The Notes of a line without values for a record of a type not known, before the type.
inline constexpr std::string_view kUnrecognizedTypeNote = "Unrecognized log record type: ";

// The file name (no folder) of a device's log for the current year of the process clock:
// name + "-log-short-" or "-log-full-" + year + ".csv". Characters that could leave the
// program folder or make a name ambiguous ("/", "\", "%", control characters, leading dots)
// are percent-encoded, so two device names never share a file; ordinary names stay as they are.
// A name that would pass the file system's 255 bytes keeps the start of its name part, ended
// by "%~" and 16 hexadecimal digits of a hash of the whole device name.
std::string GetLogFilename(std::string_view deviceName, bool isShort);
// The same name without the trace line, for programs that look at the logs again and again.
std::string logFileName(std::string_view deviceName, bool isShort);

// The number formats of the CSV; each gives "NaN" for a value that is not a finite number.
std::string FormatEnergy(std::int32_t tenths);
std::string FormatPower(float watts);
std::string FormatVolts(float volts);
std::string FormatCurrent(float amps);
std::string FormatPf(float pf);
std::string FormatFreq(float hz);

// One CSV line without its line end.
std::string FormatLogDataCsv(const LogRecord &record, bool isShort, bool keepBad);

// The values of one record line as its columns show them, the derived columns (PowerSum,
// ReacPowerSum, currents, power factors) included: what a line holds once written. A float
// shown as "NaN" is NaN here. Long-only values are unused for short lines.
struct LogCsvValues
{
    std::int32_t recordNumber = 0;
    LogDateTime dateTime;
    std::int32_t energySum = 0;
    float demand = 0;
    std::int32_t energyPosSum = 0;
    std::array<std::int32_t, 3> energy{};
    std::int32_t reacEnergySum = 0;
    float powerSum = 0;
    std::array<float, 3> power{};
    float reacPowerSum = 0;
    std::array<float, 3> reacPower{};
    std::array<float, 3> volts{};
    std::array<float, 3> current{};
    std::array<float, 3> pf{};
    float frequency = 0;
    std::int32_t logSeconds = 0;
    std::uint8_t flags = 0;
};

// The line of a record that passed its check, from its column values, without line end;
// for a record written from a LogRecord it is FormatLogDataCsv's line.
void appendLogCsvValues(std::string &out, const LogCsvValues &values, bool isShort);

// The last good record (type 1, check passed) that a run of lines carried; number 0 if none.
struct LastLogRecord
{
    std::int32_t recordNumber = 0;
    LogDateTime dateTime;
};

// Appends the header (when asked) and one line per record, CR LF after each, to out. With
// reverse the last record comes first.
LastLogRecord appendLogDataCsv(std::string &out, bool writeHeader, std::span<const LogRecord> records,
                               bool isShort, bool reverse, bool keepBad);

// The records of a download whose lines hold no values to trust, by cause. Their lines are
// in the file (a note, or with "Keep Bad Records" a failed check's values and the note), but
// the intervals they stand for are lost.
struct LostRecords
{
    std::size_t failedCheck = 0;   // failed their check (CRC mismatch)
    std::size_t unrecognized = 0;  // of a record type this plug-in does not know (a record cut short among them)
    std::size_t total() const { return failedCheck + unrecognized; }
    bool operator==(const LostRecords &) const = default;
};

// What a download's lines carry besides the records that passed: the first good record and
// the lost ones.
struct ReceivedLogTally
{
    LastLogRecord first;  // number 0: none
    LostRecords lost;
};

// The lines of a download straight from the received bytes (file 5): each record decoded
// with LoadLogData, the last one first, as appendLogDataCsv writes them with reverse set.
// recordCount is what receivedRecordCount gives for the bytes. tally, when given, is filled.
LastLogRecord appendReceivedLogCsv(std::string &out, bool writeHeader, std::span<const std::uint8_t> bytes,
                                   std::size_t recordCount, bool isShort, bool keepBad,
                                   ReceivedLogTally *tally = nullptr);

// Appends a download's lines to the log in one piece, after the header when writeHeader
// is set, then checks that the log's name still leads to the file written. When it does not
// (the log was deleted, renamed or replaced during the download), the lines are written to
// that name afresh, after the header when the file there is new, and the window's event log
// says so. On success the window's "Last Record#" and "Last Date/Time" show last (when it
// is a record). A failed write leaves the file as it was before this call (no torn line, no
// earlier line changed), is traced and shown as LogDataCsv shows it, and gives false; the
// "Last" fields keep their texts.
bool writeLogCsvText(LogCsvFile &file, bool writeHeader, bool isShort, std::string_view lines,
                     const LastLogRecord &last, LogWindow &window);

// The records as lines, written as writeLogCsvText writes them.
bool LogDataCsv(LogCsvFile &file, bool writeHeader, std::span<const LogRecord> records, bool isShort, bool reverse,
                bool keepBad, LogWindow &window);

// The last record stored in a CSV file, found in its last 4000 bytes: the highest record
// number there (0 if the file is missing or holds none; lines out of order do not hide a
// higher one) and, through lastDateTime, its date and time. A
// line counts as a record when its number is above 0 and its date and time exist on the
// calendar; other lines are passed over like the header.
std::int32_t FindLastLogRecnum(const std::filesystem::path &file, LogDateTime &lastDateTime);
// How much of a log's end that scan reads: its cost does not grow with the log.
inline constexpr std::size_t kLastLogRecnumTailBytes = 4000;

// The same scan over the tail of a file already in memory; no trace, no message: a line
// whose record number is not a 32-bit number ends the scan with RuntimeError 6 or 13 after
// found has been set to the lines before it.
void scanLastLogRecnum(std::string_view tail, LastLogRecord &found);

// Fill the Logging tab's "Log File Info" fields from the short or the long file.
void SetShortLogRecords(std::string_view deviceName, LogWindow &window);
void SetLongLogRecords(std::string_view deviceName, LogWindow &window);

}  // namespace tellumic
