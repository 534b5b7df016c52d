#pragma once

// What one line of a CSV log is: the one judgement that the audit, the backfill, the
// harvest's look at a file it appends to and the record store share, so that none of them
// counts a line as a record that another calls damaged.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "log/log_csv.h"

namespace tellumic {

enum class LogLineKind : std::uint8_t {
    Header,        // one of the format's two header lines
    Record,        // the values of a record that passed its check
    FailedCheck,   // a record that failed its check, its values kept or not
    Unrecognized,  // a line without values for a record of a type not known
    Unreadable,    // anything else: cut, garbled, another format's line
};

// The fields of a short line and of a long line.
inline constexpr std::size_t kShortLogFields = 13, kLongLogFields = 36;

// The longest line a download writes of either format (every value at its widest, every flag
// and note set) stays well below this; a longer one is no line of a log.
inline constexpr std::size_t kMaxLogLineBytes = 1024;

// Judges one line (without its line end) of a log of the format. A line with values counts
// as a record only when its values give back exactly the same line, so that a line that
// reads as a record is what a download wrote; values is then filled (a failed check's kept
// values too: its record number is known). scratch is a buffer the caller may keep from line
// to line.
LogLineKind judgeLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values, std::string &scratch);
LogLineKind judgeLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values);

// A record time as a log writes it: "YYYY-MM-DD hh:mm:ss" exactly, on the calendar.
bool readLogCsvTime(std::string_view text, LogDateTime &dt);

// Why the start and the end of a file are not those of a CSV log of the format (both formats
// when the format is not given), "" when they are. head is the file's first bytes (at least
// its first line where the file has one), tail its last bytes (at least its last whole line
// and what follows it). A log starts with its header line and ends each line in CR LF; after
// the last line end only a line that a cut write can leave may follow (shorter than a line,
// and nothing a download never writes). A file that is only the start of a header is a cut
// first write.
std::string logCsvFileFault(std::string_view head, std::string_view tail, std::optional<bool> isShort);

}  // namespace tellumic
