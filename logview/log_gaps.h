#pragma once

// The gaps of a log on the time axis: where record numbers jump (records missing from the
// file) and where times jump past the logging interval. Found by the same audit that
// tellumic-log audit and the harvest's backfill use, so the three agree.

#include <cstdint>
#include <string>

#include "logview/log_data.h"

namespace tellumic::logview {

// Adds a marker per gap between neighbouring records, halfway between them, with the text
// "records 100 to 109 missing" or "no records from ... to ...". It breaks the line where the
// plot breaks there (markBreaks has run). Records whose lines carry no values are no gap of
// this kind: their own markers show them. interval: the log's typical interval
// (typicalLogInterval of the records in time order).
void addGapMarkers(const RawLog &raw, LogData &data, std::int64_t interval);

// The gaps inside a range as the Summary lists them under Events, a line each ("" when none).
std::string gapEventsText(const LogData &data, TimeRange range);

}  // namespace tellumic::logview
