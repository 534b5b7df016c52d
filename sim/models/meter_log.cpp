// The meter's interval log and its files: 3 (log information), 4 (read request) and 5 (the
// selected records). Records are made from the load at their time, so the log needs no
// storage beyond its segments: each segment is a first record number, the time the
// segment started and its interval; a record closes every interval.

#include <cmath>
#include <cstring>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"
#include "sim/models/meter.h"
#include "sim/models/meter_state.h"

namespace tellumic::sim {

namespace {

constexpr std::size_t kShortRecord = 24, kLongRecord = 86;
constexpr std::size_t kRequestSize = 42, kInfoSize = 35;
// The channel's record rates for the two record formats.
constexpr double kShortRecordsPerSecond = 14.5, kLongRecordsPerSecond = 4.6;

void put(Bytes &b, std::size_t at, std::uint64_t v, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * (n - 1 - i)));
}

void putFloat(Bytes &b, std::size_t at, double v)
{
    const auto f = static_cast<float>(v);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, 4);
    put(b, at, bits, 4);
}

std::uint64_t get(const Bytes &b, std::size_t at, std::size_t n)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v = (v << 8) | b[at + i];
    return v;
}

void putTime(Bytes &b, std::size_t at, Clock::TimePoint t)
{
    const auto l = toLocalTime(t);
    put(b, at, static_cast<std::uint64_t>(l.year), 2);
    b[at + 2] = static_cast<std::uint8_t>(l.month);
    b[at + 3] = static_cast<std::uint8_t>(l.day);
    b[at + 4] = static_cast<std::uint8_t>(l.hour);
    b[at + 5] = static_cast<std::uint8_t>(l.minute);
    b[at + 6] = static_cast<std::uint8_t>(l.second);
}

}  // namespace

std::vector<double> logStateNumbers(const LogState &log)
{
    std::vector<double> v{static_cast<double>(log.logStart)};
    for (const auto &s : log.segments) {
        v.push_back(static_cast<double>(s.first));
        v.push_back(s.start);
        v.push_back(s.interval);
    }
    return v;
}

std::uint8_t logCrc8(const std::uint8_t *data, std::size_t n)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint8_t>(crc & 1 ? (crc >> 1) ^ 0x8C : crc >> 1);
    }
    return crc;
}

std::uint16_t logCrc16(const std::uint8_t *data, std::size_t n)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

namespace {

// A meter seen for the first time has logged every 15 minutes for longer than its log holds.
LogState loadLog(DeviceState &state, const InterfaceDef &interfaceDef, double minutes)
{
    MeterStore store(state, interfaceDef);
    auto v = store.numbers(kLogKey, 0);
    if (v.size() < 4) {
        const double interval = 60 * minutes;
        const double now = std::floor(seconds(state.now()) / interval) * interval;
        v = {1, 1, now - (static_cast<double>(kLogCapacity) + 500) * interval, interval};
        store.setNumbers(kLogKey, v);
    }
    LogState log;
    log.logStart = static_cast<std::int64_t>(v[0]);
    for (std::size_t i = 1; i + 2 < v.size(); i += 3)
        log.segments.push_back({static_cast<std::int64_t>(v[i]), v[i + 1], v[i + 2]});
    return log;
}

void saveLog(DeviceState &state, const InterfaceDef &interfaceDef, const LogState &log)
{
    MeterStore(state, interfaceDef).setNumbers(kLogKey, logStateNumbers(log));
}

std::int64_t lastOf(const LogState &log, std::size_t i, double now)
{
    if (i + 1 < log.segments.size())
        return log.segments[i + 1].first - 1;
    const auto &s = log.segments[i];
    return s.first + static_cast<std::int64_t>(std::floor((now - s.start) / s.interval)) - 1;
}

}  // namespace

Meter::LogExtent Meter::logExtent(DeviceState &state, Clock::TimePoint now) const
{
    MeterStore store(state, m_interface);
    const auto log = loadLog(state, m_interface, store.nvNumber(m_layout.name(Role::LogMinutes), 15));
    LogExtent e;
    e.newest = std::max(lastOf(log, log.segments.size() - 1, seconds(now)), log.segments.back().first - 1);
    e.oldest = std::max(log.logStart, e.newest - kLogCapacity + 1);
    return e;
}

