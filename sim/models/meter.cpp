#include "sim/models/meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"
#include "sim/models/meter_state.h"

namespace tellumic::sim {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDay = 86400.0;
constexpr double kRipple = 7200.0;

// The meter's true gains differ from the nominal constants by its component tolerances.
constexpr std::array<double, 3> kPowerTolerance{0.008, -0.005, 0.003};
constexpr std::array<double, 3> kVoltTolerance{-0.004, 0.006, 0.002};
// The reactive gain follows the real-power gain by this fixed ratio.
constexpr double kReactiveRatio = 1.012362;
// Each phase's share of the line voltage and its power factor under the normal load.
constexpr std::array<double, 3> kVoltOffset{0.004, -0.003, 0.001};
constexpr std::array<double, 3> kPowerFactor{0.96, 0.95, 0.97};
constexpr std::array<double, 3> kRipplePhase{0.0, 2.1, 4.2};


double loadFraction(std::size_t phase, double s)
{
    return 0.45 + 0.25 * std::sin(kTwoPi * (s / kDay - 0.375)) + 0.05 * std::sin(kTwoPi * s / kRipple + kRipplePhase[phase]);
}

// The integral of loadFraction from 0 to s, in seconds.
double loadIntegral(std::size_t phase, double s)
{
    return 0.45 * s - 0.25 * kDay / kTwoPi * std::cos(kTwoPi * (s / kDay - 0.375)) -
           0.05 * kRipple / kTwoPi * std::cos(kTwoPi * s / kRipple + kRipplePhase[phase]);
}


}  // namespace

Meter::Meter(MeterLayout layout, InterfaceDef interfaceDef)
    : m_layout(std::move(layout)), m_interface(std::move(interfaceDef))
{
}

namespace {

struct Params
{
    double ctAmps = 100, nominalVolts = 120;
    std::array<double, 3> calPower{10000, 10000, 10000}, calReactive{10000, 10000, 10000}, calVolt{10000, 10000, 10000};
    double ptRatio = 1;  // the potential transformer's ratio scales voltages and powers
    // On the calibration bench each phase draws a constant load instead of the day's.
    bool bench = false;
    std::array<PhaseLoad, 3> benchLoad{};
    double gain(std::size_t i) const { return ptRatio * calPower[i] / (10000.0 * (1 + kPowerTolerance[i])); }
    double reactiveGain(std::size_t i) const
    {
        return ptRatio * calReactive[i] / (10000.0 * kReactiveRatio * (1 + kPowerTolerance[i]));
    }
    double voltGain(std::size_t i) const { return ptRatio * calVolt[i] / (10000.0 * (1 + kVoltTolerance[i])); }
};

// The meter sits on the bench while it is unlocked for calibration, and whenever a reference
// source is connected to one of its phases. A phase without a reference source of its own
// draws the rated current at the nominal voltage and unity power factor.
void setBench(Params &p, DeviceState &state, const InterfaceDef &interfaceDef, bool unlocked)
{
    MeterStore store(state, interfaceDef);
    const auto reference = store.referenceLoads();
    p.bench = unlocked || std::any_of(reference.begin(), reference.end(), [](const auto &l) { return l.has_value(); });
    for (std::size_t i = 0; i < 3; ++i)
        p.benchLoad[i] = reference[i].value_or(PhaseLoad{p.nominalVolts, p.ctAmps, 1.0});
}

Params paramsOf(DeviceState &state, const InterfaceDef &interfaceDef, const MeterLayout &layout)
{
    MeterStore store(state, interfaceDef);
    Params p;
    p.ctAmps = store.nvNumber(layout.name(Role::CtAmps), 100);
    if (layout.nodeBlock)
        p.ptRatio = store.cpNumber(*layout.nodeBlock, "UCPTptRatio", 1);
    if (!layout.calBlock) {
        // A meter without calibration properties was calibrated at the factory.
        for (std::size_t i = 0; i < 3; ++i) {
            p.calPower[i] = 10000.0 * (1 + kPowerTolerance[i]);
            p.calReactive[i] = p.calPower[i] * kReactiveRatio;
            p.calVolt[i] = 10000.0 * (1 + kVoltTolerance[i]);
        }
        setBench(p, state, interfaceDef, false);
        return p;
    }
    const auto b = *layout.calBlock;
    p.nominalVolts = store.cpNumber(b, "UCPTnominalVolt", 120);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string phase(1, static_cast<char>('A' + i));
        p.calPower[i] = store.cpNumber(b, "UCPTcalPower" + phase, 10000);
        p.calReactive[i] = store.cpNumber(b, "UCPTcalReactive" + phase, 10000);
        p.calVolt[i] = store.cpNumber(b, "UCPTcalVolt" + phase, 10000);
    }
    setBench(p, state, interfaceDef, store.unlocked(b));
    return p;
}

