#include "gateway/meter_points.h"

#include <array>
#include <string>

#include "model/catalogue_families.h"
#include "model/product_tables.h"

namespace tellumic::gateway {

namespace {

struct Stem
{
    std::string_view stem;  // the NV name without "nvo" and without its phase
    Quantity quantity;
    bool perPhase;  // the stem takes a phase: "[0]" or "A"
};

// The stems of the four families' output NVs (families 302 and 312 index phases, the
// others letter them).
constexpr std::array kStems = {
    Stem{"PowerSum", Quantity::Power, false},
    Stem{"Power", Quantity::Power, true},
    Stem{"ReacPwrSum", Quantity::ReactivePower, false},
    Stem{"ReacPwr", Quantity::ReactivePower, true},
    Stem{"Demand", Quantity::Demand, false},
    Stem{"PkDemand", Quantity::PeakDemand, false},
    Stem{"DemandPk", Quantity::PeakDemand, false},
    Stem{"EnergySum", Quantity::Energy, false},
    Stem{"Energy", Quantity::Energy, true},
    Stem{"EngyPosSum", Quantity::EnergyImport, false},
    Stem{"EnergySumNR", Quantity::EnergyNonResettable, false},
    Stem{"EngyPosSumNR", Quantity::EnergyImportNonResettable, false},
    Stem{"ReacEngySum", Quantity::ReactiveEnergy, false},
    Stem{"Volts", Quantity::Voltage, true},
    Stem{"Current", Quantity::Current, true},
    Stem{"Freq", Quantity::Frequency, false},
    Stem{"PFavg", Quantity::PowerFactor, false},
    Stem{"PfAvg", Quantity::PowerFactor, false},
    Stem{"PF", Quantity::PowerFactor, true},
    Stem{"Pf", Quantity::PowerFactor, true},
};

const Stem *findStem(std::string_view stem, bool perPhase)
{
    for (const auto &s : kStems)
        if (s.stem == stem && s.perPhase == perPhase)
            return &s;
    return nullptr;
}

std::optional<Phase> phaseOf(char c)
{
    switch (c) {
    case '0': case 'A': return Phase::A;
    case '1': case 'B': return Phase::B;
    case '2': case 'C': return Phase::C;
    default: return std::nullopt;
    }
}

}  // namespace

std::string_view quantityName(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Power: return "power";
    case Quantity::ReactivePower: return "reactive_power";
    case Quantity::Demand: return "demand";
    case Quantity::PeakDemand: return "peak_demand";
    case Quantity::Energy: return "energy";
    case Quantity::EnergyImport: return "energy_import";
    case Quantity::EnergyNonResettable: return "energy_nonresettable";
    case Quantity::EnergyImportNonResettable: return "energy_import_nonresettable";
    case Quantity::ReactiveEnergy: return "reactive_energy";
    case Quantity::Voltage: return "voltage";
    case Quantity::Current: return "current";
    case Quantity::Frequency: return "frequency";
    case Quantity::PowerFactor: return "power_factor";
    }
    return "";
}

std::string_view phaseName(Phase phase)
{
    switch (phase) {
    case Phase::Total: return "";
    case Phase::A: return "a";
    case Phase::B: return "b";
    case Phase::C: return "c";
    }
    return "";
}

SiUnit quantityUnit(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Power:
    case Quantity::ReactivePower:
    case Quantity::Demand:
    case Quantity::PeakDemand: return SiUnit::Watt;
    case Quantity::Voltage: return SiUnit::Volt;
    case Quantity::Current: return SiUnit::Ampere;
    case Quantity::Frequency: return SiUnit::Hertz;
    case Quantity::PowerFactor: return SiUnit::None;
    default: return SiUnit::WattHour;
    }
}

bool isReactive(Quantity quantity)
{
    return quantity == Quantity::ReactivePower || quantity == Quantity::ReactiveEnergy;
}

bool isEnergyTotal(Quantity quantity)
{
    return quantityUnit(quantity) == SiUnit::WattHour;
}

std::optional<MeterPoint> meterPoint(std::string_view nvName)
{
    if (nvName.substr(0, 3) != "nvo")
        return std::nullopt;
    const auto rest = nvName.substr(3);
    if (const auto *s = findStem(rest, false))
        return MeterPoint{std::string(nvName), s->quantity, Phase::Total};
    std::string_view stem;
    char phase = 0;
    if (rest.size() > 3 && rest.substr(rest.size() - 3, 1) == "[" && rest.back() == ']') {
        stem = rest.substr(0, rest.size() - 3);
        phase = rest[rest.size() - 2];
    } else if (rest.size() > 1 && (rest.back() == 'A' || rest.back() == 'B' || rest.back() == 'C')) {
        stem = rest.substr(0, rest.size() - 1);
        phase = rest.back();
    }
    const auto *s = findStem(stem, true);
    const auto p = phaseOf(phase);
    if (!s || !p)
        return std::nullopt;
    return MeterPoint{std::string(nvName), s->quantity, *p};
}

std::vector<MeterPoint> meterPoints(std::string_view programId)
{
    const auto *meter = findProgramId(programId);
    if (!meter || meter->ProgramId != programId)
        return {};
    auto family = CatalogueFamilyRows::F302;
    switch (meter->family) {
    case CatalogueFamily::F302: family = CatalogueFamilyRows::F302; break;
    case CatalogueFamily::F312: family = CatalogueFamilyRows::F312; break;
    case CatalogueFamily::F362: family = CatalogueFamilyRows::F362; break;
    case CatalogueFamily::F363: family = CatalogueFamilyRows::F363; break;
    }
    std::vector<MeterPoint> points;
    for (const auto &row : familyRows(family, meter->logging, meter->ptRatio)) {
        if (std::string_view(row.kind) != "NVO")
            continue;
        if (auto point = meterPoint(row.name))
            points.push_back(std::move(*point));
    }
    return points;
}

}  // namespace tellumic::gateway