Clock::TimePoint Meter::logRecordTime(DeviceState &state, std::int64_t number) const
{
    MeterStore store(state, m_interface);
    const auto log = loadLog(state, m_interface, store.nvNumber(m_layout.name(Role::LogMinutes), 15));
    const LogSegment *seg = &log.segments.front();
    for (const auto &s : log.segments)
        if (s.first <= number)
            seg = &s;
    return timeAt(seg->start + static_cast<double>(number - seg->first + 1) * seg->interval);
}

void Meter::logIntervalChanged(DeviceState &state, double minutes) const
{
    auto log = loadLog(state, m_interface, minutes);
    const double now = seconds(state.now());
    const auto next = std::max(lastOf(log, log.segments.size() - 1, now), log.segments.back().first - 1) + 1;
    if (log.segments.back().first == next)
        log.segments.pop_back();
    // Records close on the clock's interval boundaries.
    log.segments.push_back({next, std::floor(now / (60 * minutes)) * 60 * minutes, 60 * minutes});
    if (log.segments.size() > 32)
        log.segments.erase(log.segments.begin());
    saveLog(state, m_interface, log);
}

void Meter::initialiseLog(DeviceState &state) const
{
    MeterStore store(state, m_interface);
    const double minutes = store.nvNumber(m_layout.name(Role::LogMinutes), 15);
    logIntervalChanged(state, minutes);
    auto log = loadLog(state, m_interface, minutes);
    log.logStart = log.segments.back().first;
    log.segments = {log.segments.back()};
    saveLog(state, m_interface, log);
}

// One record as the meter sends it. The energies are the non-resettable registers, so a
// reset of the totals leaves the logged series rising. Flags carry the events of the
// record's interval.
Bytes Meter::logRecord(DeviceState &state, std::int64_t number, bool longRecord) const
{
    const auto t = logRecordTime(state, number);
    const double previous = seconds(number > 1 ? logRecordTime(state, number - 1) : t) ;
    Bytes b(longRecord ? kLongRecord : kShortRecord, 0);
    b[0] = 1;
    put(b, 1, static_cast<std::uint64_t>(number), 4);
    const auto events = MeterStore(state, m_interface).numbers(kEventsKey, 0);
    for (std::size_t i = 0; i + 1 < events.size(); i += 2)
        if (events[i] > previous && events[i] <= seconds(t))
            b[5] |= static_cast<std::uint8_t>(1u << static_cast<int>(events[i + 1]));
    const auto stamp = meterTime(state, t);
    putTime(b, 6, stamp);
    const auto l = toLocalTime(stamp);
    put(b, 13, static_cast<std::uint64_t>((l.hour * 3600 + l.minute * 60 + l.second) % 65536), 2);
    putFloat(b, 15, demandWatts(state, t));
    const auto wh = totalsWh(state, t);
    auto tenthsKwh = [](double v) { return static_cast<std::uint64_t>(static_cast<std::uint32_t>(std::llround(v / 100.0))); };
    put(b, 19, tenthsKwh(wh[0] + wh[1] + wh[2]), 4);
    if (!longRecord) {
        b[23] = logCrc8(b.data(), 23);
        return b;
    }
    put(b, 24, tenthsKwh(wh[0] + wh[1] + wh[2]), 4);
    for (std::size_t i = 0; i < 3; ++i)
        put(b, 28 + 4 * i, tenthsKwh(wh[i]), 4);
    put(b, 40, tenthsKwh(wh[3]), 4);
    const auto m = reading(state, t);
    for (std::size_t i = 0; i < 3; ++i) {
        putFloat(b, 44 + 4 * i, m.phases[i].volts);
        putFloat(b, 60 + 4 * i, m.phases[i].watts);
        putFloat(b, 72 + 4 * i, m.phases[i].vars);
    }
    putFloat(b, 56, m.hertz);
    put(b, 84, logCrc16(b.data(), 84), 2);
    return b;
}

// File 4: the 42-byte read request. Modes 0, 1, 2 and 5, formats 2 (long) and 3 (short).
void Meter::writeFile(DeviceState &state, std::int32_t number, const Bytes &bytes) const
{
    if (!m_layout.logging || number != 4)
        return DeviceModel::writeFile(state, number, bytes);
    const int mode = bytes.size() == kRequestSize ? bytes[0] : -1;
    const int format = bytes.size() == kRequestSize ? bytes[40] : -1;
    if ((mode != 0 && mode != 1 && mode != 2 && mode != 5) || (format != 2 && format != 3))
        throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the meter refused the log request");
    state.setValue(kLogRequestKey, bytes);
}

