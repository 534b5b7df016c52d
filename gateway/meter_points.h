#pragma once

// What the gateway publishes of a meter: the live values its family shows in the device
// window, each an output NV of the family's catalogue named by quantity and phase.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/si_value.h"

namespace tellumic::gateway {

enum class Quantity {
    Power,
    ReactivePower,
    Demand,
    PeakDemand,
    Energy,
    EnergyImport,
    EnergyNonResettable,
    EnergyImportNonResettable,
    ReactiveEnergy,
    Voltage,
    Current,
    Frequency,
    PowerFactor,
};

enum class Phase { Total, A, B, C };

struct MeterPoint
{
    std::string nvName;
    Quantity quantity = Quantity::Power;
    Phase phase = Phase::Total;
};

// "power", "reactive_power", "energy_import", ...: the quantity's name in topics and metrics.
std::string_view quantityName(Quantity quantity);
// "", "a", "b", "c".
std::string_view phaseName(Phase phase);
// The base unit its values come in (reactive power and energy in watts and watt-hours, as
// the object server gives them; the targets name them var and varh).
SiUnit quantityUnit(Quantity quantity);
bool isReactive(Quantity quantity);
// Energy totals only grow (a reset aside); the rest are measurements.
bool isEnergyTotal(Quantity quantity);

// The quantity and phase an output NV of any family holds, or nothing for another NV.
std::optional<MeterPoint> meterPoint(std::string_view nvName);

// The points of a supported meter's family, in catalogue order; empty for another
// program ID (compared exactly, as the device window does).
std::vector<MeterPoint> meterPoints(std::string_view programId);

}  // namespace tellumic::gateway
