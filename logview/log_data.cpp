#include "logview/log_data.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "log/log_audit.h"
#include "logview/log_gaps.h"

namespace tellumic::logview {

namespace {

constexpr std::uint8_t kBreakingFlags = RecordFlag::kPowerFail | RecordFlag::kClockChange;

std::string kwhText(std::int64_t tenths)
{
    const std::int64_t whole = tenths / 10, tenth = std::abs(tenths % 10);
    return (tenths < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + "." + std::to_string(tenth);
}

// The records in the order they are plotted.
std::vector<std::uint32_t> timeOrder(const RawLog &raw)
{
    std::vector<std::uint32_t> order(raw.size());
    std::iota(order.begin(), order.end(), 0u);
    auto before = [&raw](std::uint32_t a, std::uint32_t b) {
        return raw.time[a] != raw.time[b] ? raw.time[a] < raw.time[b] : raw.recordNumber[a] < raw.recordNumber[b];
    };
    // A file of one download is in order already; several downloads may not be.
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::stable_sort(order.begin(), order.end(), before);
    return order;
}

// Takes the far records out of order: runs of records with more than kFarGapSeconds to the
// next run, much smaller than the largest run.
std::vector<FarRecord> setApartFar(const RawLog &raw, std::vector<std::uint32_t> &order)
{
    std::vector<FarRecord> far;
    if (order.size() < 2)
        return far;
    // Runs [start, end) of order.
    std::vector<std::pair<std::size_t, std::size_t>> runs{{0, 1}};
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (raw.time[order[i]] - raw.time[order[i - 1]] > kFarGapSeconds)
            runs.push_back({i, i + 1});
        else
            runs.back().second = i + 1;
    }
    if (runs.size() == 1)
        return far;
    std::size_t largest = 0;
    for (const auto &[start, end] : runs)
        largest = std::max(largest, end - start);
    std::vector<std::uint32_t> kept;
    kept.reserve(order.size());
    for (const auto &[start, end] : runs) {
        const bool isFar = (end - start) * kFarMinority < largest;
        for (std::size_t i = start; i < end; ++i) {
            const std::uint32_t r = order[i];
            if (isFar)
                far.push_back({raw.time[r], raw.recordNumber[r], raw.offset[r]});
            else
                kept.push_back(r);
        }
    }
    order = std::move(kept);
    return far;
}

void addFarMarkers(LogData &d)
{
    if (d.farRecords.empty() || d.empty())
        return;
    for (const FarRecord &f : d.farRecords) {
        Marker m;
        m.time = f.time < d.time.front() ? d.time.front() : d.time.back();
        m.kind = MarkerKind::Note;
        m.note = "Record " + std::to_string(f.recordNumber) + " is dated " + formatCivil(f.time) +
                 ", far from the others: not plotted";
        m.offset = f.offset;
        d.markers.push_back(std::move(m));
    }
}

void copyRecords(const RawLog &raw, const std::vector<std::uint32_t> &order, LogData &d)
{
    const std::size_t n = order.size(), q = quantityCount(raw.format);
    d.time.resize(n);
    d.recordNumber.resize(n);
    d.flags.resize(n);
    d.offset.resize(n);
    d.energyTenths.resize(n);
    for (std::size_t k = 0; k < q; ++k)
        d.values[k].resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t r = order[i];
        d.time[i] = raw.time[r];
        d.recordNumber[i] = raw.recordNumber[r];
        d.flags[i] = raw.flags[r];
        d.offset[i] = raw.offset[r];
        d.energyTenths[i] = raw.energyTenths[r];
        for (std::size_t k = 0; k < q; ++k)
            d.values[k][i] = raw.values[r * q + k];
    }
}

// Breaks from flags and from records missing in time. One missing interval is a gap like any
// other: a step half as long again as the steps around it breaks the line, and so does a jump
// in the record numbers whose time spans more than one logging interval (records missing
// one by one leave no regular step around them).
void markBreaks(LogData &d, std::int64_t interval)
{
    const std::size_t n = d.size();
    d.breakBefore.assign(n, 0);
    if (n == 0)
        return;
    d.breakBefore[0] = 1;
    auto step = [&d](std::size_t i) { return d.time[i] - d.time[i - 1]; };
    auto longer = [](CivilSeconds s, CivilSeconds than) { return than > 0 && 2 * s > 3 * than; };
    for (std::size_t i = 1; i < n; ++i) {
        if (d.flags[i] & kBreakingFlags) {
            d.breakBefore[i] = 1;
            continue;
        }
        CivilSeconds around = 0;
        for (const std::size_t j : {i - 1, i + 1})
            if (j >= 1 && j < n && step(j) > 0)
                around = around == 0 ? step(j) : std::min(around, step(j));
        const bool numbersJump = d.recordNumber[i] > d.recordNumber[i - 1] + 1;
        if (longer(step(i), around) || (numbersJump && longer(step(i), interval)))
            d.breakBefore[i] = 1;
    }
}

void addNoValueMarkers(const RawLog &raw, LogData &d)
{
    for (const NoValueLine &h : raw.noValueLines) {
        Marker m;
        m.kind = MarkerKind::NoValues;
        m.note = h.note.empty() ? "Line without values" : h.note;
        m.offset = h.offset;
        if (h.hasPrev && h.hasNext && h.nextTime > h.prevTime) {
            m.time = h.prevTime + (h.nextTime - h.prevTime) / 2;
            // The record that follows in time: if it is the next one of the file, nothing
            // fills the place of the lost record and the line breaks there.
            const auto it = std::upper_bound(d.time.begin(), d.time.end(), h.prevTime);
            if (it != d.time.end() && *it >= h.nextTime) {
                d.breakBefore[static_cast<std::size_t>(it - d.time.begin())] = 1;
                m.breaksLine = true;
            }
        } else if (h.hasPrev) {
            m.time = h.prevTime;
        } else if (h.hasNext) {
            m.time = h.nextTime;
        } else {
            continue;  // no record to place it by
        }
        d.markers.push_back(std::move(m));
    }
}

void addRecordMarkers(const RawLog &raw, const std::vector<std::uint32_t> &order, LogData &d)
{
    if (raw.notes.empty())
        return;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto it = raw.notes.find(order[i]);
        if (it == raw.notes.end())
            continue;
        Marker m;
        m.time = d.time[i];
        m.kind = (d.flags[i] & RecordFlag::kPowerFail)     ? MarkerKind::PowerFail
                 : (d.flags[i] & RecordFlag::kClockChange) ? MarkerKind::ClockChange
                                                           : MarkerKind::Note;
        m.breaksLine = (d.flags[i] & kBreakingFlags) != 0;
        m.note = it->second;
        m.offset = d.offset[i];
        m.record = static_cast<std::int64_t>(i);
        d.markers.push_back(std::move(m));
    }
}

