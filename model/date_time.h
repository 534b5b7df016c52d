#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/clock.h"

namespace tellumic {

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
