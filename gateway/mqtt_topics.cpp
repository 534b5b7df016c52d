#include "gateway/mqtt_topics.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace tellumic::gateway {

namespace {

constexpr double kWattHoursPerKilo = 1000;

struct SensorKind
{
    std::string_view deviceClass;
    std::string_view unit;  // "" for none
};

SensorKind kindOf(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Power:
    case Quantity::Demand:
    case Quantity::PeakDemand: return {"power", "W"};
    case Quantity::ReactivePower: return {"reactive_power", "var"};
    case Quantity::ReactiveEnergy: return {"reactive_energy", "kvarh"};
    case Quantity::Voltage: return {"voltage", "V"};
    case Quantity::Current: return {"current", "A"};
    case Quantity::Frequency: return {"frequency", "Hz"};
    case Quantity::PowerFactor: return {"power_factor", ""};
    default: return {"energy", "kWh"};
    }
}

std::string number(double v)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string meterKey(const MeterReading &meter)
{
    return "tellumic_" + topicLevel(meter.neuronId);
}

std::string sensorName(const MeterPoint &point)
{
    std::string name(quantityName(point.quantity));
    for (auto &c : name)
        c = c == '_' ? ' ' : c;
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (point.phase != Phase::Total)
        name += " " + std::string(1, static_cast<char>(std::toupper(phaseName(point.phase)[0])));
    return name;
}

}  // namespace

std::string topicLevel(std::string_view name)
{
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        }
    }
    return out.empty() ? "%" : out;
}

std::string gatewayStatusTopic()
{
    return std::string(kTopicPrefix) + "/gateway/status";
}

std::string availabilityTopic(const MeterReading &meter)
{
    return std::string(kTopicPrefix) + "/" + topicLevel(meter.network) + "/" + topicLevel(meter.name) + "/availability";
}

std::string sensorKey(const MeterPoint &point)
{
    std::string key(quantityName(point.quantity));
    if (point.phase != Phase::Total)
        key += "_" + std::string(phaseName(point.phase));
    return key;
}

std::string stateTopic(const MeterReading &meter, const MeterPoint &point)
{
    return std::string(kTopicPrefix) + "/" + topicLevel(meter.network) + "/" + topicLevel(meter.name) + "/" +
           sensorKey(point);
}

std::string discoveryTopic(const MeterReading &meter, const MeterPoint &point)
{
    return std::string(kDiscoveryPrefix) + "/sensor/" + meterKey(meter) + "/" + sensorKey(point) + "/config";
}

std::string statePayload(const MeterPoint &point, double value)
{
    return number(isEnergyTotal(point.quantity) ? value / kWattHoursPerKilo : value);
}

std::string discoveryPayload(const MeterReading &meter, const MeterPoint &point, std::string_view gatewayVersion)
{
    const auto kind = kindOf(point.quantity);
    nlohmann::ordered_json device = {{"identifiers", {meterKey(meter)}},
                                     {"name", meter.name},
                                     {"manufacturer", "Tellumic"},
                                     {"model", meter.model}};
    if (!meter.firmware.empty())
        device["sw_version"] = meter.firmware;
    nlohmann::ordered_json config = {
        {"name", sensorName(point)},
        {"unique_id", meterKey(meter) + "_" + sensorKey(point)},
        {"object_id", meterKey(meter) + "_" + sensorKey(point)},
        {"state_topic", stateTopic(meter, point)},
        {"availability", {{{"topic", gatewayStatusTopic()}}, {{"topic", availabilityTopic(meter)}}}},
        {"availability_mode", "all"},
        {"device_class", kind.deviceClass},
        {"state_class", isEnergyTotal(point.quantity) ? "total_increasing" : "measurement"},
    };
    if (!kind.unit.empty())
        config["unit_of_measurement"] = kind.unit;
    config["device"] = device;
    config["origin"] = {{"name", "tellumic-gateway"}, {"sw_version", gatewayVersion}};
    return config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tellumic::gateway
