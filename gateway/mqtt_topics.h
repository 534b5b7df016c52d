#pragma once

// The gateway's MQTT layout. Every topic is retained:
//   PREFIX/gateway/status                             "online", or "offline" (also its last will)
//   PREFIX/NETWORK/METER/availability                 "online" or "offline"
//   PREFIX/NETWORK/METER/QUANTITY[_PHASE]             the value in the unit its discovery config names
//   homeassistant/sensor/tellumic_NEURONID/QUANTITY[_PHASE]/config   the sensor's discovery config
// Network and meter names are percent-encoded in topics (anything but letters, digits, "-",
// "_" and "." becomes %XX), so "/", "#", "+", quotes and line feeds cannot add levels or
// wildcards.

#include <string>
#include <string_view>

#include "gateway/gateway_core.h"

namespace tellumic::gateway {

inline constexpr std::string_view kTopicPrefix = "tellumic";
inline constexpr std::string_view kDiscoveryPrefix = "homeassistant";

std::string topicLevel(std::string_view name);
std::string gatewayStatusTopic();
std::string availabilityTopic(const MeterReading &meter);
// "power", "power_a", ...
std::string sensorKey(const MeterPoint &point);
std::string stateTopic(const MeterReading &meter, const MeterPoint &point);
std::string discoveryTopic(const MeterReading &meter, const MeterPoint &point);

// The value in the sensor's unit (energy in kWh and kvarh), as text.
std::string statePayload(const MeterPoint &point, double value);
// The sensor's Home Assistant discovery config, as compact JSON.
std::string discoveryPayload(const MeterReading &meter, const MeterPoint &point, std::string_view gatewayVersion);

}  // namespace tellumic::gateway
