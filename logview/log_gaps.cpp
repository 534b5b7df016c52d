#include "logview/log_gaps.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "log/log_audit.h"

namespace tellumic::logview {

namespace {

// A long log with many gaps lists the first ones; the markers show all.
constexpr std::size_t kMaxGapLines = 20;

std::string missingText(const RecordRange &r)
{
    return r.first == r.last ? "record " + std::to_string(r.first) + " missing"
                             : "records " + std::to_string(r.first) + " to " + std::to_string(r.last) + " missing";
}

bool isGap(const Marker &m)
{
    return m.kind == MarkerKind::RecordsMissing || m.kind == MarkerKind::TimeGap;
}

}  // namespace

void addGapMarkers(const RawLog &raw, LogData &d, std::int64_t interval)
{
    // In time order the numbers may run back and on (a clock set back): a number that jumps
    // there skips records the file holds elsewhere.
    // Records set apart for their far date are in the file all the same.
    std::vector<std::int32_t> numbers(d.recordNumber);
    for (const FarRecord &f : d.farRecords)
        numbers.push_back(f.recordNumber);
    std::sort(numbers.begin(), numbers.end());
    const auto held = [&](const RecordRange &r) {
        const auto it = std::lower_bound(numbers.begin(), numbers.end(), r.first);
        return it != numbers.end() && *it <= r.last;
    };
    // Lines without values between the two records stand for records already (their own
    // markers tell why they carry nothing).
    std::vector<std::pair<CivilSeconds, CivilSeconds>> between;  // sorted, so that many gaps stay cheap
    for (const NoValueLine &h : raw.noValueLines)
        if (h.hasPrev && h.hasNext)
            between.emplace_back(h.prevTime, h.nextTime);
    std::sort(between.begin(), between.end());
    const auto linesBetween = [&](const LogGap &g) {
        const auto [lo, hi] = std::equal_range(between.begin(), between.end(), std::pair(g.fromSeconds, g.toSeconds));
        return static_cast<std::int64_t>(hi - lo);
    };
    for (const LogGap &g : findLogGaps(d.recordNumber, d.time, interval)) {
        if (g.kind == LogGap::Kind::TimeBack)
            continue;
        if (g.kind == LogGap::Kind::RecordsMissing && (held(g.missing) || linesBetween(g) >= g.missing.count()))
            continue;
        Marker m;
        m.time = g.fromSeconds + (g.toSeconds - g.fromSeconds) / 2;
        m.kind = g.kind == LogGap::Kind::RecordsMissing ? MarkerKind::RecordsMissing : MarkerKind::TimeGap;
        m.note = g.kind == LogGap::Kind::RecordsMissing
                     ? missingText(g.missing)
                     : "no records from " + formatCivil(g.fromSeconds) + " to " + formatCivil(g.toSeconds);
        m.breaksLine = d.breakBefore[g.before + 1] != 0;
        m.offset = d.offset[g.before + 1];
        d.markers.push_back(std::move(m));
    }
}

std::string gapEventsText(const LogData &data, TimeRange range)
{
    std::string text;
    std::size_t shown = 0, more = 0;
    for (const Marker &m : data.markers) {
        if (!isGap(m) || static_cast<double>(m.time) < range.start || static_cast<double>(m.time) > range.end)
            continue;
        if (shown == kMaxGapLines) {
            ++more;
            continue;
        }
        ++shown;
        // A gap in the numbers says when it lies; a gap in time says so itself.
        text += "  " + m.note +
                (m.kind == MarkerKind::RecordsMissing ? " (around " + formatCivil(m.time) + ")" : std::string()) + "\n";
    }
    if (more > 0)
        text += "  and " + std::to_string(more) + " more gaps\n";
    return text;
}

}  // namespace tellumic::logview