// The true volts, amps and power factor of a phase at a time.
PhaseLoad trueLoad(const Params &p, std::size_t phase, double s)
{
    if (p.bench)
        return p.benchLoad[phase];
    return {p.nominalVolts * (1 + kVoltOffset[phase]), p.ctAmps * loadFraction(phase, s), kPowerFactor[phase]};
}

// The true reactive share of the apparent power: sin(phi) for a power factor cos(phi).
double reactiveShare(double pf)
{
    return std::sqrt(std::max(0.0, 1 - pf * pf));
}

double integralOf(const EnergyRates &r, std::size_t phase, double s)
{
    return r.bench ? s : loadIntegral(phase, s);
}

}  // namespace

// ---- readings ----------------------------------------------------------------------------

MeterReading Meter::reading(DeviceState &state, Clock::TimePoint t) const
{
    const auto p = paramsOf(state, m_interface, m_layout);
    const double s = seconds(t);
    MeterReading r;
    r.hertz = 60.0 + 0.02 * std::sin(kTwoPi * s / 600.0);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto load = trueLoad(p, i, s);
        const double va = load.volts * load.amps;
        auto &ph = r.phases[i];
        ph.watts = va * load.powerFactor * p.gain(i);
        ph.vars = va * reactiveShare(load.powerFactor) * p.reactiveGain(i);
        ph.volts = load.volts * p.voltGain(i);
        const double apparent = std::hypot(ph.watts, ph.vars);
        ph.amps = ph.volts > 0 ? apparent / ph.volts : 0;
        ph.pf = apparent > 0 ? ph.watts / apparent : 1;
    }
    return r;
}

// Per unit of load: the normal load's rates are scaled by the day's load fraction (see
// loadIntegral); the bench's are the constant load itself.
EnergyRates Meter::rates(DeviceState &state) const
{
    const auto p = paramsOf(state, m_interface, m_layout);
    EnergyRates r;
    r.bench = p.bench;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto load = p.bench ? p.benchLoad[i] : PhaseLoad{p.nominalVolts * (1 + kVoltOffset[i]), p.ctAmps, kPowerFactor[i]};
        const double va = load.volts * load.amps;
        r.watts[i] = va * load.powerFactor * p.gain(i);
        r.vars[i] = va * reactiveShare(load.powerFactor) * p.reactiveGain(i);
    }
    return r;
}

