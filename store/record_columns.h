#pragma once

// The value columns of an interval record, in the order of the CSV line, shared by the
// back-ends: each is an integer (energies in tenths of a kWh or kVARh, log seconds, flags) or
// a single float (NULL where the line shows "NaN"). Long-only columns are NULL for short
// records.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_csv.h"

namespace tellumic::store {

inline constexpr int kValueColumnCount = 27;

// The meters table's record_format.
inline const char *formatName(bool isShort)
{
    return isShort ? "short" : "long";
}

// Calls f(name, field, longOnly) for every value column; field is an std::int32_t, float or
// std::uint8_t reference into v.
template <typename Values, typename F>
void forEachValueColumn(Values &v, F &&f)
{
    f(std::string_view("energy_sum"), v.energySum, false);
    f(std::string_view("demand"), v.demand, false);
    f(std::string_view("energy_pos_sum"), v.energyPosSum, true);
    f(std::string_view("energy_a"), v.energy[0], true);
    f(std::string_view("energy_b"), v.energy[1], true);
    f(std::string_view("energy_c"), v.energy[2], true);
    f(std::string_view("reac_energy_sum"), v.reacEnergySum, true);
    f(std::string_view("power_sum"), v.powerSum, true);
    f(std::string_view("power_a"), v.power[0], true);
    f(std::string_view("power_b"), v.power[1], true);
    f(std::string_view("power_c"), v.power[2], true);
    f(std::string_view("reac_power_sum"), v.reacPowerSum, true);
    f(std::string_view("reac_power_a"), v.reacPower[0], true);
    f(std::string_view("reac_power_b"), v.reacPower[1], true);
    f(std::string_view("reac_power_c"), v.reacPower[2], true);
    f(std::string_view("volts_a"), v.volts[0], true);
    f(std::string_view("volts_b"), v.volts[1], true);
    f(std::string_view("volts_c"), v.volts[2], true);
    f(std::string_view("current_a"), v.current[0], true);
    f(std::string_view("current_b"), v.current[1], true);
    f(std::string_view("current_c"), v.current[2], true);
    f(std::string_view("pf_a"), v.pf[0], true);
    f(std::string_view("pf_b"), v.pf[1], true);
    f(std::string_view("pf_c"), v.pf[2], true);
    f(std::string_view("frequency"), v.frequency, true);
    f(std::string_view("log_seconds"), v.logSeconds, false);
    f(std::string_view("flags"), v.flags, false);
}

// "YYYY-MM-DD hh:mm:ss" of a record's time (years 1 to 9999).
std::string recordTimeText(const LogDateTime &dt);
// The same text into out, which takes its kRecordTimeSize characters, without an allocation.
inline constexpr std::size_t kRecordTimeSize = 19;
void writeRecordTime(const LogDateTime &dt, char *out);
// The inverse; false when the text is not such a time.
bool readRecordTime(std::string_view text, LogDateTime &dt);

}  // namespace tellumic::store
