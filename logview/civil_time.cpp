#include "logview/civil_time.h"

#include <cstdio>

namespace tellumic::logview {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

bool digits(std::string_view text, std::size_t at, std::size_t count, int &value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

CivilFields civilFields(CivilSeconds s)
{
    const std::int64_t days = floorDiv(s, kSecondsPerDay);
    const std::int64_t secs = s - days * kSecondsPerDay;
    const CivilDate date = civilFromDays(days);
    CivilFields f;
    f.year = static_cast<std::int32_t>(date.year);
    f.month = date.month;
    f.day = date.day;
    f.hour = static_cast<int>(secs / 3600);
    f.minute = static_cast<int>(secs / 60 % 60);
    f.second = static_cast<int>(secs % 60);
    return f;
}

CivilSeconds civilSeconds(const CivilFields &f)
{
    return daysFromCivil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
}

bool parseCivil(std::string_view text, CivilSeconds &out)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return false;
    CivilFields f;
    int year = 0;
    if (!digits(text, 0, 4, year) || !digits(text, 5, 2, f.month) || !digits(text, 8, 2, f.day) ||
        !digits(text, 11, 2, f.hour) || !digits(text, 14, 2, f.minute) || !digits(text, 17, 2, f.second))
        return false;
    f.year = year;
    if (!isCalendarDate(f.year, f.month, f.day) || f.hour > 23 || f.minute > 59 || f.second > 59)
        return false;
    out = civilSeconds(f);
    return true;
}

std::string formatCivil(CivilSeconds s)
{
    const CivilFields f = civilFields(s);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
    return b;
}

std::string formatCivilMinutes(CivilSeconds s)
{
    return formatCivil(s).substr(0, 16);
}

std::string formatCivilDate(CivilSeconds s)
{
    return formatCivil(s).substr(0, 10);
}

CivilSeconds dayStart(CivilSeconds s)
{
    return floorDiv(s, kSecondsPerDay) * kSecondsPerDay;
}

}  // namespace tellumic::logview
