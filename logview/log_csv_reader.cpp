#include "logview/log_csv_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "log/log_csv.h"

namespace tellumic::logview {

namespace {

constexpr std::size_t kMaxExamples = 20;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

enum class FieldKind : std::uint8_t { RecordNum, DateTime, Energy, Float, Integer, Flag };

// The kind of each field before Notes.
constexpr FieldKind kindOf(LogFormat f, int field)
{
    if (field == kRecordNumField)
        return FieldKind::RecordNum;
    if (field == kDateTimeField)
        return FieldKind::DateTime;
    if (field == kEnergySumField)
        return FieldKind::Energy;
    if (field == logSecondsField(f))
        return FieldKind::Integer;
    if (field > logSecondsField(f))
        return FieldKind::Flag;
    // Long records: EnergyPosSum, EnergyA ... C and ReacEngySum follow Demand.
    if (f == LogFormat::Long && field >= 4 && field <= 8)
        return FieldKind::Energy;
    return FieldKind::Float;
}

// Numbers as the CSV writes them: "12.3", ".5", "-.5", "250000", "NaN".
bool parseNumber(std::string_view s, double &v)
{
    if (s.empty())
        return false;
    if (s == "NaN") {
        v = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const char *end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, v);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(v);
}

template <typename Int>
bool parseInt(std::string_view s, Int &v)
{
    const char *end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, v);
    return !s.empty() && r.ec == std::errc() && r.ptr == end;
}

std::size_t commaCount(std::string_view s)
{
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), ','));
}

}  // namespace

std::string_view skipReasonText(SkipReason r)
{
    switch (r) {
    case SkipReason::FieldCount:
        return "wrong number of fields";
    case SkipReason::BadValue:
        return "a value that cannot be read";
    case SkipReason::TooLong:
        return "too long for a log line";
    case SkipReason::Header:
        return "a repeated header line";
    case SkipReason::Empty:
        return "empty";
    case SkipReason::Incomplete:
        return "incomplete, no line end";
    }
    return "";
}

std::uint64_t ReadReport::skippedTotal() const
{
    std::uint64_t n = 0;
    for (std::uint64_t s : skipped)
        n += s;
    return n;
}

std::size_t LogCsvReader::KeyHash::operator()(const Key &k) const noexcept
{
    const auto a = static_cast<std::uint64_t>(k.time);
    const auto b = static_cast<std::uint32_t>(k.recordNumber);
    return std::hash<std::uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
}

LogCsvReader::LogCsvReader(std::size_t maxRecords) : m_maxRecords(maxRecords) {}

bool LogCsvReader::feed(std::string_view bytes)
{
    while (!bytes.empty() && !failed() && !full()) {
        const auto *nl = static_cast<const char *>(std::memchr(bytes.data(), '\n', bytes.size()));
        const std::size_t take = nl ? static_cast<std::size_t>(nl - bytes.data()) : bytes.size();
        const bool passingOver = m_pendingSize > m_pending.size();
        if (!passingOver && m_pendingSize + take <= kMaxLineBytes) {
            m_pending.append(bytes.substr(0, take));
        } else if (!passingOver) {
            m_pending.clear();
            m_pending.shrink_to_fit();
        }
        m_pendingSize += take;
        if (m_state == State::Header && m_pendingSize > kMaxLineBytes) {
            m_error = "its first line is not a log header (it runs on for more than 64 KB)";
            return false;
        }
        if (!nl)
            break;
        const std::uint64_t start = m_lineStart;
        m_lineStart += m_pendingSize + 1;
        const bool tooLong = m_pendingSize > kMaxLineBytes;
        m_pendingSize = 0;
        ++m_report.lines;
        if (tooLong) {
            skip(SkipReason::TooLong);
        } else {
            std::string_view text = m_pending;
            if (!text.empty() && text.back() == '\r')
                text.remove_suffix(1);
            line(text, start);
        }
        m_pending.clear();
        bytes.remove_prefix(take + 1);
    }
    return !failed() && !full();
}

void LogCsvReader::skip(SkipReason reason)
{
    ++m_report.skipped[static_cast<std::size_t>(reason)];
    if (m_report.examples.size() < kMaxExamples)
        m_report.examples.push_back({m_report.lines, reason});
}

ReadReport LogCsvReader::report() const
{
    ReadReport r = m_report;
    if (m_pendingSize > 0 && !r.stoppedFull) {
        ++r.skipped[static_cast<std::size_t>(SkipReason::Incomplete)];
        if (r.examples.size() < kMaxExamples)
            r.examples.push_back({r.lines + 1, SkipReason::Incomplete});
    }
    return r;
}

void LogCsvReader::line(std::string_view text, std::uint64_t start)
{
    switch (m_state) {
    case State::Header:
        return header(text);
    case State::Units:
        m_state = State::Data;
        if (text == m_units)
            return;
        break;
    case State::Data:
        break;
    }
    if (text.empty())
        return skip(SkipReason::Empty);
    if (text.starts_with("RecordNum,") || text.starts_with(",YYYY-MM-DD hh:mm:ss,"))
        return skip(SkipReason::Header);
    dataLine(text, start);
}

