#pragma once

// The Tellumic meters on the simulated network. One class serves every family: a family
// differs in its interface (NV names and types, blocks, CPs) and in which commands it
// takes, which the layout names; the behaviour is shared.
//
// The load: each phase runs a fraction of its current transformer's rating at the nominal
// voltage, following the day (low at night, a peak in the afternoon) with a slower ripple
// of its own. Everything is a function of the simulated clock and of the meter's stored
// state, so a reading is the same for the same time and state, in every process.
//
// Energies are the closed-form integral of the true power since the meter's epoch, times
// the calibration gain; a reset keeps the total at that moment as an offset, so the totals
// survive restarts. While the meter is unlocked for calibration (factory command 7461) it
// sits on the calibration bench: every phase draws its rated current at the nominal voltage
// and unity power factor. A reference source connected to a phase from outside (lns-sim
// reference-load) puts the meter on the bench as well, locked or not, and that phase then
// carries the source's volts, amps and power factor.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/device_model.h"

namespace tellumic::sim {

// What an NV of a meter stands for.
enum class Role {
    PowerSum, PowerA, PowerB, PowerC,
    ReacSum, ReacA, ReacB, ReacC,
    EnergySum, EngyPosSum, EnergySumNR, EngyPosSumNR, ReacEnergySum, EnergyA, EnergyB, EnergyC,
    Demand, PeakDemand, PeakDemandTime, DemandMinutes, DemandSubintervals,
    VoltsA, VoltsB, VoltsC, Frequency, CurrentA, CurrentB, CurrentC,
    PfAvg, PfA, PfB, PfC,
    TimeSet, CtAmps, LogMinutes, ResetEnergy, ResetPeakDemand, LogRequest, CalSelect, CalValue,
    Count
};

// The meter's NV names by role ("" when the family has none) and its calibration CPs.
struct MeterLayout
{
    std::array<std::string, static_cast<std::size_t>(Role::Count)> names;
    std::string family;             // "302", "312", "362", "363"
    bool logging = false;           // keeps an interval log (files 3, 4, 5)
    std::optional<std::size_t> calBlock;   // block holding the calibration CPs
    std::optional<std::size_t> nodeBlock;  // block holding the node CPs
    std::optional<std::size_t> ctBlock;    // block holding UCPTctAmps
    double firmwareVersion = 3.03;  // what nviCal reads after nviCalSel 24
    bool floatFirmware = true;      // the initial types are the float ones (the 312's are integers)
    const std::string &name(Role r) const { return names[static_cast<std::size_t>(r)]; }
    std::string &name(Role r) { return names[static_cast<std::size_t>(r)]; }
};

// The groups of output NVs whose type one SCPTnvType, on the group's first NV, changes.
struct TypeGroup
{
    std::vector<Role> members;       // those the family has, the first one carrying the SCPTnvType
    std::vector<std::string> types;  // the types the group can take, its float type first
};
std::vector<TypeGroup> typeGroups(const MeterLayout &layout);

// The SCPTnvType text that returns a group to the meter's initial type.
inline constexpr std::string_view kInitialNvType =
    "PID 0:0:0:0:0:0:0:0, Scope 0, Index 1, NVT_CAT_INITIAL, 1 bytes, A=0, B=0, C=0";
// The SCPTnvType text of a type the meters send ("SNVT_power_kilo": "PID 0:0:0:0:0:0:0:0,
// Scope 0, Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0").
std::string nvTypeText(std::string_view typeName);
// What the SCPTnvType of the group that starts with first reads when the meter leaves the
// factory with the group in its declared type.
std::string shippedNvTypeText(const MeterLayout &layout, Role first, const std::string &declaredType);

// The read quantities of one phase.
struct PhaseReading
{
    double watts = 0, vars = 0, volts = 0, amps = 0, pf = 1;
};
struct MeterReading
{
    std::array<PhaseReading, 3> phases;
    double hertz = 60;
};

// What the energy totals grow by: per phase the read watts (and vars) per unit of load, and
// whether the meter is on the calibration bench (constant load) or on its normal load.
struct EnergyRates
{
    std::array<double, 3> watts{}, vars{};
    bool bench = false;
};

class Meter final : public DeviceModel
{
public:
    Meter(MeterLayout layout, InterfaceDef interfaceDef);
    const InterfaceDef &interfaceDef() const override { return m_interface; }
    const MeterLayout &layout() const { return m_layout; }

