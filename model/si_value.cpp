#include "model/si_value.h"

#include <array>
#include <cmath>

#include "foundation/text.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

struct FormatScale
{
    std::string_view type;
    double factor;
    SiUnit unit;
};

// The value texts of the object server are in each type's own unit.
constexpr std::array kScales = {
    FormatScale{"SNVT_power_f", 1, SiUnit::Watt},        FormatScale{"SNVT_power", 1, SiUnit::Watt},
    FormatScale{"SNVT_power_kilo", 1000, SiUnit::Watt},  FormatScale{"SNVT_elec_whr_f", 1, SiUnit::WattHour},
    FormatScale{"SNVT_elec_kwh", 1000, SiUnit::WattHour}, FormatScale{"SNVT_elec_kwh_l", 1000, SiUnit::WattHour},
    FormatScale{"UNVT_elec_kwh_l", 1000, SiUnit::WattHour}, FormatScale{"SNVT_volt_f", 1, SiUnit::Volt},
    FormatScale{"SNVT_volt", 1, SiUnit::Volt},           FormatScale{"SNVT_volt_ac", 1, SiUnit::Volt},
    FormatScale{"SNVT_amp_f", 1, SiUnit::Ampere},        FormatScale{"SNVT_amp", 1, SiUnit::Ampere},
    FormatScale{"SNVT_amp_ac", 1, SiUnit::Ampere},       FormatScale{"SNVT_freq_f", 1, SiUnit::Hertz},
    FormatScale{"SNVT_freq_hz", 1, SiUnit::Hertz},       FormatScale{"SNVT_pwr_fact_f", 1, SiUnit::None},
    FormatScale{"SNVT_pwr_fact", 1, SiUnit::None},
};

}  // namespace

std::optional<SiValue> siValue(std::string_view value, std::string_view formatName)
{
    const auto type = formatName.substr(0, formatName.find('#'));
    if (type == "RAW") {
        const auto tenths = rawEnergyTenths(value);
        if (!tenths)
            return std::nullopt;
        return SiValue{*tenths * 100.0, SiUnit::WattHour};
    }
    for (const auto &scale : kScales) {
        if (scale.type != type)
            continue;
        const auto v = parseDouble(value);
        if (!v || !std::isfinite(*v))
            return std::nullopt;
        return SiValue{*v * scale.factor, scale.unit};
    }
    return std::nullopt;
}

}  // namespace tellumic