void LogCsvReader::header(std::string_view text)
{
    if (text.starts_with(kBom))
        text.remove_prefix(kBom.size());
    for (const LogFormat f : {LogFormat::Short, LogFormat::Long}) {
        if (text == logCsvColumnsLine(f == LogFormat::Short)) {
            m_raw.format = f;
            m_units = logCsvUnitsLine(f == LogFormat::Short);
            m_state = State::Units;
            return;
        }
    }
    if (text.starts_with("RecordNum,DateTime,"))
        m_error = "its header has " + std::to_string(commaCount(text) + 1) +
                  " columns that match neither log format (a short log has 13 columns, a long log 36)";
    else
        m_error = "it is not a CSV log file: its first line is not the header \"RecordNum,DateTime,EnergySum,"
                  "Demand,...\"";
}

void LogCsvReader::dataLine(std::string_view text, std::uint64_t start)
{
    const LogFormat format = m_raw.format;
    const std::size_t n = fieldCount(format);
    std::array<std::string_view, kMaxFieldCount> fields;
    if (splitFields(text, format, fields) < n)
        return skip(SkipReason::FieldCount);
    const std::string_view notes = fields[n - 1];
    // Notes right after the n - 1 commas: every field before it is empty.
    const bool allEmpty = static_cast<std::size_t>(notes.data() - text.data()) == n - 1;

    if (allEmpty) {
        ++m_report.noValueLines;
        m_openHoles.push_back(m_raw.noValueLines.size());
        m_raw.noValueLines.push_back({start, m_report.lines, std::string(notes), m_haveLast, false, m_lastTime, 0});
        return;
    }

    // Anything that does not read is a bad value, unless the line has the other format's
    // field count, which says more.
    auto bad = [&] {
        const std::size_t other = fieldCount(format == LogFormat::Short ? LogFormat::Long : LogFormat::Short);
        skip(commaCount(text) + 1 == other ? SkipReason::FieldCount : SkipReason::BadValue);
    };
    std::int32_t recnum = 0;
    CivilSeconds time = 0;
    std::int64_t energy = kNoEnergy;
    std::uint8_t flags = 0;
    m_fields.assign(n, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::string_view f = fields[i];
        double v = 0;
        switch (kindOf(format, static_cast<int>(i))) {
        case FieldKind::RecordNum:
            if (!parseInt(f, recnum))
                return bad();
            break;
        case FieldKind::DateTime:
            if (!parseCivil(f, time))
                return bad();
            break;
        case FieldKind::Energy:
            if (!parseNumber(f, v))
                return bad();
            if (i == static_cast<std::size_t>(kEnergySumField) && std::isfinite(v))
                energy = std::llround(v * 10.0);
            break;
        case FieldKind::Float:
            if (!parseNumber(f, v))
                return bad();
            m_fields[i] = static_cast<float>(v);
            break;
        case FieldKind::Integer: {
            std::int64_t s = 0;
            if (!parseInt(f, s))
                return bad();
            break;
        }
        case FieldKind::Flag:
            if (f == "1")
                flags |= static_cast<std::uint8_t>(1u << (i - static_cast<std::size_t>(firstFlagField(format))));
            else if (!f.empty() && f != "0")
                return bad();
            break;
        }
    }
    if (notes.find(kCrcMismatchNote) != std::string_view::npos)
        flags |= RecordFlag::kCrcMismatch;

    for (std::size_t h : m_openHoles) {
        m_raw.noValueLines[h].hasNext = true;
        m_raw.noValueLines[h].nextTime = time;
    }
    m_openHoles.clear();
    m_haveLast = true;
    m_lastTime = time;

    const std::size_t q = quantityCount(format);
    auto store = [&](std::size_t index) {
        m_raw.offset[index] = start;
        m_raw.flags[index] = flags;
        m_raw.energyTenths[index] = energy;
        for (std::size_t k = 0; k < q; ++k) {
            const auto field = static_cast<std::size_t>(fieldOf(kQuantities[k], format));
            m_raw.values[index * q + k] = m_fields[field];
            const std::size_t point = fields[field].find('.');
            if (point != std::string_view::npos)
                m_raw.decimals[k] = std::max(m_raw.decimals[k], static_cast<std::uint8_t>(std::min<std::size_t>(
                                                                    fields[field].size() - point - 1, 9)));
        }
        if (notes.empty())
            m_raw.notes.erase(static_cast<std::uint32_t>(index));
        else
            m_raw.notes[static_cast<std::uint32_t>(index)] = std::string(notes);
    };

    const Key key{time, recnum};
    if (const auto it = m_index.find(key); it != m_index.end()) {
        ++m_report.duplicates;
        // A record kept although it failed its check gives way to a good copy of it.
        if ((m_raw.flags[it->second] & RecordFlag::kCrcMismatch) && !(flags & RecordFlag::kCrcMismatch))
            store(it->second);
        return;
    }
    if (m_raw.size() >= m_maxRecords) {
        m_report.stoppedFull = true;
        m_report.stoppedAtLine = m_report.lines;
        m_report.recordLimit = m_maxRecords;
        return;
    }
    const std::size_t index = m_raw.size();
    m_index.emplace(key, static_cast<std::uint32_t>(index));
    m_raw.time.push_back(time);
    m_raw.recordNumber.push_back(recnum);
    m_raw.flags.push_back(0);
    m_raw.offset.push_back(0);
    m_raw.energyTenths.push_back(kNoEnergy);
    m_raw.values.resize(m_raw.values.size() + q);
    store(index);
}

}  // namespace tellumic::logview
