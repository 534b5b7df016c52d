#include "store/csv_records.h"
#include "store/record_columns.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "log/log_csv_line.h"
#include "model/date_time.h"

namespace tellumic::store {

bool readRecordTime(std::string_view text, LogDateTime &dt)
{
    return readLogCsvTime(text, dt);
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

// readLogCsvLine with the buffer for the line given back, kept from line to line.
LineKind readLine(std::string_view line, bool isShort, LogCsvValues &values, std::string &again)
{
    // The one judgement of a line that the audit and the viewer share.
    switch (judgeLogCsvLine(line, isShort, values, again)) {
    case LogLineKind::Header: return LineKind::Header;
    case LogLineKind::Record: return LineKind::Record;
    case LogLineKind::FailedCheck: return LineKind::Failed;
    case LogLineKind::Unrecognized: return LineKind::Unrecognised;
    case LogLineKind::Unreadable: break;
    }
    return LineKind::Unreadable;
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
