#include "log/log_backfill.h"

#include <algorithm>
#include <limits>

#include "foundation/file_io.h"
#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "log/new_records.h"

namespace tellumic {

namespace {

bool isGood(const LogRecord &r)
{
    return r.recordType == 1 && r.crcGood;
}

void appendRecordLine(std::string &out, const LogRecord &r, bool isShort, bool keepBad)
{
    out += FormatLogDataCsv(r, isShort, keepBad);
    out += "\r\n";
}

// Lines that carry no number but stand for records: the ones a fully recovered run replaces.
bool unplaced(const AuditedLine &line, const LostLine &lost)
{
    return line.kind == AuditedLine::Kind::Lost && lost.recordNumber == 0 && lost.cause != LostLine::Cause::Unreadable;
}

// The lines without a number that a run of records replaces: the run between the numbered
// lines around them came back whole and good.
std::vector<bool> linesOfRecoveredRuns(const LogAudit &audit, const std::vector<const LostLine *> &lostOf,
                                       const std::map<std::int64_t, LogRecord> &fetched)
{
    const auto &lines = audit.lines;
    const auto goodAt = [&](std::int64_t n) {
        const auto it = fetched.find(n);
        return it != fetched.end() && isGood(it->second);
    };
    const auto numbered = [&](std::size_t i) {
        return lines[i].kind != AuditedLine::Kind::Header && lines[i].recordNumber != 0;
    };
    std::vector<bool> drop(lines.size(), false);
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (numbered(i)) {
            previous = lines[i].recordNumber;
            continue;
        }
        if (!lostOf[i] || !unplaced(lines[i], *lostOf[i]))
            continue;
        std::size_t j = i + 1;
        while (j < lines.size() && !numbered(j))
            ++j;
        const std::int64_t next = j < lines.size() ? lines[j].recordNumber : 0;
        if (previous == 0 || next <= previous + 1)
            continue;
        bool whole = true;
        for (std::int64_t n = previous + 1; n < next && whole; ++n)
            whole = goodAt(n);
        for (std::size_t k = i; k < j; ++k)
            if (lostOf[k] && unplaced(lines[k], *lostOf[k]))
                drop[k] = whole;
        i = j - 1;
    }
    return drop;
}

}  // namespace

std::string mergeBackfill(std::string_view text, const LogAudit &audit, const std::map<std::int64_t, LogRecord> &fetched,
                          bool keepBad, BackfillCounts &counts)
{
    const auto &lines = audit.lines;
    // The lost entry of each Lost line (they are in the same order).
    std::vector<const LostLine *> lostOf(lines.size(), nullptr);
    for (const LostLine &l : audit.lost)
        lostOf[l.line - 1] = &l;
    const auto numbered = [&](std::size_t i) {
        return lines[i].kind != AuditedLine::Kind::Header && lines[i].recordNumber != 0;
    };
    const std::vector<bool> drop = linesOfRecoveredRuns(audit, lostOf, fetched);

    std::vector<std::int64_t> inserts;
    for (const RecordRange &r : audit.missing)
        for (std::int64_t n = r.first; n <= r.last; ++n)
            if (fetched.count(n))
                inserts.push_back(n);
    std::size_t nextInsert = 0;
    bool runHasUnplaced = false;  // lines without a number stand for the records being inserted
    std::string out;
    out.reserve(text.size() + inserts.size() * 260);
    const auto insertBelow = [&](std::int64_t limit) {
        for (; nextInsert < inserts.size() && inserts[nextInsert] < limit; ++nextInsert) {
            const LogRecord &r = fetched.at(inserts[nextInsert]);
            if (isGood(r)) {
                appendRecordLine(out, r, audit.isShort, keepBad);
                ++counts.filled;
            } else {
                ++counts.stillFailed;
                if (!runHasUnplaced)
                    appendRecordLine(out, r, audit.isShort, keepBad);
            }
        }
        runHasUnplaced = false;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const AuditedLine &line = lines[i];
        const std::string_view bytes = text.substr(line.begin, line.end - line.begin);
        if (drop[i]) {
            ++counts.replaced;
            continue;
        }
        if (!numbered(i)) {
            if (lostOf[i] && unplaced(line, *lostOf[i]))
                runHasUnplaced = true;
            out += bytes;
            continue;
        }
        insertBelow(line.recordNumber);
        if (line.kind == AuditedLine::Kind::Lost) {
            const auto it = fetched.find(line.recordNumber);
            if (it != fetched.end() && isGood(it->second)) {
                appendRecordLine(out, it->second, audit.isShort, keepBad);
                ++counts.replaced;
                continue;
            }
            if (it != fetched.end())
                ++counts.stillFailed;
        }
        out += bytes;
        // A last line without its line end would be fused to a line put after it.
        if (!bytes.ends_with('\n') && nextInsert < inserts.size())
            out += "\r\n";
    }
    insertBelow(std::numeric_limits<std::int64_t>::max());
    return out;
}

