#include "log/harvest_retry.h"

#include <algorithm>

namespace tellumic {

std::chrono::seconds harvestRetryDelay(int retry)
{
    using namespace std::chrono_literals;
    if (retry <= 1)
        return 10s;
    constexpr std::chrono::seconds kLongest = 10min;
    std::chrono::seconds delay = 30s;
    for (int n = 2; n < retry && delay < kLongest; ++n)
        delay *= 2;
    return std::min(delay, kLongest);
}

RetrySchedule::RetrySchedule(std::size_t meters, int retries)
    : m_meters(meters), m_retries(std::max(retries, 0)), m_nextOrder(meters)
{
    for (std::size_t i = 0; i < meters; ++i)
        m_meters[i].order = i;
}

RetrySchedule::Turn RetrySchedule::next(Clock::TimePoint now) const
{
    Turn turn;
    const Entry *best = nullptr;
    for (std::size_t i = 0; i < m_meters.size(); ++i) {
        const Entry &e = m_meters[i];
        if (e.done)
            continue;
        if (e.due <= now) {
            if (!best || e.order < best->order) {
                best = &e;
                turn.meter = i;
            }
        } else if (!turn.waitUntil || e.due < *turn.waitUntil) {
            turn.waitUntil = e.due;
        }
    }
    if (turn.meter)
        turn.waitUntil.reset();
    return turn;
}

void RetrySchedule::begin(std::size_t meter)
{
    ++m_meters.at(meter).tries;
}

bool RetrySchedule::failed(std::size_t meter, Clock::TimePoint now)
{
    Entry &e = m_meters.at(meter);
    if (e.tries > m_retries) {
        e.done = true;
        return false;
    }
    e.order = m_nextOrder++;
    e.due = now + harvestRetryDelay(e.tries);
    return true;
}

void RetrySchedule::done(std::size_t meter)
{
    m_meters.at(meter).done = true;
}

}  // namespace tellumic
