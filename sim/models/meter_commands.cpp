// What a meter does with written NVs and CPs: its clock, the resets, the firmware-version
// query, settings, calibration constants and factory commands (NV type changes: meter_types.cpp).

#include <algorithm>
#include <cmath>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"
#include "sim/models/meter.h"
#include "sim/models/meter_state.h"

namespace tellumic::sim {

namespace {

// Factory commands written to UCPTfactoryCommand.
constexpr std::int32_t kUnlock = 7461, kSave = 52817, kFactoryReset = 52836, kInitLogging = 6358, kLock = 0;

// Error codes the meter reports through its status.
constexpr std::int32_t kErrorSendTimeOver12Hours = 20, kErrorPtRatio = 34;
constexpr double kTwelveHours = 12 * 3600.0;
constexpr double kPtRatioMin = 1, kPtRatioMax = 1000;

// The NV that nviCalSel 24 selects: the firmware version as a number (3.03).
constexpr double kFirmwareSelector = 24;

const std::vector<std::string> kCalibrationConstants = {
    "UCPTcalPowerA",   "UCPTcalPowerB",   "UCPTcalPowerC", "UCPTcalReactiveA", "UCPTcalReactiveB", "UCPTcalReactiveC",
    "UCPTcalVoltA",    "UCPTcalVoltB",    "UCPTcalVoltC",  "UCPTphaseAdjA",    "UCPTphaseAdjB",    "UCPTphaseAdjC"};

std::vector<double> calibrationConstants(MeterStore &store, std::size_t calBlock)
{
    std::vector<double> values;
    for (const auto &name : kCalibrationConstants)
        values.push_back(store.cpNumber(calBlock, name, 0));
    return values;
}


}  // namespace

void Meter::written(DeviceState &state, const std::string &key) const
{
    if (key.ends_with("/0:254"))
        return changeType(state, key);
    if (key.starts_with("cp:"))
        return cpWritten(state, key);
    const auto name = key.substr(3);
    const auto role = roleOf(name);
    if (!role)
        return;
    MeterStore store(state, m_interface);
    if (*role < Role::DemandMinutes || (*role > Role::DemandSubintervals && *role <= Role::PfC)) {
        state.setValue(pinKey(name), {1});
        return;
    }
    const double value = store.nvNumber(name, 0);
    switch (*role) {
    case Role::TimeSet:
        store.setNumber(kClockOffsetKey, seconds(store.time(name)) - seconds(state.now()));
        noteEvent(state, kFlagClockChange);
        break;
    case Role::ResetEnergy:
        if (value != 0) {
            const auto wh = totalsNow(state);
            store.setNumbers(kResetOffsetKey, {wh[0], wh[1], wh[2], wh[3]});
        }
        break;
    case Role::ResetPeakDemand:
        if (value != 0)
            resetPeak(state);
        break;
    case Role::LogRequest:
        if (value == 3)
            resetPeak(state);
        break;
    case Role::CalSelect:
        store.setQuantity(m_layout.name(Role::CalValue), value == kFirmwareSelector ? m_layout.firmwareVersion : 0);
        break;
    case Role::CtAmps:
        rebase(state, totalsNow(state));
        if (m_layout.ctBlock)
            store.setCpText(*m_layout.ctBlock, "UCPTctAmps", std::to_string(static_cast<long>(std::lround(value))));
        noteEvent(state, kFlagConfigChange);
        break;
    case Role::DemandMinutes:
    case Role::DemandSubintervals:
    case Role::LogMinutes:
        if (value < 1 || value > 60)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: " + name + " must lie between 1 and 60");
        if (*role == Role::LogMinutes)
            logIntervalChanged(state, value);
        noteEvent(state, kFlagConfigChange);
        break;
    default:
        break;
    }
}

void Meter::cpWritten(DeviceState &state, const std::string &key) const
{
    MeterStore store(state, m_interface);
    const auto *cp = store.cpOfKey(key);
    if (key.ends_with("/0:22"))
        return sendTimeWritten(state, key);
    if (cp && cp->name == "UCPTptRatio") {
        const double ratio = store.cpNumber(*m_layout.nodeBlock, "UCPTptRatio", 1);
        if (!(ratio >= kPtRatioMin && ratio <= kPtRatioMax)) {
            state.reportError(kErrorPtRatio);
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the PT ratio must lie between 1 and 1000");
        }
        rebase(state, totalsNow(state));
        return noteEvent(state, kFlagConfigChange);
    }
    if (!cp || !m_layout.calBlock)
        return;
    const auto cal = *m_layout.calBlock;
    const std::string &name = cp->name;
    if (name == "UCPTfactoryCommand")
        return factoryCommand(state, static_cast<std::int32_t>(store.cpNumber(cal, name, 0)));
    const bool constant = std::find(kCalibrationConstants.begin(), kCalibrationConstants.end(), name) != kCalibrationConstants.end();
    if (constant && !store.unlocked(cal))
        throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: the meter is locked; its calibration is read-only");
    if (!constant && name != "UCPTnominalVolt" && name != "UCPTctAmps")
        return;
    rebase(state, totalsNow(state));
    if (name == "UCPTctAmps")
        store.setNvText(m_layout.name(Role::CtAmps), std::to_string(std::lround(store.cpNumber(*m_layout.ctBlock, name, 100))));
    noteEvent(state, constant ? kFlagCalChange : kFlagConfigChange);
}

// A send time above 12 hours is taken, and reported as an error.
void Meter::sendTimeWritten(DeviceState &state, const std::string &key) const
{
    const auto b = state.value(key);
    if (b.size() < 7)
        return;
    const double s = ((b[0] << 8) | b[1]) * 86400.0 + b[2] * 3600.0 + b[3] * 60.0 + b[4] + ((b[5] << 8) | b[6]) / 1000.0;
    if (s > kTwelveHours)
        state.reportError(kErrorSendTimeOver12Hours);
}

// Factory commands, and what each does to the meter:
// - 7461 unlocks it: the calibration constants become writable and the meter measures the
//   calibration bench's reference load (rated CT current at the nominal voltage, unity
//   power factor on every phase);
// - 52817 saves the calibration constants as the meter's own; the meter stays unlocked;
// - 52836 resets it to factory settings: demand period 15 minutes in 3 subintervals, log
//   interval 15 minutes, every output NV back to its initial type, the resettable energy
//   totals and the peak demand cleared; calibration, clock and "NR" totals are kept and the
//   log notes a reset;
// - 6358 initialises the log of a logging model: the kept records are dropped, numbering
//   goes on upward; a model without a log refuses it;
// - 0 locks it: constants written since the last save go back to the saved ones (or, on a
//   meter that never saved, to those it had when it was unlocked), the twelve constants are
//   read-only again and the meter returns to its normal load (unless a reference source is
//   connected).
// Any other command is refused. The property reads back the last command written.
void Meter::factoryCommand(DeviceState &state, std::int32_t command) const
{
    MeterStore store(state, m_interface);
    const auto cal = *m_layout.calBlock;
    switch (command) {
    case kUnlock:
        // A meter that never saved a calibration goes back to the constants it had when it
        // was unlocked.
        if (!store.has(kSavedCalKey))
            store.setNumbers(kSavedCalKey, calibrationConstants(store, cal));
        store.setNumber(kUnlockedKey, 1);
        rebase(state, totalsNow(state));
        break;
    case kLock:
        store.setNumber(kUnlockedKey, 0);
        if (store.has(kSavedCalKey)) {
            const auto saved = store.numbers(kSavedCalKey, kCalibrationConstants.size());
            for (std::size_t i = 0; i < saved.size(); ++i)
                store.setCpText(cal, kCalibrationConstants[i], std::to_string(std::lround(saved[i])));
        }
        rebase(state, totalsNow(state));
        break;
    case kSave:
        store.setNumbers(kSavedCalKey, calibrationConstants(store, cal));
        noteEvent(state, kFlagCalChange);
        break;
    case kFactoryReset:
        factoryReset(state);
        break;
    case kInitLogging:
        if (!m_layout.logging)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the meter keeps no interval log");
        initialiseLog(state);
        break;
    default:
        throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: unknown factory command " + std::to_string(command));
    }
}

void Meter::factoryReset(DeviceState &state) const
{
    MeterStore store(state, m_interface);
    restoreShippedTypes(state);
    store.setNvText(m_layout.name(Role::DemandMinutes), "15");
    store.setNvText(m_layout.name(Role::DemandSubintervals), "3");
    if (!m_layout.name(Role::LogMinutes).empty()) {
        store.setNvText(m_layout.name(Role::LogMinutes), "15");
        logIntervalChanged(state, 15);
    }
    const auto wh = totalsNow(state);
    store.setNumbers(kResetOffsetKey, {wh[0], wh[1], wh[2], wh[3]});
    resetPeak(state);
    noteEvent(state, kFlagReset);
}

// The log keeps the last 64 events for the flags of its records.
void Meter::noteEvent(DeviceState &state, int flagBit) const
{
    MeterStore store(state, m_interface);
    auto v = store.numbers(kEventsKey, 0);
    v.push_back(seconds(state.now()));
    v.push_back(flagBit);
    if (v.size() > 128)
        v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() - 128));
    store.setNumbers(kEventsKey, v);
}

}  // namespace tellumic::sim
