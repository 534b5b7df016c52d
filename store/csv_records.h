#pragma once

// Reading CSV log lines back into the values they show, for the record store.

#include <string>
#include <string_view>

#include "store/record_store.h"

namespace tellumic::store {

enum class LineKind {
    Record,        // values of a record that passed its check
    Failed,        // a record that failed its check, values kept or not
    Unrecognised,  // a record of a type not known
    Unreadable,    // anything else, the header lines excepted
    Header,        // one of the two header lines
};

// Classifies one line (without its line end) and, for a record, fills values. A record line
// counts only when its values give back exactly the same line, so that what the store keeps
// is what the file says.
LineKind readLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values);

// Reads the whole lines (ending in CR LF) of text into batch; returns the bytes they take.
// A last line without its line end is left for a later read.
std::size_t readLogCsvText(std::string_view text, bool isShort, RecordBatch &batch);

// The line of stored values, as the CSV file has it (without line end).
std::string logCsvLine(const LogCsvValues &values, bool isShort);

// Whether a CSV file's name says short records ("-log-short-") or long ("-log-full-"), and
// the device name it is for (percent escapes undone). False when it is neither.
bool parseLogFileName(std::string_view fileName, std::string &deviceName, bool &isShort);

}  // namespace tellumic::store
