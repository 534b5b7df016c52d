#include "logview/time_ticks.h"

#include <cmath>

namespace tellumic::logview {

namespace {

constexpr CivilSeconds kMinute = 60, kHour = 3600, kDay = kSecondsPerDay;
// Steps of up to a day divide the day, so ticks fall on the same times every day.
constexpr CivilSeconds kSteps[] = {kMinute,     2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute,
                                   30 * kMinute, kHour,      2 * kHour,   3 * kHour,    6 * kHour,
                                   12 * kHour,  kDay,        2 * kDay,    7 * kDay};
constexpr std::int64_t kMonthSteps[] = {1, 3, 6, 12, 24, 60, 120};
// 1970-01-05, the first Monday of the calendar's count.
constexpr CivilSeconds kFirstMonday = 4 * kDay;

CivilSeconds ceilTo(double t, CivilSeconds step, CivilSeconds origin)
{
    return origin + static_cast<CivilSeconds>(std::ceil((t - static_cast<double>(origin)) / static_cast<double>(step))) * step;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b)
{
    return -floorDiv(-a, b);
}

std::int64_t pow10(std::size_t n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// The i-th step in months: 1, 3, 6 months, 1, 2, 5, 10 years, then 20, 50, 100, 200 ... years.
constexpr std::size_t kMaxMonthSteps = std::size(kMonthSteps) + 3 * 15;
std::int64_t monthStep(std::size_t i)
{
    if (i < std::size(kMonthSteps))
        return kMonthSteps[i];
    constexpr std::int64_t kMantissas[] = {2, 5, 10};
    const std::size_t k = i - std::size(kMonthSteps);
    return 120 * kMantissas[k % 3] * pow10(k / 3);
}

std::string label(CivilSeconds t, CivilSeconds step)
{
    const std::string s = formatCivil(t);
    if (step < kDay)
        return s.substr(11, 5) + "\n" + s.substr(0, 10);
    return s.substr(0, 10);
}

}  // namespace

std::vector<TimeTick> timeTicks(TimeRange range, int widthPx, int minSpacingPx)
{
    std::vector<TimeTick> ticks;
    if (widthPx <= 0 || !(range.end > range.start))
        return ticks;
    const double minStep = range.length() * minSpacingPx / widthPx;
    for (const CivilSeconds step : kSteps) {
        if (static_cast<double>(step) < minStep)
            continue;
        const CivilSeconds origin = step == 7 * kDay ? kFirstMonday : 0;
        for (CivilSeconds t = ceilTo(range.start, step, origin); static_cast<double>(t) <= range.end; t += step)
            ticks.push_back({t, label(t, step)});
        return ticks;
    }
    // Months and years: count months from the first of the month that holds the start. Past
    // ten years the steps go on 20, 50, 100, 200 ... years, so no range crowds its labels.
    const double monthLength = 30.44 * static_cast<double>(kDay);
    std::int64_t months = monthStep(0);
    for (std::size_t i = 1; static_cast<double>(months) * monthLength < minStep && i < kMaxMonthSteps; ++i)
        months = monthStep(i);
    const CivilFields f = civilFields(static_cast<CivilSeconds>(std::floor(range.start)));
    std::int64_t m = static_cast<std::int64_t>(f.year) * 12 + (f.month - 1);
    m = ceilDiv(m, months) * months;  // a multiple of the step: January for years
    for (;; m += months) {
        const CivilSeconds t = daysFromCivil(floorDiv(m, 12), static_cast<int>(m - floorDiv(m, 12) * 12) + 1, 1) * kDay;
        if (static_cast<double>(t) > range.end)
            break;
        if (static_cast<double>(t) >= range.start) {
            const std::string s = formatCivil(t);
            ticks.push_back({t, months % 12 == 0 ? s.substr(0, 4) : s.substr(0, 7)});
        }
    }
    return ticks;
}

}  // namespace tellumic::logview
