#include "gateway/metrics_text.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace tellumic::gateway {

namespace {

constexpr double kJoulesPerWattHour = 3600;

std::string number(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string_view help(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Power: return "Real power, per phase and in total.";
    case Quantity::ReactivePower: return "Reactive power, per phase and in total.";
    case Quantity::Demand: return "Demand over the meter's demand period.";
    case Quantity::PeakDemand: return "Peak demand since the last reset.";
    case Quantity::Energy: return "Real energy, per phase and in total.";
    case Quantity::EnergyImport: return "Real energy imported.";
    case Quantity::EnergyNonResettable: return "Real energy, not resettable.";
    case Quantity::EnergyImportNonResettable: return "Real energy imported, not resettable.";
    case Quantity::ReactiveEnergy: return "Reactive energy.";
    case Quantity::Voltage: return "Voltage per phase.";
    case Quantity::Current: return "Current per phase.";
    case Quantity::Frequency: return "Line frequency.";
    case Quantity::PowerFactor: return "Power factor, per phase and on average.";
    }
    return "";
}

std::string labels(const MeterReading &meter, Phase phase)
{
    std::string text = "{network=\"" + escapeLabelValue(meter.network) + "\",meter=\"" + escapeLabelValue(meter.name) + "\"";
    if (phase != Phase::Total)
        text += ",phase=\"" + std::string(phaseName(phase)) + "\"";
    return text + "}";
}

void writeQuantity(std::ostream &out, const Gateway &gateway, Quantity quantity)
{
    const std::string name = metricName(quantity);
    std::ostringstream samples;
    for (const auto &meter : gateway.meters()) {
        if (!meter.online)
            continue;  // no stale values: the up gauge says why
        for (const auto &[index, value] : meter.values) {
            const auto &point = meter.points[index];
            if (point.quantity != quantity)
                continue;
            samples << name << labels(meter, point.phase) << ' '
                    << number(isEnergyTotal(quantity) ? value * kJoulesPerWattHour : value) << '\n';
        }
    }
    if (samples.str().empty())
        return;
    out << "# HELP " << name << ' ' << help(quantity) << '\n'
        << "# TYPE " << name << ' ' << (isEnergyTotal(quantity) ? "counter" : "gauge") << '\n'
        << samples.str();
}

void writeFigure(std::ostream &out, std::string_view name, std::string_view helpText, std::uint64_t value)
{
    out << "# HELP " << name << ' ' << helpText << '\n'
        << "# TYPE " << name << " counter\n"
        << name << ' ' << value << '\n';
}

}  // namespace

std::string metricName(Quantity quantity)
{
    const std::string base = "tellumic_meter_" + std::string(quantityName(quantity));
    if (isEnergyTotal(quantity))
        return base + (isReactive(quantity) ? "_var_seconds_total" : "_joules_total");
    switch (quantityUnit(quantity)) {
    case SiUnit::Watt: return base + (isReactive(quantity) ? "_vars" : "_watts");
    case SiUnit::Volt: return base + "_volts";
    case SiUnit::Ampere: return base + "_amperes";
    case SiUnit::Hertz: return base + "_hertz";
    default: return base + "_ratio";
    }
}

std::string escapeLabelValue(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string metricsText(const Gateway &gateway)
{
    std::ostringstream out;
    for (int q = 0; q <= static_cast<int>(Quantity::PowerFactor); ++q)
        writeQuantity(out, gateway, static_cast<Quantity>(q));
    out << "# HELP tellumic_meter_up Whether the meter answers and is configured on-line (1) or not (0).\n"
        << "# TYPE tellumic_meter_up gauge\n";
    for (const auto &meter : gateway.meters())
        out << "tellumic_meter_up" << labels(meter, Phase::Total) << ' ' << (meter.online ? 1 : 0) << '\n';
    const auto &f = gateway.figures();
    writeFigure(out, "tellumic_gateway_updates_received_total", "NV updates the object server delivered.",
                f.updatesReceived);
    writeFigure(out, "tellumic_gateway_update_errors_total", "NV updates that failed.", f.updateErrors);
    writeFigure(out, "tellumic_gateway_values_refused_total", "Updates in a type that gives no value in base units.",
                f.valuesRefused);
    writeFigure(out, "tellumic_gateway_messages_published_total", "MQTT messages published.", f.messagesPublished);
    writeFigure(out, "tellumic_gateway_device_calls_total", "Calls the gateway made on the meters (rate() gives them per second).",
                f.deviceCalls);
    return out.str();
}

}  // namespace tellumic::gateway