double Meter::fileBytesPerSecond(DeviceState &state, std::int32_t number) const
{
    if (!m_layout.logging)
        return 0;
    if (number != 5)
        return kShortRecordsPerSecond * kShortRecord;
    const Bytes req = MeterStore(state, m_interface).has(kLogRequestKey) ? state.value(kLogRequestKey) : Bytes{};
    const bool longRecords = req.size() != kRequestSize || req[40] == 2;
    return longRecords ? kLongRecordsPerSecond * kLongRecord : kShortRecordsPerSecond * kShortRecord;
}

std::optional<std::size_t> Meter::fileFailsAfter(DeviceState &state, std::int32_t number) const
{
    MeterStore store(state, m_interface);
    if (!m_layout.logging || number != 5 || !store.has(kFaultFailAfterKey))
        return std::nullopt;
    return static_cast<std::size_t>(std::max(0.0, store.number(kFaultFailAfterKey, 0)));
}

Bytes Meter::readFile(DeviceState &state, std::int32_t number, std::int32_t length) const
{
    if (!m_layout.logging || (number != 3 && number != 5))
        return DeviceModel::readFile(state, number, length);
    MeterStore store(state, m_interface);
    const auto extent = logExtent(state, state.now());
    Bytes out;
    if (number == 3) {
        out.assign(kInfoSize, 0);
        if (extent.newest >= extent.oldest) {
            put(out, 0, static_cast<std::uint64_t>(extent.newest), 4);
            putTime(out, 8, meterTime(state, logRecordTime(state, extent.newest)));
            put(out, 15, static_cast<std::uint64_t>(extent.oldest), 4);
            putTime(out, 23, meterTime(state, logRecordTime(state, extent.oldest)));
        }
        out[30] = 1;  // log version
        out.resize(std::min<std::size_t>(out.size(), static_cast<std::size_t>(std::max(0, length))));
        return out;
    }
    const Bytes req = store.has(kLogRequestKey) ? state.value(kLogRequestKey) : Bytes{};
    if (req.size() != kRequestSize)
        throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: no log request was written");
    const bool longRecords = req[40] == 2;
    const std::size_t size = longRecords ? kLongRecord : kShortRecord;
    const auto count = static_cast<std::int64_t>(get(req, 1, 4));
    std::int64_t last = extent.oldest;  // the oldest record sent
    if (req[0] == 5) {
        last = std::max(extent.oldest, static_cast<std::int64_t>(get(req, 20, 4)));
    } else if (req[0] == 2) {
        const auto stop = localTimePoint(static_cast<int>(get(req, 28, 2)), req[30], req[31], req[32], req[33], req[34]);
        // Back to the first record at or after the stop, by the meter's clock.
        std::int64_t lo = extent.oldest, hi = extent.newest + 1;
        while (lo < hi) {
            const auto mid = lo + (hi - lo) / 2;
            if (meterTime(state, logRecordTime(state, mid)) >= stop)
                hi = mid;
            else
                lo = mid + 1;
        }
        last = lo;
    }
    const std::int64_t wanted = std::min<std::int64_t>(count, static_cast<std::int64_t>(length) / static_cast<std::int64_t>(size));
    // A start record (0 in every request of the Logging tab) makes the meter send from there
    // back instead of from its newest record: the harvest fetches its chunks oldest first.
    const auto start = static_cast<std::int64_t>(get(req, 5, 4));
    const std::int64_t first = start > 0 ? std::min(start, extent.newest) : extent.newest;
    const auto badEvery = static_cast<std::int64_t>(store.number(kFaultBadCrcKey, 0));
    std::int64_t sent = 0;
    for (auto n = first; n >= last && sent < wanted; --n, ++sent) {
        auto record = logRecord(state, n, longRecords);
        if (badEvery > 0 && (sent + 1) % badEvery == 0)
            record.back() ^= 0x5A;
        out.insert(out.end(), record.begin(), record.end());
    }
    const auto shortBy = static_cast<std::size_t>(std::max(0.0, store.number(kFaultShortReadKey, 0)));
    out.resize(out.size() > shortBy ? out.size() - shortBy : 0);
    return out;
}

}  // namespace tellumic::sim