// A day's total with the shortest interval that went into it.
struct DayTotal
{
    Bar bar;
    CivilSeconds shortestStep = 0;
};

void closeDay(DayTotal &day, std::vector<Bar> &out)
{
    // Records not aligned to midnight leave the intervals across it to neither day: up to
    // one step of a whole day. More than that is a day the records do not cover.
    day.bar.partial = day.bar.covered + day.shortestStep < day.bar.end - day.bar.start;
    out.push_back(day.bar);
}

void computeEnergy(LogData &d)
{
    const std::size_t n = d.size();
    DayTotal day;
    bool haveDay = false;
    for (std::size_t i = 1; i < n; ++i) {
        const std::int64_t e0 = d.energyTenths[i - 1], e1 = d.energyTenths[i];
        if (e0 == kNoEnergy || e1 == kNoEnergy)
            continue;
        const std::int64_t rise = e1 - e0;
        const CivilSeconds t0 = d.time[i - 1], t1 = d.time[i];
        if (rise < 0) {
            Marker m;
            m.time = t1;
            m.kind = MarkerKind::CounterBack;
            m.note = "EnergySum went back from " + kwhText(e0) + " to " + kwhText(e1) +
                     " kWh (meter reset?): no interval energy here";
            m.offset = d.offset[i];
            m.record = static_cast<std::int64_t>(i);
            d.markers.push_back(std::move(m));
            continue;
        }
        if (!d.breakBefore[i])
            d.intervalEnergy.push_back({t0, t1, static_cast<double>(rise) / 10.0, t1 - t0, false});
        if ((d.flags[i] & RecordFlag::kClockChange) || t1 <= t0 || dayStart(t0) != dayStart(t1 - 1))
            continue;
        if (!haveDay || day.bar.start != dayStart(t0)) {
            if (haveDay)
                closeDay(day, d.dailyEnergy);
            day = {{dayStart(t0), dayStart(t0) + kSecondsPerDay, 0, 0, false}, t1 - t0};
            haveDay = true;
        }
        day.bar.kwh += static_cast<double>(rise) / 10.0;
        day.bar.covered += t1 - t0;
        day.shortestStep = std::min(day.shortestStep, t1 - t0);
    }
    if (haveDay)
        closeDay(day, d.dailyEnergy);
}

}  // namespace

TimeRange LogData::fullRange() const
{
    if (time.empty())
        return {0, static_cast<double>(kSecondsPerDay)};
    const auto first = static_cast<double>(time.front()), last = static_cast<double>(time.back());
    if (last - first < 600)
        return {first - kSecondsPerDay / 2.0, first + kSecondsPerDay / 2.0};
    return {first, last};
}

std::pair<std::size_t, std::size_t> LogData::indexRange(TimeRange r) const
{
    const auto lo = std::lower_bound(time.begin(), time.end(), r.start,
                                     [](CivilSeconds t, double v) { return static_cast<double>(t) < v; });
    const auto hi = std::upper_bound(lo, time.end(), r.end,
                                     [](double v, CivilSeconds t) { return v < static_cast<double>(t); });
    return {static_cast<std::size_t>(lo - time.begin()), static_cast<std::size_t>(hi - time.begin())};
}

std::size_t LogData::nearest(double t) const
{
    if (time.empty())
        return 0;
    const auto it = std::lower_bound(time.begin(), time.end(), t,
                                     [](CivilSeconds a, double v) { return static_cast<double>(a) < v; });
    const auto i = static_cast<std::size_t>(it - time.begin());
    if (i == time.size())
        return i - 1;
    if (i > 0 && t - static_cast<double>(time[i - 1]) <= static_cast<double>(time[i]) - t)
        return i - 1;
    return i;
}

LogData buildLogData(const RawLog &raw, ReadReport report)
{
    LogData d;
    d.format = raw.format;
    d.decimals = raw.decimals;
    d.report = std::move(report);
    std::vector<std::uint32_t> order = timeOrder(raw);
    d.farRecords = setApartFar(raw, order);
    copyRecords(raw, order, d);
    const std::int64_t interval = typicalLogInterval(d.recordNumber, d.time);
    markBreaks(d, interval);
    addGapMarkers(raw, d, interval);
    addNoValueMarkers(raw, d);
    addRecordMarkers(raw, order, d);
    addFarMarkers(d);
    computeEnergy(d);
    std::stable_sort(d.markers.begin(), d.markers.end(),
                     [](const Marker &a, const Marker &b) { return a.time < b.time; });
    return d;
}

}  // namespace tellumic::logview
