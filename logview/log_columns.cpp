#include "logview/log_columns.h"

namespace tellumic::logview {

namespace {

constexpr ChartGroupInfo kGroups[] = {
    {ChartGroup::Demand, "Demand", "Watt", false},
    {ChartGroup::Energy, "Interval energy", "kWh", false},
    {ChartGroup::Power, "Real power", "Watt", true},
    {ChartGroup::ReactivePower, "Reactive power", "VAR", true},
    {ChartGroup::Volts, "Voltage", "Volt", true},
    {ChartGroup::Current, "Current", "Amp", true},
    {ChartGroup::PowerFactor, "Power factor", "", true},
    {ChartGroup::Frequency, "Frequency", "Hz", true},
};
static_assert(std::size(kGroups) == kChartGroupCount);

}  // namespace

const ChartGroupInfo &chartGroupInfo(ChartGroup g)
{
    return kGroups[static_cast<std::size_t>(g)];
}

}  // namespace tellumic::logview
