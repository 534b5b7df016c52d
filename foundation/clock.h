#pragma once

#include <chrono>
#include <cstdint>

namespace tellumic {

// Wall-clock time for everything that waits, stamps or paces: tests run a ManualClock so
// that seconds and minutes pass instantly.
class Clock
{
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock
{
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

class ManualClock final : public Clock
{
public:
    explicit ManualClock(TimePoint start = TimePoint{}) : m_now(start) {}
    TimePoint now() const override { return m_now; }
    void set(TimePoint t) { m_now = t; }
    void advance(std::chrono::nanoseconds d) { m_now += std::chrono::duration_cast<TimePoint::duration>(d); }

private:
    TimePoint m_now;
};

// The process's clock: the system clock unless a test or the composition root put another.
Clock &processClock();
void setProcessClock(Clock *clock);  // nullptr restores the system clock

// A time point broken down in the local time zone.
struct LocalTime
{
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalTime toLocalTime(Clock::TimePoint t);
// The local time of the given fields (normalised as mktime does).
Clock::TimePoint fromLocalTime(const LocalTime &t);
// Local date and time from year, month, day, hour, minute, second.
inline Clock::TimePoint localTimePoint(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return fromLocalTime(LocalTime{y, mo, d, h, mi, s, ms});
}

}  // namespace tellumic
