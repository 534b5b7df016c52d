#pragma once

// Tick marks of the time axis at round times (whole minutes, hours, days, Mondays, months,
// years), spaced so that their labels do not crowd.

#include <string>
#include <vector>

#include "logview/civil_time.h"
#include "logview/log_data.h"

namespace tellumic::logview {

struct TimeTick
{
    CivilSeconds at;
    // "hh:mm" over "YYYY-MM-DD" (two lines, "\n" between) below a day; "YYYY-MM-DD",
    // "YYYY-MM" or "YYYY" above. No two ticks of one axis share a label.
    std::string label;
};

// Ticks inside the range for an axis widthPx pixels long, at least minSpacingPx apart.
std::vector<TimeTick> timeTicks(TimeRange range, int widthPx, int minSpacingPx = 110);

}  // namespace tellumic::logview
