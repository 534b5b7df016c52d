#pragma once

// A meter's stored values as its firmware sees them: NVs and CPs as numbers in their
// present type and unit, and the meter's own state (energy base, reset offsets, peak,
// clock offset, log segments, events) kept as numbers under keys of its own.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device_model.h"

namespace tellumic::sim {

inline const std::string kEnergyBaseKey = "meter:energy";
inline const std::string kResetOffsetKey = "meter:reset";
inline const std::string kPeakKey = "meter:peak";
inline const std::string kClockOffsetKey = "meter:clock";
inline const std::string kLogKey = "meter:log";
inline const std::string kEventsKey = "meter:events";
inline const std::string kSavedCalKey = "meter:savedcal";
inline const std::string kUnlockedKey = "meter:unlocked";  // 1 from factory command 7461 to 0
inline const std::string kLogRequestKey = "meter:logrequest";
// Faults of the log transfer, set from outside (lns-sim, tests).
inline const std::string kFaultShortReadKey = "fault:logshort";   // bytes left out of a file-5 read
inline const std::string kFaultBadCrcKey = "fault:logbadcrc";     // every n-th record sent with a bad check
inline const std::string kFaultFailAfterKey = "fault:logfailafter";  // file-5 reads fail after this many bytes

// An output NV written over the network keeps the written value instead of the measurement
// until its type changes or the meter is reset to factory settings (a test source).
inline std::string pinKey(const std::string &nvName)
{
    return "meter:pin:" + nvName;
}

// A reference source connected to one phase of a meter (lns-sim connects it): what the phase
// truly carries. P = volts x amps x power factor; the reactive share is inductive.
struct PhaseLoad
{
    double volts = 0, amps = 0, powerFactor = 1;
};
// Where the reference source of phase 0 (A), 1 (B) or 2 (C) is kept: "volts amps powerFactor".
inline std::string referenceLoadKey(std::size_t phase)
{
    return "meter:refload:" + std::string(1, static_cast<char>('A' + phase));
}

// Log flag bits.
inline constexpr int kFlagReset = 1, kFlagError = 2, kFlagOnline = 3, kFlagConfigChange = 4, kFlagCalChange = 5,
                     kFlagClockChange = 6, kFlagPowerFail = 7;

// The text a list of the meter's numbers is kept as: each number in full precision followed
// by a blank ("1 900 "), and the numbers read back from it, up to the first that is none.
std::string numberListText(const std::vector<double> &values);
std::vector<double> parseNumberList(std::string_view text);

// A meter's interval log as kept under kLogKey: the number of its oldest record, then its
// segments, each its first record number, the time it started (seconds) and its interval.
struct LogSegment
{
    std::int64_t first = 1;
    double start = 0, interval = 900;
};
struct LogState
{
    std::int64_t logStart = 1;
    std::vector<LogSegment> segments;
};
std::vector<double> logStateNumbers(const LogState &log);

double seconds(Clock::TimePoint t);
Clock::TimePoint timeAt(double seconds);

class MeterStore
{
public:
    MeterStore(DeviceState &state, const InterfaceDef &interfaceDef) : m_state(state), m_interface(interfaceDef) {}

    // The meter's own numbers; missing ones read as 0.
    std::vector<double> numbers(const std::string &key, std::size_t count);
    void setNumbers(const std::string &key, const std::vector<double> &values);
    double number(const std::string &key, double fallback);
    void setNumber(const std::string &key, double value) { setNumbers(key, {value}); }
    bool has(const std::string &key);
    bool pinned(const std::string &nvName);

    // NVs in their present type: numbers in the meter's units (W, Wh, V, A, Hz), texts, times.
    double nvNumber(const std::string &name, double fallback);
    std::string nvText(const std::string &name);
    void setNvText(const std::string &name, const std::string &text);
    void setQuantity(const std::string &name, double value);
    Clock::TimePoint time(const std::string &name);
    void setTime(const std::string &name, Clock::TimePoint t);
    void restoreInitialType(const std::string &name);

    // CPs of a block, by name.
    const CpDef *blockCp(std::size_t block, const std::string &name) const;
    const CpDef *cpOfKey(const std::string &key) const;
    double cpNumber(std::size_t block, const std::string &name, double fallback);
    void setCpText(std::size_t block, const std::string &name, const std::string &text);

    // Whether the meter is unlocked for calibration (factory command 7461 until 0). A meter
    // stored before the lock was kept apart reads its factory command instead.
    bool unlocked(std::size_t calBlock);

    // The reference source of each phase, A to C; none where a phase has none.
    std::array<std::optional<PhaseLoad>, 3> referenceLoads();

private:
    DeviceState &m_state;
    const InterfaceDef &m_interface;
};

}  // namespace tellumic::sim
