#pragma once

// The gateway's values in Prometheus' text exposition format (version 0.0.4): one metric
// per quantity in base units, labelled by network, meter and phase; an up gauge per meter;
// the gateway's own figures.

#include <string>
#include <string_view>

#include "gateway/gateway_core.h"

namespace tellumic::gateway {

// "tellumic_meter_power_watts", "tellumic_meter_energy_joules_total", ...
std::string metricName(Quantity quantity);
// A label value with backslash, double quote and line feed escaped as the format asks.
std::string escapeLabelValue(std::string_view value);

std::string metricsText(const Gateway &gateway);

}  // namespace tellumic::gateway
