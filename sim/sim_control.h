#pragma once

// The simulated installation from outside: its devices, their condition and faults, and
// their service pins. lns-sim and the tests use this one API; everything it sets is kept in
// the network database, so a running plug-in in another process sees it at its next call.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/models/meter_state.h"
#include "sim/network_db.h"

namespace tellumic::sim {

enum class DeviceCondition {
    ConfiguredOnline,  // node state 4
    Unconfigured,      // node state 2; no NV or CP traffic
    Applicationless,   // node state 3; no NV or CP traffic
    Offline,           // node state 6
    SoftOffline,       // node state 12
    Bypassed,          // node state 140
    Uncommissioned,    // commissioned flag cleared; the device answers nothing
};

std::optional<DeviceCondition> parseCondition(std::string_view name);  // "online", "soft-offline", ...
std::string conditionNames();                                           // for help texts

struct DeviceFaults
{
    std::int32_t commFailAtCall = 0;  // the n-th device transaction after setting fails (0: none)
    double commFailRate = 0;          // share of device transactions that fail, 0 to 1
    std::int32_t selfTestResult = 0;  // non-zero: the self-test fails with this result
    std::int32_t lastErrorCode = 0;   // reported by the status query until cleared
    bool refuseWrites = false;        // NV, CP and file writes are refused
    std::string updateErrorNv;        // an NV whose updates fail (monitor updates, format commits)
    std::int32_t refuseWriteAt = 0;   // the n-th NV or CP write after setting is refused (0: none)
};

struct DeviceInfo
{
    std::int64_t id = 0;
    std::string network, system, subsystem, name;
    std::string neuronId, programId, location, templateName;
    bool commissioned = true;
    std::int32_t nodeState = 4;
    DeviceFaults faults;
    std::string objectName() const { return network + "/" + system + "/" + subsystem + "/" + name; }
};

class SimControl
{
public:
    explicit SimControl(const std::filesystem::path &lonWorksFolder,
                        std::chrono::milliseconds busyTimeout = NetworkDb::kBusyTimeout);

    std::vector<DeviceInfo> devices();
    // By object name ("Demo/Demo/Meters/TMC-FT-362"), its last two parts, or a device name
    // that only one device has. RuntimeError kObjectNotFound otherwise.
    DeviceInfo device(std::string_view name);

    void setCondition(std::int64_t deviceId, DeviceCondition condition);
    void setFaults(std::int64_t deviceId, const DeviceFaults &faults);
    void pressServicePin(std::int64_t deviceId);
    // Stores a value of the device's own state by key (a meter's log faults); "" removes it.
    void setDeviceValue(std::int64_t deviceId, const std::string &key, const std::string &text);
    // A power failure of a meter now: its log flags the failure and the restart after it.
    void failPower(std::int64_t deviceId);
    // Connects a reference source to a meter's phase (0 A, 1 B, 2 C), or disconnects it
    // (nullopt); the meter measures it from its next reading on.
    void setReferenceLoad(std::int64_t deviceId, std::size_t phase, const std::optional<PhaseLoad> &load);
    std::array<std::optional<PhaseLoad>, 3> referenceLoads(std::int64_t deviceId);

private:
    NetworkDb m_db;
};

}  // namespace tellumic::sim
