#include "log/log_audit.h"

#include <algorithm>
#include <limits>

#include "foundation/text.h"
#include "log/log_csv_line.h"

namespace tellumic {

namespace {

struct ParsedRecord
{
    std::int64_t number = 0;
    LogDateTime dateTime;
    std::size_t line = 0;
};

class Auditor
{
public:
    explicit Auditor(std::string_view text) : m_text(text) {}

    LogAudit run()
    {
        readLines();
        inferLostNumbers();
        findMissingAndDuplicates();
        findTimeSteps();
        return std::move(m_audit);
    }

private:
    void readLines();
    void readLine(std::string_view line, std::size_t begin, std::size_t end, bool whole);
    void addLost(std::size_t begin, std::size_t end, std::int64_t number, LostLine::Cause cause);
    void inferLostNumbers();
    void findMissingAndDuplicates();
    void findTimeSteps();

    std::string_view m_text;
    LogAudit m_audit;
    std::vector<ParsedRecord> m_good;  // records that passed their check, in file order
    bool m_formatKnown = false;
    LogCsvValues m_values;
    std::string m_scratch;
};

void Auditor::readLines()
{
    std::size_t pos = 0;
    while (pos < m_text.size()) {
        const std::size_t nl = m_text.find('\n', pos);
        const bool whole = nl != std::string_view::npos;
        const std::size_t end = whole ? nl + 1 : m_text.size();
        std::string_view line = m_text.substr(pos, (whole ? nl : end) - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        readLine(line, pos, end, whole);
        pos = end;
    }
}

void Auditor::addLost(std::size_t begin, std::size_t end, std::int64_t number, LostLine::Cause cause)
{
    m_audit.lines.push_back({AuditedLine::Kind::Lost, number, begin, end});
    m_audit.lost.push_back({m_audit.lines.size(), number, false, cause});
}

void Auditor::readLine(std::string_view line, std::size_t begin, std::size_t end, bool whole)
{
    const std::size_t lineNo = m_audit.lines.size() + 1;
    for (const bool isShort : {false, true}) {
        if (line == logCsvColumnsLine(isShort) || line == logCsvUnitsLine(isShort)) {
            m_audit.lines.push_back({AuditedLine::Kind::Header, 0, begin, end});
            if (!m_formatKnown) {
                m_audit.isShort = isShort;
                m_formatKnown = true;
            }
            m_audit.headerFound = true;
            return;
        }
    }
    if (!m_formatKnown) {
        const auto n = static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
        if (n == kShortLogFields || n == kLongLogFields) {
            m_audit.isShort = n == kShortLogFields;
            m_formatKnown = true;
        }
    }
    if (!whole) {
        addLost(begin, end, 0, LostLine::Cause::Unreadable);
        return;
    }
    LogCsvValues &v = m_values;
    switch (judgeLogCsvLine(line, m_audit.isShort, v, m_scratch)) {
    case LogLineKind::Header:
        m_audit.lines.push_back({AuditedLine::Kind::Header, 0, begin, end});
        return;
    case LogLineKind::FailedCheck:
        // A record kept although it failed its check carries its number, but no values to trust.
        addLost(begin, end, v.recordNumber, LostLine::Cause::FailedCheck);
        return;
    case LogLineKind::Unrecognized:
        addLost(begin, end, 0, LostLine::Cause::Unrecognized);
        return;
    case LogLineKind::Unreadable:
        addLost(begin, end, 0, LostLine::Cause::Unreadable);
        return;
    case LogLineKind::Record:
        break;
    }
    m_audit.lines.push_back({AuditedLine::Kind::Record, v.recordNumber, begin, end});
    m_good.push_back({v.recordNumber, v.dateTime, lineNo});
    const bool powerFailed = (v.flags & LogFlag::kPowerFail) != 0, clockChanged = (v.flags & LogFlag::kClockChange) != 0;
    if (powerFailed || clockChanged)
        m_audit.flagged.push_back({v.recordNumber, v.dateTime, powerFailed, clockChanged});
}

// Lines without a number that stand where a download wrote a record: a failed check or an
// unrecognised record.
bool standsForRecord(const LostLine &l)
{
    return l.recordNumber == 0 && l.cause != LostLine::Cause::Unreadable;
}

// Lines without a number get the numbers their neighbours leave free. Between two records,
// the lines that stand for a record take the numbers missing there when they are as many;
// so do all the lines, unreadable ones too, when all of them are (a garbled line in a run of
// lines one for each missing number stands for its record). At the file's start or end only
// the lines that stand for a record are numbered, as the records next to the nearest one.
void Auditor::inferLostNumbers()
{
    auto &lines = m_audit.lines;
    std::size_t lostIndex = 0;
    std::vector<std::size_t> run;  // indexes into m_audit.lost of the unnumbered lines since the last number
    std::int64_t previous = 0;
    const auto number = [&](const std::vector<std::size_t> &which, std::int64_t from) {
        for (std::size_t i = 0; i < which.size(); ++i) {
            LostLine &l = m_audit.lost[which[i]];
            l.recordNumber = from + static_cast<std::int64_t>(i);
            l.inferred = true;
            lines[l.line - 1].recordNumber = l.recordNumber;
        }
    };
    const auto settle = [&](std::int64_t next) {
        std::vector<std::size_t> standing;
        for (const std::size_t i : run)
            if (standsForRecord(m_audit.lost[i]))
                standing.push_back(i);
        const auto k = static_cast<std::int64_t>(standing.size());
        if (previous != 0 && next != 0) {
            if (next - previous - 1 == k)
                number(standing, previous + 1);
            else if (next - previous - 1 == static_cast<std::int64_t>(run.size()))
                number(run, previous + 1);
        } else if (previous != 0) {
            number(standing, previous + 1);
        } else if (next != 0 && next - k >= 1) {
            number(standing, next - k);
        }
        run.clear();
    };
    for (const AuditedLine &line : lines) {
        if (line.kind == AuditedLine::Kind::Header)
            continue;
        if (line.kind == AuditedLine::Kind::Lost) {
            const LostLine &l = m_audit.lost[lostIndex++];
            if (l.recordNumber == 0) {
                run.push_back(lostIndex - 1);
                continue;
            }
        }
        if (!run.empty())
            settle(line.recordNumber);
        previous = line.recordNumber;
    }
    if (!run.empty())
        settle(0);
}

void Auditor::findMissingAndDuplicates()
{
    std::vector<std::int64_t> explicitNumbers, known;
    for (const auto &r : m_good)
        explicitNumbers.push_back(r.number);
    for (const LostLine &l : m_audit.lost)
        if (l.recordNumber != 0 && !l.inferred)
            explicitNumbers.push_back(l.recordNumber);
    std::sort(explicitNumbers.begin(), explicitNumbers.end());
    for (std::size_t i = 0; i < explicitNumbers.size();) {
        std::size_t j = i;
        while (j < explicitNumbers.size() && explicitNumbers[j] == explicitNumbers[i])
            ++j;
        if (j - i > 1)
            m_audit.duplicates.push_back({explicitNumbers[i], j - i});
        i = j;
    }
    // A lower number after a higher one is out of order unless another line carries it too
    // (a download over records the file held writes them again, after the newer ones).
    std::int64_t highest = 0;
    for (const auto &r : m_good) {
        const auto [lo, hi] = std::equal_range(explicitNumbers.begin(), explicitNumbers.end(), r.number);
        if (r.number < highest && hi - lo == 1)
            m_audit.outOfOrder.push_back({r.line, r.number});
        highest = std::max(highest, r.number);
    }
    known = explicitNumbers;
    for (const LostLine &l : m_audit.lost)
        if (l.inferred)
            known.push_back(l.recordNumber);
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
    for (std::size_t i = 1; i < known.size(); ++i)
        if (known[i] > known[i - 1] + 1)
            m_audit.missing.push_back({known[i - 1] + 1, known[i] - 1});

    m_audit.records = m_good.size();
    if (!m_good.empty()) {
        const auto [lo, hi] = std::minmax_element(m_good.begin(), m_good.end(), [](const auto &a, const auto &b) {
            return a.number < b.number;
        });
        m_audit.first = {static_cast<std::int32_t>(lo->number), lo->dateTime};
        m_audit.last = {static_cast<std::int32_t>(hi->number), hi->dateTime};
    }
}

void Auditor::findTimeSteps()
{
    // In record order, each number once (its first line), so that a duplicate line is not
    // taken for the clock going back.
    std::vector<ParsedRecord> byNumber = m_good;
    std::stable_sort(byNumber.begin(), byNumber.end(), [](const auto &a, const auto &b) { return a.number < b.number; });
    byNumber.erase(std::unique(byNumber.begin(), byNumber.end(),
                               [](const auto &a, const auto &b) { return a.number == b.number; }),
                   byNumber.end());
    std::vector<std::int32_t> numbers;
    std::vector<std::int64_t> seconds;
    numbers.reserve(byNumber.size());
    seconds.reserve(byNumber.size());
    for (const auto &r : byNumber) {
        numbers.push_back(static_cast<std::int32_t>(r.number));
        seconds.push_back(logDateTimeSeconds(r.dateTime));
    }
    m_audit.intervalSeconds = typicalLogInterval(numbers, seconds);
    for (const LogGap &g : findLogGaps(numbers, seconds, m_audit.intervalSeconds)) {
        if (g.kind == LogGap::Kind::RecordsMissing)
            continue;
        const auto &a = byNumber[g.before], &b = byNumber[g.before + 1];
        m_audit.timeSteps.push_back({g.kind == LogGap::Kind::TimeBack, a.number, b.number, a.dateTime, b.dateTime});
    }
}

}  // namespace

namespace {

std::string jsonRecord(std::int64_t number, const LogDateTime &t)
{
    return "{\"record\":" + std::to_string(number) + ",\"time\":" + jsonQuoted(FormatDateTime(t)) + "}";
}

std::string_view causeName(LostLine::Cause cause)
{
    switch (cause) {
    case LostLine::Cause::FailedCheck: return "failed check";
    case LostLine::Cause::Unrecognized: return "unrecognized";
    case LostLine::Cause::Unreadable: return "unreadable";
    }
    return "unreadable";
}

std::string recordText(const LastLogRecord &r)
{
    return std::to_string(r.recordNumber) + " (" + FormatDateTime(r.dateTime) + ")";
}

template <typename T, typename F>
std::string joined(const std::vector<T> &items, F &&text, std::string_view separator = ", ")
{
    std::string out;
    for (const T &item : items) {
        if (!out.empty())
            out += separator;
        out += text(item);
    }
    return out;
}

}  // namespace

std::int64_t logDateTimeSeconds(const LogDateTime &t)
{
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::int64_t typicalLogInterval(std::span<const std::int32_t> numbers, std::span<const std::int64_t> seconds)
{
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < numbers.size() && i < seconds.size(); ++i)
        if (static_cast<std::int64_t>(numbers[i]) == static_cast<std::int64_t>(numbers[i - 1]) + 1 &&
            seconds[i] > seconds[i - 1])
            steps.push_back(seconds[i] - seconds[i - 1]);
    if (steps.empty())
        return 0;
    std::sort(steps.begin(), steps.end());
    std::int64_t best = steps[0];
    std::size_t bestRun = 0;
    for (std::size_t i = 0; i < steps.size();) {
        std::size_t j = i;
        while (j < steps.size() && steps[j] == steps[i])
            ++j;
        if (j - i > bestRun) {
            bestRun = j - i;
            best = steps[i];
        }
        i = j;
    }
    return best;
}

std::vector<LogGap> findLogGaps(std::span<const std::int32_t> numbers, std::span<const std::int64_t> seconds,
                                std::int64_t intervalSeconds)
{
    std::vector<LogGap> gaps;
    const std::size_t n = std::min(numbers.size(), seconds.size());
    for (std::size_t i = 1; i < n; ++i) {
        const std::int64_t p = numbers[i - 1], q = numbers[i];
        const std::int64_t from = seconds[i - 1], to = seconds[i];
        if (q <= p)
            continue;
        if (q > p + 1)
            gaps.push_back({LogGap::Kind::RecordsMissing, i - 1, {p + 1, q - 1}, from, to});
        if (to < from)
            gaps.push_back({LogGap::Kind::TimeBack, i - 1, {}, from, to});
        else if (intervalSeconds > 0 && to - from > intervalSeconds * (q - p) + intervalSeconds / 2)
            gaps.push_back({LogGap::Kind::TimeJump, i - 1, {}, from, to});
    }
    return gaps;
}

std::int64_t LogAudit::missingCount() const
{
    std::int64_t n = 0;
    for (const auto &r : missing)
        n += r.count();
    return n;
}

std::size_t LogAudit::lostRecords() const
{
    return static_cast<std::size_t>(std::count_if(lost.begin(), lost.end(), [](const LostLine &l) {
        return l.recordNumber != 0 || l.cause != LostLine::Cause::Unreadable;
    }));
}

std::size_t LogAudit::unreadableLines() const
{
    return static_cast<std::size_t>(std::count_if(lost.begin(), lost.end(), [](const LostLine &l) {
        return l.recordNumber == 0 && l.cause == LostLine::Cause::Unreadable;
    }));
}

LogAudit auditLogCsv(std::string_view text)
{
    return Auditor(text).run();
}

std::vector<RecordRange> auditWantedRanges(const LogAudit &audit)
{
    std::vector<std::int64_t> numbers;
    for (const LostLine &l : audit.lost)
        if (l.recordNumber != 0)
            numbers.push_back(l.recordNumber);
    std::sort(numbers.begin(), numbers.end());
    std::vector<RecordRange> ranges = audit.missing;
    for (const std::int64_t n : numbers)
        ranges.push_back({n, n});
    std::sort(ranges.begin(), ranges.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<RecordRange> merged;
    for (const auto &r : ranges) {
        if (!merged.empty() && r.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    }
    return merged;
}

std::string auditShortfallText(const LogAudit &audit)
{
    std::string why =
        std::to_string(audit.missingCount()) + " missing, " + std::to_string(audit.lostRecords()) + " lost";
    if (const std::size_t n = audit.unreadableLines())
        why += ", " + std::to_string(n) + (n == 1 ? " unreadable line" : " unreadable lines");
    if (const std::size_t n = audit.outOfOrder.size())
        why += ", " + std::to_string(n) + (n == 1 ? " line" : " lines") + " out of order";
    return why;
}

std::vector<std::string> auditReportLines(const std::string &name, const LogAudit &audit)
{
    std::vector<std::string> out;
    std::string head = name + ": " + std::to_string(audit.records) + (audit.records == 1 ? " record" : " records");
    if (audit.records > 0)
        head += ", first " + recordText(audit.first) + ", last " + recordText(audit.last);
    out.push_back(head);
    const auto rangeText = [](const RecordRange &r) {
        return r.first == r.last ? std::to_string(r.first)
                                 : std::to_string(r.first) + " to " + std::to_string(r.last) + " (" +
                                       std::to_string(r.count()) + ")";
    };
    if (!audit.missing.empty())
        out.push_back("  missing records: " + joined(audit.missing, rangeText));
    for (const auto cause : {LostLine::Cause::FailedCheck, LostLine::Cause::Unrecognized, LostLine::Cause::Unreadable}) {
        std::vector<LostLine> of;
        for (const LostLine &l : audit.lost)
            if (l.cause == cause)
                of.push_back(l);
        if (!of.empty())
            out.push_back("  " + std::string(causeName(cause)) + ": " + joined(of, [](const LostLine &l) {
                              return "line " + std::to_string(l.line) +
                                     (l.recordNumber == 0 ? std::string(" (record not known)")
                                                          : " (record " + std::to_string(l.recordNumber) + ")");
                          }));
    }
    if (!audit.duplicates.empty())
        out.push_back("  duplicates: " + joined(audit.duplicates, [](const DuplicateRecord &d) {
                          return "record " + std::to_string(d.recordNumber) + " (" + std::to_string(d.lines) +
                                 " lines)";
                      }));
    if (!audit.outOfOrder.empty())
        out.push_back("  out of order: " + joined(audit.outOfOrder, [](const OutOfOrderLine &l) {
                          return "line " + std::to_string(l.line) + " (record " + std::to_string(l.recordNumber) + ")";
                      }));
    for (const TimeStep &s : audit.timeSteps)
        out.push_back(std::string(s.back ? "  time goes back" : "  time jumps") + " from record " +
                      std::to_string(s.fromRecord) + " (" + FormatDateTime(s.from) + ") to record " +
                      std::to_string(s.toRecord) + " (" + FormatDateTime(s.to) + ")");
    for (const FlaggedRecord &f : audit.flagged)
        out.push_back("  record " + std::to_string(f.recordNumber) + " (" + FormatDateTime(f.dateTime) + "): " +
                      (f.powerFailed ? "Power failed." : "") + (f.powerFailed && f.clockChanged ? " " : "") +
                      (f.clockChanged ? "Date/time changed." : ""));
    if (audit.complete()) {
        out.push_back("  complete");
    } else {
        out.push_back("  not complete: " + auditShortfallText(audit));
    }
    return out;
}

std::string auditReportJson(const std::string &name, const LogAudit &audit)
{
    const auto rec = [](const LastLogRecord &r) {
        return r.recordNumber == 0 ? std::string("null") : jsonRecord(r.recordNumber, r.dateTime);
    };
    std::string j = "{\"file\":" + jsonQuoted(name) + ",\"format\":\"" + (audit.isShort ? "short" : "long") +
                    "\",\"records\":" + std::to_string(audit.records) + ",\"first\":" + rec(audit.first) +
                    ",\"last\":" + rec(audit.last) + ",\"interval_seconds\":" + std::to_string(audit.intervalSeconds);
    j += ",\"missing\":[" + joined(audit.missing, [](const RecordRange &r) {
             return "[" + std::to_string(r.first) + "," + std::to_string(r.last) + "]";
         }, ",") + "]";
    j += ",\"lost\":[" + joined(audit.lost, [](const LostLine &l) {
             return "{\"line\":" + std::to_string(l.line) + ",\"record\":" +
                    (l.recordNumber == 0 ? std::string("null") : std::to_string(l.recordNumber)) +
                    ",\"inferred\":" + (l.inferred ? "true" : "false") + ",\"cause\":\"" +
                    std::string(causeName(l.cause)) + "\"}";
         }, ",") + "]";
    j += ",\"duplicates\":[" + joined(audit.duplicates, [](const DuplicateRecord &d) {
             return "{\"record\":" + std::to_string(d.recordNumber) + ",\"lines\":" + std::to_string(d.lines) + "}";
         }, ",") + "]";
    j += ",\"out_of_order\":[" + joined(audit.outOfOrder, [](const OutOfOrderLine &l) {
             return "{\"line\":" + std::to_string(l.line) + ",\"record\":" + std::to_string(l.recordNumber) + "}";
         }, ",") + "]";
    const auto steps = [&](bool back) {
        std::vector<TimeStep> of;
        for (const TimeStep &s : audit.timeSteps)
            if (s.back == back)
                of.push_back(s);
        return "[" + joined(of, [](const TimeStep &s) {
                   return "{\"from\":" + jsonRecord(s.fromRecord, s.from) + ",\"to\":" + jsonRecord(s.toRecord, s.to) +
                          "}";
               }, ",") + "]";
    };
    j += ",\"time_back\":" + steps(true) + ",\"time_jumps\":" + steps(false);
    const auto flagged = [&](bool power) {
        std::vector<FlaggedRecord> of;
        for (const FlaggedRecord &f : audit.flagged)
            if (power ? f.powerFailed : f.clockChanged)
                of.push_back(f);
        return "[" + joined(of, [](const FlaggedRecord &f) { return jsonRecord(f.recordNumber, f.dateTime); }, ",") +
               "]";
    };
    j += ",\"power_failed\":" + flagged(true) + ",\"clock_changed\":" + flagged(false);
    j += std::string(",\"complete\":") + (audit.complete() ? "true" : "false") + "}";
    return j;
}

}  // namespace tellumic
