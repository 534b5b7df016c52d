#pragma once

// Reads a CSV log file as the downloads write it, piece by piece, so that a large file is
// read with progress and a file that a download appends to can be followed: only lines
// that end with a line end are read; an unterminated last line waits for the rest.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logview/civil_time.h"
#include "logview/log_columns.h"

namespace tellumic::logview {

// Why a line was left out.
enum class SkipReason : std::uint8_t {
    FieldCount,  // too few fields, or a line of the other format
    BadValue,    // a record number, date/time, number or flag that cannot be read
    TooLong,     // longer than any log line can be
    Header,      // a header or units line after the file's own
    Empty,
    Incomplete,  // the last line has no line end (yet)
};
inline constexpr std::size_t kSkipReasonCount = 6;
std::string_view skipReasonText(SkipReason r);

struct SkippedLine
{
    std::uint64_t line;  // 1 is the file's first line
    SkipReason reason;
};

struct ReadReport
{
    std::array<std::uint64_t, kSkipReasonCount> skipped{};
    std::vector<SkippedLine> examples;  // the first few skipped lines
    std::uint64_t lines = 0;            // complete lines read, header lines included
    std::uint64_t duplicates = 0;       // record lines whose record was read before
    std::uint64_t noValueLines = 0;     // lines that carry only a note
    bool stoppedFull = false;           // reading stopped at the record limit ...
    std::uint64_t stoppedAtLine = 0;    // ... before this line
    std::uint64_t recordLimit = 0;      // ... of this many records

    std::uint64_t skippedTotal() const;
};

// A line without values ("CRC mismatch. ", "Unrecognized log record type: 0"): it stands
// between the record lines before and after it in the file.
struct NoValueLine
{
    std::uint64_t offset = 0;
    std::uint64_t line = 0;
    std::string note;
    bool hasPrev = false, hasNext = false;
    CivilSeconds prevTime = 0, nextTime = 0;
};

inline constexpr std::int64_t kNoEnergy = INT64_MIN;

// The records read so far, one each (a record read again is kept once), in file order.
struct RawLog
{
    LogFormat format = LogFormat::Short;
    std::vector<CivilSeconds> time;
    std::vector<std::int32_t> recordNumber;
    std::vector<std::uint8_t> flags;        // RecordFlag bits
    std::vector<std::uint64_t> offset;      // where the record's line starts in the file
    std::vector<std::int64_t> energyTenths;  // EnergySum in tenths of kWh, or kNoEnergy
    std::vector<float> values;              // quantityCount(format) per record, NaN where "NaN"
    std::unordered_map<std::uint32_t, std::string> notes;  // record index -> Notes, where not empty
    std::vector<NoValueLine> noValueLines;
    // Per quantity, the most digits after the point that any of its values was written with.
    std::array<std::uint8_t, kQuantityCount> decimals{};

    std::size_t size() const { return time.size(); }
};

// The most records the viewer holds; a meter's log is 24192, a year of 5-minute records 105120.
inline constexpr std::size_t kMaxRecordsHeld = 1'000'000;
// No line of either format comes near this; a longer one is not a log line.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LogCsvReader
{
public:
    explicit LogCsvReader(std::size_t maxRecords = kMaxRecordsHeld);

    // Reads the complete lines of bytes, which continue the bytes fed before. False once the
    // file has shown that it is not a CSV log (error() says why) or the record limit is
    // reached (full()); the caller then stops feeding.
    bool feed(std::string_view bytes);

    bool failed() const { return !m_error.empty(); }
    const std::string &error() const { return m_error; }
    bool full() const { return m_report.stoppedFull; }
    bool formatKnown() const { return m_state != State::Header; }

    // Bytes fed so far, and those of them that wait as an unterminated last line.
    std::uint64_t bytesFed() const { return m_lineStart + m_pendingSize; }
    std::uint64_t pendingBytes() const { return m_pendingSize; }

    const RawLog &raw() const { return m_raw; }
    // The report for the bytes fed so far, taken as the whole file: a waiting last line
    // counts as incomplete.
    ReadReport report() const;

private:
    enum class State { Header, Units, Data };
    struct Key
    {
        CivilSeconds time;
        std::int32_t recordNumber;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash
    {
        std::size_t operator()(const Key &k) const noexcept;
    };

    void line(std::string_view text, std::uint64_t start);
    void header(std::string_view text);
    void dataLine(std::string_view text, std::uint64_t start);
    void skip(SkipReason reason);

    std::size_t m_maxRecords;
    State m_state = State::Header;
    std::string m_error;
    RawLog m_raw;
    ReadReport m_report;
    std::unordered_map<Key, std::uint32_t, KeyHash> m_index;
    std::vector<std::size_t> m_openHoles;  // no-value lines still waiting for the next record
    bool m_haveLast = false;
    CivilSeconds m_lastTime = 0;
    std::string m_pending;
    std::uint64_t m_pendingSize = 0;  // may exceed m_pending while a too long line is passed over
    std::uint64_t m_lineStart = 0;
    std::string_view m_units;     // the units line of the file's format
    std::vector<float> m_fields;  // numeric fields of the line at hand
};

}  // namespace tellumic::logview
