#pragma once

#include <optional>
#include <string_view>

namespace tellumic {

// The base unit an NV's value is given in once converted: watts (real and reactive power,
// demand), watt-hours, volts, amperes, hertz, or none (power factor).
enum class SiUnit { Watt, WattHour, Volt, Ampere, Hertz, None };

struct SiValue
{
    double value = 0;
    SiUnit unit = SiUnit::None;
};

// An NV's value text in the base unit of its quantity, read with the format the NV has now
// ("SNVT_power_kilo" is kilowatts, "SNVT_elec_kwh_l" kilowatt-hours, "RAW" energy 0.1 kWh).
// Nothing for a format that is not a meter value's or for text that is not a number, so
// that no value is ever given in the wrong unit.
std::optional<SiValue> siValue(std::string_view value, std::string_view formatName);

}  // namespace tellumic
