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
    std::string targetRaw;  // what the meter is given for the file's value (Differs and Equal rows)
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

// An entry the meter did not answer for: the object server's error, and the entry.
class EntryReadError : public RuntimeError
{
public:
    EntryReadError(const RuntimeError &e, std::string entry)
        : RuntimeError(e.number(), e.description(), e.source()), m_entry(std::move(entry))
    {
    }
    const std::string &entry() const noexcept { return m_entry; }

private:
    std::string m_entry;
};

struct CompareOptions
{
    std::set<std::string> only;  // when not empty, only these entries are read and listed
    bool firmware = true;        // read the meter's firmware version for the warning (two calls)
};

// Reads the meter's value of each file entry it has (one device call each); a read that
// fails ends it with EntryReadError.
Comparison compareConfig(const MeterConfig &file, lns::AppDevice &device, const CompareOptions &options = {});

// "Entries read: 9, differing: 2, equal: 7, not on this meter: 0, read-only: 0".
std::string summaryLine(const Comparison &comparison);

struct ApplyResult
{
    bool applied = false;
    int written = 0;          // entries written (and read back) on success
    std::string failedEntry;  // on failure: the entry whose write or read-back failed
    std::string reason;       // and why
    bool restored = true;     // the meter reads what it read before
    bool stopped = false;     // stopRequested ended it (failedEntry is empty then)
};

struct ApplyOptions
{
    std::set<std::string> only;  // when not empty, only these entries
    // An information line for each value written or put back (the event log).
    std::function<void(const std::string &)> note;
    // The meter's network system: the writes go in one transaction of it. Without one, or
    // when it cannot start a transaction, each write goes on its own.
    std::shared_ptr<lns::System> system;
    // Asked before each write, before the commit and before each read-back: true ends the
    // apply as a failure (the program was told to stop); what was written is put back as
    // after a failed write, and the put-back itself is not cut short.
    std::function<bool()> stopRequested;
};

// Writes the entries that a comparison of a file with this meter found differing: type
// choices first, then values, in one transaction, then reads each back; nothing else is
// read, so a meter costs one write and one read per entry written. The comparison's meter
// values are what a failure puts back: when a write or read-back fails, the transaction is
// cancelled, every entry that no longer reads its value of the comparison is written back,
// and each is read again to check. A comparison of another family is refused before any
// call. Object-server errors never pass out.
ApplyResult applyCompared(const Comparison &comparison, lns::AppDevice &device, const ApplyOptions &options = {});

// Reads the chosen entries of the file on the meter once (no firmware, nothing else), then
// applies what differs as applyCompared does. A file of another family is refused before
// any call.
ApplyResult applyConfig(const MeterConfig &file, lns::AppDevice &device, const ApplyOptions &options = {});

}  // namespace tellumic::config
