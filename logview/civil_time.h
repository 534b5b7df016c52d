#pragma once

// Times of the log as the meter wrote them. A record's "YYYY-MM-DD hh:mm:ss" is taken as a
// count of seconds on one civil calendar with no time zone, so a log plots by the times
// written in it whatever zone or daylight-saving rule the PC follows.

#include <cstdint>
#include <string>
#include <string_view>

namespace tellumic::logview {

using CivilSeconds = std::int64_t;

inline constexpr CivilSeconds kSecondsPerDay = 86400;

struct CivilFields
{
    std::int32_t year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
constexpr std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<std::int64_t>(y - era * 400);
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int daysInMonth(std::int64_t year, int month);

CivilFields civilFields(CivilSeconds s);
CivilSeconds civilSeconds(const CivilFields &f);

// "YYYY-MM-DD hh:mm:ss" exactly (the CSV's DateTime column); false for any other text or
// a date that does not exist.
bool parseCivil(std::string_view text, CivilSeconds &out);

// "YYYY-MM-DD hh:mm:ss", "YYYY-MM-DD hh:mm" and "YYYY-MM-DD".
std::string formatCivil(CivilSeconds s);
std::string formatCivilMinutes(CivilSeconds s);
std::string formatCivilDate(CivilSeconds s);

// Midnight at the start of the day that holds s.
CivilSeconds dayStart(CivilSeconds s);

}  // namespace tellumic::logview