BackfillPlan planBackfill(const std::vector<RecordRange> &wanted, const LogInfo &info)
{
    BackfillPlan plan;
    const std::int64_t oldest = info.oldest.recordNumber, newest = info.newest.recordNumber;
    for (const RecordRange &r : wanted) {
        if (newest < oldest || newest <= 0) {
            plan.lostForGood.push_back(r);
            continue;
        }
        if (r.first < oldest)
            plan.lostForGood.push_back({r.first, std::min(r.last, oldest - 1)});
        const RecordRange held{std::max(r.first, oldest), std::min(r.last, newest)};
        if (held.first <= held.last)
            plan.fetch.push_back(held);
        if (r.last > newest)
            plan.lostForGood.push_back({std::max(r.first, newest + 1), r.last});
    }
    return plan;
}

std::map<std::int64_t, LogRecord> receivedRecordsByNumber(std::span<const std::uint8_t> bytes, bool isShort,
                                                          std::int64_t newestAsked)
{
    const std::size_t count = receivedRecordCount(bytes.size(), isShort);
    std::vector<LogRecord> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        records.push_back(LoadLogData(bytes, i * recordSize(isShort), isShort));
    // The meter sends its newest first, one number less each record. A record that failed
    // its check may carry a wrong number: it takes its place after the first good one.
    std::int64_t anchor = newestAsked;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (isGood(records[i])) {
            anchor = records[i].recordNumber + static_cast<std::int64_t>(i);
            break;
        }
    }
    std::map<std::int64_t, LogRecord> out;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t n = isGood(records[i]) ? records[i].recordNumber : anchor - static_cast<std::int64_t>(i);
        if (n > 0)
            out.emplace(n, records[i]);
    }
    return out;
}

BackfillResult backfillLogFile(lns::System &system, const std::shared_ptr<lns::AppDevice> &device,
                               const std::filesystem::path &csv, bool keepBad)
{
    DebugLog("Backfill.backfillLogFile(" + csv.filename().string() + ")");
    BackfillResult result;
    const HeldLogDownload held = holdLogDownload(*device, csv);
    std::error_code ec;
    if (!std::filesystem::exists(csv, ec)) {
        result.noFile = true;
        return result;
    }
    const std::string text = readLogFileTail(csv, std::numeric_limits<std::size_t>::max());
    // A file that is not a log is never rewritten: its lines could not be told apart.
    checkLogCsvText(csv, text, std::nullopt);
    result.before = auditLogCsv(text);
    result.after = result.before;
    const std::vector<RecordRange> wanted = auditWantedRanges(result.before);
    if (wanted.empty())
        return result;

    // The log information of a meter not configured on-line cannot be trusted (as the Logging tab).
    if (const std::int32_t state = device->State(); state != 4)
        throw RuntimeError(ErrorNumber::kCommunicationFailure, "the meter is not configured on-line (node state " +
                                                                   std::to_string(state) + "): its log cannot be read");
    const LogInfo info = ReadLogInfoFtp(system, device);
    const BackfillPlan plan = planBackfill(wanted, info);
    result.lostForGood = plan.lostForGood;
    result.asked = plan.fetch;
    if (plan.fetch.empty())
        return result;

    // The meter sends from its newest record back to the stop: one request brings them all.
    // The count is the Back to Record# download's: a record that closes after the log
    // information was read must not cut the stop record off the end.
    const bool isShort = result.before.isShort;
    const std::int64_t stop = plan.fetch.front().first;
    const std::int64_t newest = info.newest.recordNumber;
    const std::int32_t count = kMaxLogRecords;
    if (!SetupLogReadFtp(system, device, isShort, LogMode::kBackToRecord, count, LogDateTime{},
                         static_cast<std::int32_t>(stop)))
        throw RuntimeError(ErrorNumber::kCommunicationFailure, "the meter did not take the log request");
    auto transfer = system.NewFileTransfer();
    transfer->SetFileNumber(kLogDataFile);
    transfer->SetLength(static_cast<std::int32_t>(recordSize(isShort)) * count);
    transfer->SetParameters(0, 0, 0);
    transfer->SetTargetDevice(device);
    const std::vector<std::uint8_t> bytes = transfer->Read();
    result.received = static_cast<std::int64_t>(receivedRecordCount(bytes.size(), isShort));

    std::map<std::int64_t, LogRecord> fetched;
    const auto all = receivedRecordsByNumber(bytes, isShort, newest);
    for (const RecordRange &r : plan.fetch)
        for (std::int64_t n = r.first; n <= r.last; ++n) {
            const auto it = all.find(n);
            if (it == all.end())
                ++result.notSent;
            else
                fetched.emplace(n, it->second);
        }
    const std::string merged = mergeBackfill(text, result.before, fetched, keepBad, result.counts);
    if (merged != text) {
        replaceFile(csv, merged);
        result.rewritten = true;
        result.after = auditLogCsv(merged);
    }
    return result;
}

}  // namespace tellumic
