#pragma once

// Records whose values cover every magnitude and sign at which the CSV formats change, and
// the values shown as "NaN", for tests that must see every line come back unchanged.

#include <cmath>
#include <limits>
#include <random>

#include "tests/log/record_bytes.h"

namespace tellumic::test {

// Floats over every magnitude the formats switch at, both signs, and the values shown "NaN".
inline float randomFloat(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> kind(0, 19);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    switch (kind(rng)) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return std::numeric_limits<float>::infinity();
    case 2: return 0.0f;
    case 3: return -0.0f;
    default: {
        const float magnitude = std::pow(10.0f, static_cast<float>(std::uniform_int_distribution<int>(-4, 9)(rng)));
        const float v = unit(rng) * magnitude;
        return kind(rng) % 3 == 0 ? -v : v;
    }
    }
}

inline LogRecord randomRecord(std::mt19937 &rng, std::int32_t n)
{
    LogRecord r = test::sampleRecord(n, false);
    std::uniform_int_distribution<std::int32_t> anyInt(std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::max());
    r.flags = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng)) & ~1u;
    r.logSeconds = std::uniform_int_distribution<std::int32_t>(0, 65535)(rng);
    r.energySum = anyInt(rng);
    r.energyPosSum = anyInt(rng);
    for (auto &e : r.energy)
        e = anyInt(rng) / (n % 2 ? 1 : 100000);
    r.reacEnergySum = anyInt(rng);
    r.demand = randomFloat(rng);
    for (auto *group : {&r.volts, &r.power, &r.reacPower})
        for (float &v : *group)
            v = randomFloat(rng);
    r.frequency = randomFloat(rng);
    r.crcGood = true;
    return r;
}

}  // namespace tellumic::test