// The energy base: the time of the last change of the rates, the totals then, and the rates
// since. A meter seen for the first time has run its normal load for a year.
std::array<double, 4> Meter::totalsWh(DeviceState &state, Clock::TimePoint t) const
{
    MeterStore store(state, m_interface);
    auto v = store.numbers(kEnergyBaseKey, 0);
    if (v.size() < 12) {
        const double now = seconds(state.now());
        const auto r = rates(state);
        v = {now, 0, 0, 0, 0, r.watts[0], r.watts[1], r.watts[2], r.vars[0], r.vars[1], r.vars[2], r.bench ? 1.0 : 0.0};
        for (std::size_t i = 0; i < 3; ++i) {
            const double run = loadIntegral(i, now) - loadIntegral(i, now - 365 * kDay);
            v[1 + i] = r.watts[i] * run / 3600.0;
            v[4] += r.vars[i] * run / 3600.0;
        }
        store.setNumbers(kEnergyBaseKey, v);
    }
    EnergyRates r;
    r.bench = v[11] != 0;
    const double s = seconds(t);
    std::array<double, 4> out{v[1], v[2], v[3], v[4]};
    for (std::size_t i = 0; i < 3; ++i) {
        const double run = integralOf(r, i, s) - integralOf(r, i, v[0]);
        out[i] += v[5 + i] * run / 3600.0;
        out[3] += v[8 + i] * run / 3600.0;
    }
    return out;
}

std::array<double, 4> Meter::totalsNow(DeviceState &state) const
{
    return totalsWh(state, state.now());
}

void Meter::rebase(DeviceState &state, const std::array<double, 4> &totals) const
{
    const auto r = rates(state);
    MeterStore(state, m_interface)
        .setNumbers(kEnergyBaseKey, {seconds(state.now()), totals[0], totals[1], totals[2], totals[3], r.watts[0], r.watts[1],
                                     r.watts[2], r.vars[0], r.vars[1], r.vars[2], r.bench ? 1.0 : 0.0});
}

// A reference source connected, changed or removed from outside (lns-sim) changes the load
// without a write to the meter, so the energy base still holds the old rates. The base moves
// on at the first reading after the change, which keeps the totals continuous.
void Meter::followLoadChange(DeviceState &state) const
{
    const auto v = MeterStore(state, m_interface).numbers(kEnergyBaseKey, 0);
    if (v.size() < 12)
        return;
    const auto r = rates(state);
    const auto differs = [](double a, double b) { return std::abs(a - b) > 1e-9 * std::max({1.0, std::abs(a), std::abs(b)}); };
    bool changed = (v[11] != 0) != r.bench;
    for (std::size_t i = 0; i < 3; ++i)
        changed = changed || differs(v[5 + i], r.watts[i]) || differs(v[8 + i], r.vars[i]);
    if (changed)
        rebase(state, totalsNow(state));
}

double Meter::energyOf(DeviceState &state, Role role, Clock::TimePoint t) const
{
    const auto wh = totalsWh(state, t);
    const auto off = MeterStore(state, m_interface).numbers(kResetOffsetKey, 4);
    const double sum = wh[0] + wh[1] + wh[2];
    switch (role) {
    case Role::EnergySumNR:
    case Role::EngyPosSumNR: return sum;
    case Role::EnergySum:
    case Role::EngyPosSum: return sum - off[0] - off[1] - off[2];
    case Role::ReacEnergySum: return wh[3] - off[3];
    case Role::EnergyA: return wh[0] - off[0];
    case Role::EnergyB: return wh[1] - off[1];
    default: return wh[2] - off[2];
    }
}

double Meter::demandWatts(DeviceState &state, Clock::TimePoint t) const
{
    MeterStore store(state, m_interface);
    const double period = 60.0 * std::max(1.0, store.nvNumber(m_layout.name(Role::DemandMinutes), 15));
    const double sub = period / std::max(1.0, store.nvNumber(m_layout.name(Role::DemandSubintervals), 3));
    const double end = std::floor(seconds(t) / sub) * sub;
    auto sumAt = [&](double s) {
        const auto e = totalsWh(state, timeAt(s));
        return e[0] + e[1] + e[2];
    };
    return (sumAt(end) - sumAt(end - period)) * 3600.0 / period;
}

Clock::TimePoint Meter::meterTime(DeviceState &state, Clock::TimePoint t) const
{
    return timeAt(seconds(t) + MeterStore(state, m_interface).number(kClockOffsetKey, 0));
}

