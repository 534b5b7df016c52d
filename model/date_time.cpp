#include "model/date_time.h"

#include <cstdio>

#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

constexpr auto npos = std::string_view::npos;

std::size_t findFrom(std::string_view text, char c, std::size_t from)
{
    return from >= text.size() ? npos : text.find(c, from);
}

std::string_view between(std::string_view text, std::size_t from, std::size_t to)
{
    if (from >= text.size())
        return {};
    return to == npos ? text.substr(from) : text.substr(from, to - from);
}

void twoDigits(std::string &out, int v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    out.append(b);
}

}  // namespace

LogDateTime ParseDateTime(std::string_view text)
{
    DebugLog("MLogFtp.ParseDateTime()");
    LogDateTime result;
    try {
        std::size_t dateSep = findFrom(text, '-', 1);
        if (dateSep == npos)
            dateSep = findFrom(text, '/', 0);
        if (dateSep == npos)
            return result;
        const std::int32_t year = toLong(text.substr(0, dateSep));
        std::size_t monthSep = findFrom(text, '-', dateSep + 1);
        if (monthSep == npos)
            monthSep = findFrom(text, '/', dateSep + 1);
        if (monthSep == npos)
            return result;
        const std::uint8_t month = toByte(between(text, dateSep + 1, monthSep));
        const std::size_t blank = findFrom(text, ' ', monthSep + 1);
        const std::uint8_t day = toByte(between(text, monthSep + 1, blank));
        result.year = year;
        result.month = month;
        result.day = day;
        if (blank == npos)
            return result;
        const std::size_t colon1 = findFrom(text, ':', blank + 1);
        if (colon1 == npos)
            return result;
        const std::uint8_t hour = toByte(between(text, blank + 1, colon1));
        const std::size_t colon2 = findFrom(text, ':', colon1 + 1);
        const std::uint8_t minute = toByte(between(text, colon1 + 1, colon2));
        result.hour = hour;
        result.minute = minute;
        if (colon2 != npos)
            result.second = toByte(between(text, colon2 + 1, npos));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.ParseDateTime()," + errorText(e));
    }
    return result;
}

std::string PadYear(std::int32_t year)
{
    char b[16];
    std::snprintf(b, sizeof b, "%04d", static_cast<int>(year));
    return b;
}

std::string FormatDateTime(const LogDateTime &dt)
{
    DebugLog("MPlugIn.FormatDateTime()");
    std::int32_t year = dt.year;
    if (year == -1)
        year = 0;
    if (year >= 1 && year <= 99)
        year += 2000;
    std::string text = PadYear(year);
    text.push_back('-');
    twoDigits(text, dt.month);
    text.push_back('-');
    twoDigits(text, dt.day);
    text.push_back(' ');
    twoDigits(text, dt.hour);
    text.push_back(':');
    twoDigits(text, dt.minute);
    text.push_back(':');
    twoDigits(text, dt.second);
    DebugLog("   FormatDateTime=" + text);
    return text;
}

std::string FormatDateTimeVB(Clock::TimePoint t)
{
    DebugLog("MPlugIn.FormatDateTimeVB()");
    const LocalTime l = toLocalTime(t);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", l.year, l.month, l.day, l.hour, l.minute, l.second);
    return b;
}

std::string ValidateDateTime(const LogDateTime &dt)
{
    DebugLog("MLogFtp.ValidateDateTime()");
    if (dt.year < 2000)
        return "Year must be greater than 2000";
    if (dt.year > 2099)
        return "Year must be less than 2099";
    if (dt.month < 1 || dt.month > 12)
        return "Month must be between 1 and 12";
    if (dt.day < 1 || dt.day > 31)
        return "Day must be between 1 and 31";
    if (dt.hour > 23)
        return "Hour must be between 0 and 23";
    if (dt.minute > 59)
        return "Minute must be between 0 and 59";
    if (dt.second > 59)
        return "Second must be between 0 and 59";
    return {};
}

}  // namespace tellumic