    void refresh(DeviceState &state, const std::string &key) const override;
    void written(DeviceState &state, const std::string &key) const override;
    Bytes readFile(DeviceState &state, std::int32_t number, std::int32_t length) const override;
    void writeFile(DeviceState &state, std::int32_t number, const Bytes &bytes) const override;
    double fileBytesPerSecond(DeviceState &state, std::int32_t number) const override;
    std::vector<std::string> nvTypeChoices(const std::string &nvName) const override;
    std::optional<std::size_t> fileFailsAfter(DeviceState &state, std::int32_t number) const override;

    // The readings at a time, as the meter shows them (calibration gains applied).
    MeterReading reading(DeviceState &state, Clock::TimePoint t) const;
    // Watt-hours of phases A, B, C and reactive VAR-hours since the meter was made.
    std::array<double, 4> totalsWh(DeviceState &state, Clock::TimePoint t) const;
    // The value of an energy NV (resettable totals less their reset offsets).
    double energyOf(DeviceState &state, Role role, Clock::TimePoint t) const;
    // The mean power of the last demand period that ended at a subinterval boundary.
    double demandWatts(DeviceState &state, Clock::TimePoint t) const;
    // The meter's own clock at a simulated time (it follows nviTimeSet).
    Clock::TimePoint meterTime(DeviceState &state, Clock::TimePoint t) const;

    // The interval log: records numbered upward, at most kLogCapacity kept.
    struct LogExtent
    {
        std::int64_t oldest = 1, newest = 0;  // newest < oldest: empty
    };
    LogExtent logExtent(DeviceState &state, Clock::TimePoint now) const;
    Clock::TimePoint logRecordTime(DeviceState &state, std::int64_t number) const;
    Bytes logRecord(DeviceState &state, std::int64_t number, bool longRecord) const;

private:
    struct Peak
    {
        double watts = 0;
        Clock::TimePoint at;
    };
    EnergyRates rates(DeviceState &state) const;
    Peak updatePeak(DeviceState &state, Clock::TimePoint now) const;
    std::optional<Role> roleOf(const std::string &nvName) const;
    void cpWritten(DeviceState &state, const std::string &key) const;
    void sendTimeWritten(DeviceState &state, const std::string &key) const;
    void factoryCommand(DeviceState &state, std::int32_t command) const;
    void factoryReset(DeviceState &state) const;
    void changeType(DeviceState &state, const std::string &key) const;
    // Every group back in its declared type, its SCPTnvType naming it (factory settings).
    void restoreShippedTypes(DeviceState &state) const;
    void noteEvent(DeviceState &state, int flagBit) const;
    void resetPeak(DeviceState &state) const;
    // Keeps the totals continuous when the rates change: call before and after a change.
    std::array<double, 4> totalsNow(DeviceState &state) const;
    void rebase(DeviceState &state, const std::array<double, 4> &totals) const;
    void followLoadChange(DeviceState &state) const;
    void logIntervalChanged(DeviceState &state, double minutes) const;
    void initialiseLog(DeviceState &state) const;

    MeterLayout m_layout;
    InterfaceDef m_interface;
};

inline constexpr std::int64_t kLogCapacity = 24192;

// The check values of the log records: CRC-8 Dallas/Maxim and CRC-16/MODBUS.
std::uint8_t logCrc8(const std::uint8_t *data, std::size_t n);
std::uint16_t logCrc16(const std::uint8_t *data, std::size_t n);

// The meter families: 302 (float types), 312 (integer types), 362 and 363.
std::shared_ptr<const DeviceModel> makeMeter302();
std::shared_ptr<const DeviceModel> makeMeter312();
std::shared_ptr<const DeviceModel> makeMeter362();

}  // namespace tellumic::sim
