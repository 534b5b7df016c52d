#include "log/log_csv_line.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

#include "model/date_time.h"

namespace tellumic {

namespace {

// Splits at every ","; false when the line has not exactly count fields.
bool splitFields(std::string_view line, std::size_t count, std::array<std::string_view, kLongLogFields> &fields)
{
    std::size_t n = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (n == count)
            return false;
        fields[n++] = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (comma == std::string_view::npos)
            return n == count;
        start = comma + 1;
    }
}

bool readInt(std::string_view text, std::int32_t &v)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Tenths of a kWh shown with one digit after the point: "12.3", ".5", "-.5".
bool readEnergy(std::string_view text, std::int32_t &tenths)
{
    if (text.size() < 2 || text[text.size() - 2] != '.')
        return false;
    const char last = text.back();
    if (last < '0' || last > '9')
        return false;
    const bool negative = text.front() == '-';
    const std::string_view whole = text.substr(negative ? 1 : 0, text.size() - 2 - (negative ? 1 : 0));
    std::int64_t v = 0;
    if (!whole.empty()) {
        // Digits only: from_chars would take a second sign.
        if (whole.front() < '0' || whole.front() > '9' || whole.size() > 10)
            return false;
        const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), v);
        if (ec != std::errc() || end != whole.data() + whole.size())
            return false;
    }
    v = v * 10 + (last - '0');
    if (negative)
        v = -v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return false;
    tenths = static_cast<std::int32_t>(v);
    return true;
}

bool readFloat(std::string_view text, float &v)
{
    if (text == "NaN") {
        v = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool readTwoDigits(std::string_view text, std::size_t at, int &v)
{
    const char a = text[at], b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return false;
    v = (a - '0') * 10 + (b - '0');
    return true;
}


// The flag columns, PowerFail first, as the line shows them.
constexpr std::uint8_t kFlagBits[] = {LogFlag::kPowerFail, LogFlag::kClockChange, LogFlag::kCalChange,
                                      LogFlag::kCfgChange,  LogFlag::kOnline,      LogFlag::kError,
                                      LogFlag::kReset};

bool readValues(const std::array<std::string_view, kLongLogFields> &f, bool isShort, LogCsvValues &v)
{
    if (!readInt(f[0], v.recordNumber) || !readLogCsvTime(f[1], v.dateTime) || !readEnergy(f[2], v.energySum) ||
        !readFloat(f[3], v.demand))
        return false;
    std::size_t i = 4;
    if (!isShort) {
        for (std::int32_t *e : {&v.energyPosSum, &v.energy[0], &v.energy[1], &v.energy[2], &v.reacEnergySum})
            if (!readEnergy(f[i++], *e))
                return false;
        for (float *x : {&v.powerSum, &v.power[0], &v.power[1], &v.power[2], &v.reacPowerSum, &v.reacPower[0],
                         &v.reacPower[1], &v.reacPower[2], &v.volts[0], &v.volts[1], &v.volts[2], &v.current[0],
                         &v.current[1], &v.current[2], &v.pf[0], &v.pf[1], &v.pf[2], &v.frequency})
            if (!readFloat(f[i++], *x))
                return false;
    }
    if (!readInt(f[i++], v.logSeconds))
        return false;
    v.flags = 0;
    for (const std::uint8_t bit : kFlagBits) {
        const std::string_view t = f[i++];
        if (t == "1")
            v.flags |= bit;
        else if (!t.empty())
            return false;
    }
    return true;
}

}  // namespace

bool readLogCsvTime(std::string_view text, LogDateTime &dt)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return false;
    int y1 = 0, y2 = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readTwoDigits(text, 0, y1) || !readTwoDigits(text, 2, y2) || !readTwoDigits(text, 5, month) ||
        !readTwoDigits(text, 8, day) || !readTwoDigits(text, 11, hour) || !readTwoDigits(text, 14, minute) ||
        !readTwoDigits(text, 17, second))
        return false;
    const int year = y1 * 100 + y2;
    if (year < 1 || !isCalendarDate(year, month, day) || hour > 23 || minute > 59 || second > 59)
        return false;
    dt = LogDateTime{year, static_cast<std::uint8_t>(month), static_cast<std::uint8_t>(day),
                     static_cast<std::uint8_t>(hour), static_cast<std::uint8_t>(minute),
                     static_cast<std::uint8_t>(second)};
    return true;
}

