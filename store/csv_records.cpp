#include "store/csv_records.h"
#include "store/record_columns.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/date_time.h"

namespace tellumic::store {

namespace {

constexpr std::size_t kShortFields = 13;
constexpr std::size_t kLongFields = 36;
constexpr std::size_t kMaxFields = kLongFields;

// Splits at every ","; false when the line has not exactly count fields.
bool splitFields(std::string_view line, std::size_t count, std::array<std::string_view, kMaxFields> &fields)
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

}  // namespace

bool readRecordTime(std::string_view text, LogDateTime &dt)
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
    dt.year = year;
    dt.month = static_cast<std::uint8_t>(month);
    dt.day = static_cast<std::uint8_t>(day);
    dt.hour = static_cast<std::uint8_t>(hour);
    dt.minute = static_cast<std::uint8_t>(minute);
    dt.second = static_cast<std::uint8_t>(second);
    return true;
}

void writeRecordTime(const LogDateTime &dt, char *out)
{
    const auto two = [out](std::size_t at, int v) {
        out[at] = static_cast<char>('0' + v / 10);
        out[at + 1] = static_cast<char>('0' + v % 10);
    };
    const int year = static_cast<int>(dt.year);
    two(0, year / 100 % 100);
    two(2, year % 100);
    out[4] = '-';
    two(5, dt.month);
    out[7] = '-';
    two(8, dt.day);
    out[10] = ' ';
    two(11, dt.hour);
    out[13] = ':';
    two(14, dt.minute);
    out[16] = ':';
    two(17, dt.second);
}

std::string recordTimeText(const LogDateTime &dt)
{
    char text[kRecordTimeSize];
    writeRecordTime(dt, text);
    return std::string(text, kRecordTimeSize);
}

namespace {

// The flag columns, PowerFail first, as the line shows them.
constexpr std::uint8_t kFlagBits[] = {LogFlag::kPowerFail, LogFlag::kClockChange, LogFlag::kCalChange,
                                      LogFlag::kCfgChange,  LogFlag::kOnline,      LogFlag::kError,
                                      LogFlag::kReset};

bool readValues(const std::array<std::string_view, kMaxFields> &f, bool isShort, LogCsvValues &v)
{
    if (!readInt(f[0], v.recordNumber) || !readRecordTime(f[1], v.dateTime) || !readEnergy(f[2], v.energySum) ||
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

namespace {

// readLogCsvLine with the buffer for the line given back, kept from line to line.
LineKind readLine(std::string_view line, bool isShort, LogCsvValues &values, std::string &again)
{
    if (line == logCsvColumnsLine(isShort) || line == logCsvUnitsLine(isShort))
        return LineKind::Header;
    std::array<std::string_view, kMaxFields> fields;
    const std::size_t count = isShort ? kShortFields : kLongFields;
    if (!splitFields(line, count, fields))
        return LineKind::Unreadable;
    const std::string_view notes = fields[count - 1];
    if (fields[0].empty()) {
        // A line without values says why in its Notes alone.
        for (std::size_t i = 0; i + 1 < count; ++i)
            if (!fields[i].empty())
                return LineKind::Unreadable;
        if (notes == kCrcMismatchNote)
            return LineKind::Failed;
        if (notes.starts_with(kUnrecognizedTypeNote))
            return LineKind::Unrecognised;
        return LineKind::Unreadable;
    }
    values = LogCsvValues{};
    if (!readValues(fields, isShort, values))
        return LineKind::Unreadable;
    // Kept although it failed its check: counted, not stored.
    const bool failed = notes.ends_with(kCrcMismatchNote);
    again.clear();
    appendLogCsvValues(again, values, isShort);
    if (failed)
        again.append(kCrcMismatchNote);
    if (again != line)
        return LineKind::Unreadable;
    return failed ? LineKind::Failed : LineKind::Record;
}

}  // namespace

LineKind readLogCsvLine(std::string_view line, bool isShort, LogCsvValues &values)
{
    std::string again;
    return readLine(line, isShort, values, again);
}

std::size_t readLogCsvText(std::string_view text, bool isShort, RecordBatch &batch)
{
    std::size_t start = 0;
    LogCsvValues values;
    std::string again;
    for (;;) {
        const std::size_t eol = text.find("\r\n", start);
        if (eol == std::string_view::npos)
            return start;
        switch (readLine(text.substr(start, eol - start), isShort, values, again)) {
        case LineKind::Record: batch.records.push_back(values); break;
        case LineKind::Failed: ++batch.failed; break;
        case LineKind::Unrecognised: ++batch.unrecognised; break;
        case LineKind::Unreadable: ++batch.unreadable; break;
        case LineKind::Header: break;
        }
        start = eol + 2;
    }
}

std::string logCsvLine(const LogCsvValues &values, bool isShort)
{
    std::string line;
    appendLogCsvValues(line, values, isShort);
    return line;
}

bool parseLogFileName(std::string_view fileName, std::string &deviceName, bool &isShort)
{
    static constexpr std::string_view kShort = "-log-short-", kLong = "-log-full-";
    std::size_t at = fileName.rfind(kShort);
    isShort = at != std::string_view::npos;
    if (!isShort)
        at = fileName.rfind(kLong);
    if (at == std::string_view::npos || at == 0)
        return false;
    const std::string_view encoded = fileName.substr(0, at);
    deviceName.clear();
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        int hi = 0, lo = 0;
        const auto hex = [](char c, int &v) {
            if (c >= '0' && c <= '9') v = c - '0';
            else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
            else return false;
            return true;
        };
        if (encoded[i] == '%' && i + 2 < encoded.size() && hex(encoded[i + 1], hi) && hex(encoded[i + 2], lo)) {
            deviceName.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            deviceName.push_back(encoded[i]);
        }
    }
    return true;
}

}  // namespace tellumic::store
