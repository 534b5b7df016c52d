#pragma once

// Times of the log as the meter wrote them. A record's "YYYY-MM-DD hh:mm:ss" is taken as a
// count of seconds on one civil calendar with no time zone, so a log plots by the times
// written in it whatever zone or daylight-saving rule the PC follows.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/date_time.h"

namespace tellumic::logview {

using CivilSeconds = std::int64_t;

inline constexpr CivilSeconds kSecondsPerDay = 86400;

struct CivilFields
{
    std::int32_t year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

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