LogLineKind judgeLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values, std::string &scratch)
{
    if (line == logCsvColumnsLine(isShort) || line == logCsvUnitsLine(isShort))
        return LogLineKind::Header;
    if (line.size() >= kMaxLogLineBytes)
        return LogLineKind::Unreadable;
    std::array<std::string_view, kLongLogFields> fields;
    const std::size_t count = isShort ? kShortLogFields : kLongLogFields;
    if (!splitFields(line, count, fields))
        return LogLineKind::Unreadable;
    const std::string_view notes = fields[count - 1];
    values = LogCsvValues{};
    if (fields[0].empty()) {
        // A line without values says why in its Notes alone.
        for (std::size_t i = 0; i + 1 < count; ++i)
            if (!fields[i].empty())
                return LogLineKind::Unreadable;
        if (notes == kCrcMismatchNote)
            return LogLineKind::FailedCheck;
        if (notes.starts_with(kUnrecognizedTypeNote))
            return LogLineKind::Unrecognized;
        return LogLineKind::Unreadable;
    }
    if (!readValues(fields, isShort, values)) {
        values = LogCsvValues{};
        return LogLineKind::Unreadable;
    }
    // Kept although it failed its check: a record that stands there, without values to trust.
    const bool failed = notes.ends_with(kCrcMismatchNote);
    scratch.clear();
    appendLogCsvValues(scratch, values, isShort);
    if (failed)
        scratch.append(kCrcMismatchNote);
    if (scratch != line) {
        values = LogCsvValues{};
        return LogLineKind::Unreadable;
    }
    return failed ? LogLineKind::FailedCheck : LogLineKind::Record;
}

LogLineKind judgeLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values)
{
    std::string scratch;
    return judgeLogCsvLine(line, isShort, values, scratch);
}

namespace {

bool cutLine(std::string_view piece)
{
    if (piece.size() >= kMaxLogLineBytes)
        return false;
    if (!piece.empty() && piece.back() == '\r')
        piece.remove_suffix(1);
    for (const char c : piece)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

// The start of a header that a first write cut short: the whole file is its bytes.
bool cutHeader(std::string_view text, std::optional<bool> isShort)
{
    for (const bool s : {false, true}) {
        if (isShort && *isShort != s)
            continue;
        const std::string header = std::string(logCsvHeader(s)) + "\r\n";
        if (text.size() < header.size() && std::string_view(header).starts_with(text))
            return true;
    }
    return false;
}

std::string formatName(bool isShort)
{
    return isShort ? "short records" : "long records";
}

}  // namespace

std::string logCsvFileFault(std::string_view head, std::string_view tail, std::optional<bool> isShort)
{
    if (head.empty() || cutHeader(head, isShort))
        return {};
    const std::size_t firstEnd = head.find('\n');
    if (firstEnd == std::string_view::npos || firstEnd == 0 || head[firstEnd - 1] != '\r')
        return "its lines do not end in CR LF";
    const std::string_view first = head.substr(0, firstEnd - 1);
    bool format = false;
    if (first == logCsvColumnsLine(false))
        format = false;
    else if (first == logCsvColumnsLine(true))
        format = true;
    else
        return "its first line is not the header of a log";
    if (isShort && *isShort != format)
        return "it is a log of " + formatName(format) + ", not of " + formatName(*isShort);
    const std::size_t lastEnd = tail.rfind('\n');
    if (lastEnd == std::string_view::npos || !cutLine(tail.substr(lastEnd + 1)))
        return "its end is not a line of a log";
    if (lastEnd == 0 || tail[lastEnd - 1] != '\r')
        return "its lines do not end in CR LF";
    const std::size_t lineStart = lastEnd > 1 ? tail.rfind('\n', lastEnd - 2) : std::string_view::npos;
    const std::size_t from = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    LogCsvValues values;
    if (judgeLogCsvLine(tail.substr(from, lastEnd - 1 - from), format, values) == LogLineKind::Unreadable)
        return "its last line is not a line of a log";
    return {};
}

}  // namespace tellumic
