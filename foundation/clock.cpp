#include "foundation/clock.h"

#include <ctime>

namespace tellumic {

namespace {
SystemClock g_systemClock;
Clock *g_clock = &g_systemClock;
}  // namespace

Clock &processClock()
{
    return *g_clock;
}

void setProcessClock(Clock *clock)
{
    g_clock = clock ? clock : &g_systemClock;
}

LocalTime toLocalTime(Clock::TimePoint t)
{
    using namespace std::chrono;
    const auto secs = floor<seconds>(t);
    const std::time_t tt = system_clock::to_time_t(secs);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                     static_cast<int>(duration_cast<milliseconds>(t - secs).count())};
}

Clock::TimePoint fromLocalTime(const LocalTime &t)
{
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    const std::time_t tt = std::mktime(&tm);
    return std::chrono::system_clock::from_time_t(tt) + std::chrono::milliseconds(t.millisecond);
}

}  // namespace tellumic
