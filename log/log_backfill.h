#pragma once

// The backfill of a CSV log: the records its audit finds missing or lost (a failed check, an
// unrecognised record) are fetched again from the meter, as far as the meter still holds
// them, and put into the file in record order. The file is rewritten whole under its lock
// and replaced at once, so a reader sees the old file or the new one, never a mix; every
// line already in it stays as it was but those that a good record replaces.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/object_server.h"
#include "log/log_audit.h"
#include "log/log_records.h"

namespace tellumic {

// What the merge of fetched records into a file's lines did.
struct BackfillCounts
{
    std::size_t filled = 0;       // missing records put in with their values
    std::size_t replaced = 0;     // lost lines replaced by the good record
    std::size_t stillFailed = 0;  // records fetched again that failed their check again (kept marked)
    bool operator==(const BackfillCounts &) const = default;
};

// The file's text with the fetched records merged in (records by number; only those the
// audit wants are used). A missing record goes before the first line of a higher number; a
// lost line whose number is known is replaced when its record came back good; lines without a
// number that stand for a run of records are replaced only when the whole run came back good.
// A record that fails again is written as a download writes it (keepBad), where no line
// stands for it yet. New lines end in CR LF.
std::string mergeBackfill(std::string_view text, const LogAudit &audit, const std::map<std::int64_t, LogRecord> &fetched,
                          bool keepBad, BackfillCounts &counts);

// The wanted ranges split by what the meter holds (oldest to newest record).
struct BackfillPlan
{
    std::vector<RecordRange> fetch;       // held by the meter
    std::vector<RecordRange> lostForGood; // older than its oldest record (or past its newest)
};
BackfillPlan planBackfill(const std::vector<RecordRange> &wanted, const LogInfo &info);

// The records of a download (the bytes of file 5, newest first) by record number. Records
// that fail their check or are not recognised are numbered by their place after a good one.
std::map<std::int64_t, LogRecord> receivedRecordsByNumber(std::span<const std::uint8_t> bytes, bool isShort,
                                                          std::int64_t newestAsked);

struct BackfillResult
{
    bool noFile = false;              // nothing to fill: the file does not exist
    LogAudit before;                  // the file's audit before the backfill
    std::vector<RecordRange> asked;   // the ranges fetched from the meter
    std::vector<RecordRange> lostForGood;
    std::int64_t received = 0;        // records received
    BackfillCounts counts;
    std::int64_t notSent = 0;         // records asked for that the meter did not send
    bool rewritten = false;           // the file was replaced
    LogAudit after;                   // the file's audit afterwards
};

// Backfills a meter's CSV log: takes the meter's download lock and the file's lock (a
// LogBusyError when another download holds one), audits the file, reads the meter's log
// information, asks the meter for the records from the lowest one wanted to its newest (one
// request, as a "Back to Record#" download asks: at the channel's rate that takes as long as
// those records do) and rewrites the file when anything changed.
// Errors of the meter or the file are RuntimeErrors; the file then stays as it was.
BackfillResult backfillLogFile(lns::System &system, const std::shared_ptr<lns::AppDevice> &device,
                               const std::filesystem::path &csv, bool keepBad);

}  // namespace tellumic
