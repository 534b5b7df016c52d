#pragma once

// The order in which a harvest takes its meters, and when it tries a failed one again. A
// meter's first try comes in the network's order; a meter that failed (a communication
// failure, a transfer cut short) is tried again after every first try still waiting, and
// no sooner than its back-off after the failure: a glitch of the channel or a meter busy
// with something else has passed by then more often than not, and the other meters'
// records are not held up by one that keeps failing.

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "foundation/clock.h"

namespace tellumic {

// The wait before the n-th retry of a meter (n from 1): 10 s, 30 s, 60 s, 120 s and so on,
// doubling up to 10 minutes.
std::chrono::seconds harvestRetryDelay(int retry);

class RetrySchedule
{
public:
    // meters: how many; retries: how often each may be tried again after its first try.
    RetrySchedule(std::size_t meters, int retries);

    // The meter to take now, or when none is due the time the next one is; neither when
    // every meter is done.
    struct Turn
    {
        std::optional<std::size_t> meter;
        std::optional<Clock::TimePoint> waitUntil;
    };
    Turn next(Clock::TimePoint now) const;

    // A try of the meter begins (counted in tries()).
    void begin(std::size_t meter);
    // The try failed: true when another one is scheduled, false when the meter is done with.
    bool failed(std::size_t meter, Clock::TimePoint now);
    // The meter needs no further try (harvested, or a failure that a retry cannot mend).
    void done(std::size_t meter);

    int tries(std::size_t meter) const { return m_meters.at(meter).tries; }
    bool waiting(std::size_t meter) const { return !m_meters.at(meter).done; }

private:
    struct Entry
    {
        int tries = 0;
        bool done = false;
        std::size_t order = 0;  // first tries in the network's order, retries after them
        Clock::TimePoint due{};
    };
    std::vector<Entry> m_meters;
    int m_retries;
    std::size_t m_nextOrder;
};

}  // namespace tellumic