// The peak of the demand at the subinterval boundaries since the last reset; each search
// goes on from the boundary where the last one ended.
Meter::Peak Meter::updatePeak(DeviceState &state, Clock::TimePoint now) const
{
    MeterStore store(state, m_interface);
    auto v = store.numbers(kPeakKey, 3);  // watts, time of the peak, last boundary looked at
    const double period = 60.0 * std::max(1.0, store.nvNumber(m_layout.name(Role::DemandMinutes), 15));
    const double sub = period / std::max(1.0, store.nvNumber(m_layout.name(Role::DemandSubintervals), 3));
    const double end = std::floor(seconds(now) / sub) * sub;
    double from = v[2] == 0 ? end - sub : v[2];
    from = std::max(from, end - 2000 * sub);
    bool changed = v[2] != end;
    for (double b = std::floor(from / sub) * sub + sub; b <= end; b += sub) {
        const double d = demandWatts(state, timeAt(b));
        if (d > v[0]) {
            v[0] = d;
            v[1] = b;
        }
    }
    v[2] = end;
    if (changed)
        store.setNumbers(kPeakKey, v);
    return {v[0], timeAt(v[1])};
}

void Meter::resetPeak(DeviceState &state) const
{
    MeterStore(state, m_interface).setNumbers(kPeakKey, {0, 0, seconds(state.now())});
}

std::optional<Role> Meter::roleOf(const std::string &nvName) const
{
    for (std::size_t i = 0; i < m_layout.names.size(); ++i)
        if (!m_layout.names[i].empty() && m_layout.names[i] == nvName)
            return static_cast<Role>(i);
    return std::nullopt;
}

// ---- refreshing an NV before it is read ----------------------------------------------------

void Meter::refresh(DeviceState &state, const std::string &key) const
{
    if (!key.starts_with("nv:"))
        return;
    const auto name = key.substr(3);
    const auto role = roleOf(name);
    if (!role || *role > Role::TimeSet)
        return;
    const auto now = state.now();
    MeterStore store(state, m_interface);
    if (store.pinned(name))
        return;
    if (*role == Role::TimeSet)
        return store.setTime(name, meterTime(state, now));
    if (*role >= Role::EnergySum && *role <= Role::PeakDemandTime)
        followLoadChange(state);
    if (*role == Role::PeakDemand || *role == Role::PeakDemandTime) {
        const auto peak = updatePeak(state, now);
        if (*role == Role::PeakDemand)
            return store.setQuantity(name, peak.watts);
        return store.setTime(name, peak.watts > 0 ? meterTime(state, peak.at) : Clock::TimePoint{});
    }
    if (*role == Role::Demand)
        return store.setQuantity(name, demandWatts(state, now));
    if (*role >= Role::EnergySum && *role <= Role::EnergyC)
        return store.setQuantity(name, energyOf(state, *role, now));
    if (*role == Role::DemandMinutes || *role == Role::DemandSubintervals)
        return;
    const auto m = reading(state, now);
    const auto r = static_cast<int>(*role);
    auto phase = [&](Role first) { return m.phases[static_cast<std::size_t>(r - static_cast<int>(first))]; };
    double w = 0, q = 0;
    for (const auto &ph : m.phases) {
        w += ph.watts;
        q += ph.vars;
    }
    double v = 0;
    if (*role == Role::PowerSum) v = w;
    else if (*role == Role::ReacSum) v = q;
    else if (*role == Role::Frequency) v = m.hertz;
    else if (*role == Role::PfAvg) v = w == 0 && q == 0 ? 1 : w / std::hypot(w, q);
    else if (*role <= Role::PowerC) v = phase(Role::PowerA).watts;
    else if (*role <= Role::ReacC) v = phase(Role::ReacA).vars;
    else if (*role <= Role::VoltsC) v = phase(Role::VoltsA).volts;
    else if (*role <= Role::CurrentC) v = phase(Role::CurrentA).amps;
    else v = phase(Role::PfA).pf;
    store.setQuantity(name, v);
}

}  // namespace tellumic::sim
