#pragma once

// A configuration against a meter: what differs, and writing it all-or-nothing.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "config/meter_config.h"

namespace tellumic::config {

enum class RowState { Differs, Equal, NotOnMeter, ReadOnly };

struct CompareRow
{
    std::string name, caption;
    std::string fileText, meterText, unit;
    std::string fileRaw, meterRaw;
    RowState state = RowState::Equal;
};

struct Comparison
{
    std::vector<CompareRow> rows;  // every entry of the file, in the meter's apply order first
    int read = 0, differing = 0, equal = 0, notOnMeter = 0, readOnly = 0;
    // Why the file may not fit this meter ("another model"), empty when it comes from it.
    std::vector<std::string> warnings;
    bool otherFamily = false;
};

// Reads the meter's value of each file entry it has (one device call each).
Comparison compareConfig(const MeterConfig &file, lns::AppDevice &device);

// "Entries read: 9, differing: 2, equal: 7, not on this meter: 0, read-only: 0".
std::string summaryLine(const Comparison &comparison);

struct ApplyResult
{
    bool applied = false;
    int written = 0;          // entries written (and read back) on success
    std::string failedEntry;  // on failure: the entry whose write or read-back failed
    std::string reason;       // and why
    bool restored = true;     // the meter reads what it read before
};

struct ApplyOptions
{
    std::set<std::string> only;  // when not empty, only these entries
    // An information line for each value written or put back (the event log).
    std::function<void(const std::string &)> note;
};

// Writes the file's entries that differ on the meter: type choices first, then values,
// each read back. When a write or read-back fails, the values written so far are put
// back and the meter is read again to check it reads what it read before. A file of
// another family is refused before any call. Object-server errors never pass out.
ApplyResult applyConfig(const MeterConfig &file, lns::AppDevice &device, const ApplyOptions &options = {});

}  // namespace tellumic::config
