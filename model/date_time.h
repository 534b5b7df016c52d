#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/clock.h"

namespace tellumic {

// The proleptic Gregorian calendar, its days counted from 1970-01-01 (negative before it).

constexpr bool isLeapYear(std::int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// month 1 to 12.
constexpr int daysInMonth(std::int64_t year, int month)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Whether year-month-day is a day of the calendar (month 1 to 12, day 1 to its last).
constexpr bool isCalendarDate(std::int64_t year, int month, int day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

// Days from 1970-01-01 to the given date.
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct CivilDate
{
    std::int64_t year = 1970;
    int month = 1, day = 1;
};

// The inverse of daysFromCivil.
constexpr CivilDate civilFromDays(std::int64_t days)
{
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDate d;
    d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.year = yoe + era * 400 + (d.month <= 2);
    return d;
}

// A date and time as the meter and its log carry them. year is the full year; -1 or 0 where
// the value carries none.
struct LogDateTime
{
    std::int32_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    friend bool operator==(const LogDateTime &, const LogDateTime &) = default;
};

// "year-month-day hour:minute:second" ("/" may stand for "-") into its fields. What cannot
// be read is left 0: the date fields are stored together, then hour and minute, then second.
LogDateTime ParseDateTime(std::string_view text);

// "YYYY-MM-DD hh:mm:ss"; year -1 counts as 0 and years 1 to 99 are in this century.
std::string FormatDateTime(const LogDateTime &dt);

// A local date and time as "yyyy-mm-dd hh:mm:ss".
std::string FormatDateTimeVB(Clock::TimePoint t);

// The year with at least four digits.
std::string PadYear(std::int32_t year);

// The first complaint about a date/time, "" when it is acceptable.
std::string ValidateDateTime(const LogDateTime &dt);

}  // namespace tellumic
