#pragma once

// The state one simulated object server shares with every object it hands out: the
// database connection and its cache, the devices' values and faults, the open flags, the
// monitor points, the events waiting for dispatch and the running transaction.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/clock.h"
#include "foundation/object_server.h"
#include "sim/device_model.h"
#include "sim/network_db.h"

namespace tellumic::sim {

struct SimOptions
{
    Clock *clock = nullptr;  // processClock() when none
    // Waits for a span of simulated time. Default: sleeps when the clock is the system
    // clock, advances it when it is a ManualClock.
    std::function<void(std::chrono::microseconds)> wait;
    // Cost of one device transaction (read, write, status query, poll).
    std::chrono::microseconds latency{0};
    // The channel's speed for file transfers, and how often a blocking transfer raises
    // the idle event.
    // A device that sends at a speed of its own (a meter's log records) uses that instead.
    double transferBytesPerSecond = 1200.0;
    std::chrono::milliseconds idleInterval{100};
    // Speeds every transfer up by this factor (demos); 1 is the real channel.
    double transferSpeedFactor = 1.0;
    // How long a database statement waits for another program's lock before it fails.
    std::chrono::milliseconds databaseBusyTimeout = NetworkDb::kBusyTimeout;
};

// One device as the database holds it, with its cached values.
struct DeviceRow
{
    std::int64_t id = 0;
    std::int64_t systemId = 0;
    std::string name;
    std::string neuronId;
    std::string programId;
    std::string location;
    std::string templateName;
    bool commissioned = true;
    std::int32_t nodeState = 4;
    std::int32_t lastError = 0;
    std::int32_t selfTest = 0;
    bool refuseWrites = false;
    std::int32_t refuseWriteAt = 0;
    std::int32_t commFailCall = 0;
    double commFailRate = 0;
    std::string updateErrorNv;
    std::int64_t faultGeneration = 0;
    const DeviceModel *model = nullptr;
    std::map<std::string, Bytes> values;  // stored values; the model's initial ones otherwise
};

// Where a value lives on a device, and its type.
struct ValueSlot
{
    const ValueType *type = nullptr;
    Bytes initial;
};

class SimCore
{
public:
    SimCore(const std::filesystem::path &lonWorksFolder, SimOptions options);

    NetworkDb &db() { return m_db; }
    Clock &clock() { return *m_clock; }
    const std::filesystem::path &lonWorksFolder() const { return m_lonWorksFolder; }
    const SimOptions &options() const { return m_options; }
    void wait(std::chrono::microseconds span);

    // Drops every cached row when another process changed the database.
    void syncWithDatabase();
    DeviceRow &device(std::int64_t id);
    std::vector<std::int64_t> deviceIds(std::int64_t subsystemId);

    // The slot of a value key on a device; RuntimeError kObjectNotFound when it has none.
    const ValueSlot &slot(const DeviceRow &device, const std::string &key);

    // The device's transactions since its faults were last set: what comm-fail-at counts.
    std::uint64_t deviceCallsSinceFaults(std::int64_t deviceId);
    // The NV and CP writes among them: what refuse-write-at counts.
    std::uint64_t deviceWritesSinceFaults(std::int64_t deviceId);

    // One transaction with the device: latency, then the faults that stop it answering;
    // valueTraffic is NV or CP traffic, which needs a device with a running application.
    void deviceCall(DeviceRow &device, bool valueTraffic = false);
    // Values without a device transaction (the model's own view and the transaction log).
    Bytes storedValue(DeviceRow &device, const std::string &key);
    void storeValue(DeviceRow &device, const std::string &key, const Bytes &bytes);

    // Reads and writes as the network does them, with transaction, faults and the model.
    Bytes readValue(std::int64_t deviceId, const std::string &key);
    void writeValue(std::int64_t deviceId, const std::string &key, const Bytes &bytes);
    // Keeps the device's last error code (after a clear status) for the other processes.
    void persistLastError(const DeviceRow &device);
    // A device file through its model, as one device transaction.
    Bytes readFile(std::int64_t deviceId, std::int32_t number, std::int32_t length);
    void writeFile(std::int64_t deviceId, std::int32_t number, const Bytes &bytes);
    // How fast the device sends the file, in bytes per second of simulated time.
    double fileBytesPerSecond(std::int64_t deviceId, std::int32_t number);
    // The bytes of a file read after which the device stops answering; none: all of them.
    std::optional<std::size_t> fileFailsAfter(std::int64_t deviceId, std::int32_t number);
    // Each window of a file on the move needs the system still open and the device still
    // answering; the window is part of the transfer's one call, so no call faults apply.
    void continueFileTransfer(std::int64_t deviceId);

    // Open flags.
    bool serverOpen = false;
    std::set<std::int64_t> openNetworks;
    std::set<std::int64_t> openSystems;
    std::set<std::int64_t> pausedSystems;
    void requireServerOpen() const;
    void requireSystemOpen(std::int64_t systemId) const;

    // System transaction: writes wait here until commit, which makes them in order; a write
    // that fails there ends the commit, and the writes before it stay made.
    bool inTransaction = false;
    std::vector<std::pair<std::int64_t, std::pair<std::string, Bytes>>> pendingWrites;
    void commitTransaction();

    // Blocking operations and their cancel request.
    bool operationRunning = false;
    bool cancelRequested = false;
    void raiseIdle();

    // Monitor points and formats, by device and NV name.
    struct MonitorPoint
    {
        std::int32_t tag = 0;
        std::int32_t rate = 0;
        bool paused = false;
        Clock::TimePoint nextPoll{};
        std::optional<std::string> lastText;
    };
    std::map<std::pair<std::int64_t, std::string>, MonitorPoint> monitors;

    // An NV's format, as the database keeps it apart from the device: it tells how the bytes
    // the device sends read as text. Any format of the NV's type or of a type the device can
    // change the NV to is taken, so that the NV can be given the format of the type it is
    // about to take. A committed format stays until the NV changes to a type it does not fit;
    // then the type's own format applies (also when another process changed the type).
    std::string nvFormat(std::int64_t deviceId, const std::string &nvName);
    // The type whose bytes a format reads for the NV ("RAW": the NV's own), or nullptr when
    // the format is none of the NV's.
    const ValueType *formatType(std::int64_t deviceId, const std::string &nvName, std::string_view format);
    // The NV's bytes as text in a format, and text in a format as the NV's bytes. A format
    // whose type takes another number of bytes than the NV sends is refused (kInvalidValue);
    // one of the same size reads the bytes as its own type would.
    std::string nvText(std::int64_t deviceId, const std::string &nvName, const Bytes &bytes, std::string_view format);
    Bytes nvBytes(std::int64_t deviceId, const std::string &nvName, std::string_view text, std::string_view format);
    // Commits an NV's format: the NV's update, which fails like its monitor updates while
    // the device has an update fault on that NV.
    void commitFormat(std::int64_t deviceId, const std::string &nvName, const std::string &format);
    // The device changed the NV's type: a committed format of the new type stays, any other
    // gives way to the new type's own.
    void nvTypeChanged(std::int64_t deviceId, const std::string &nvName, const ValueType &type);

    // Events.
    lns::ObjectServerEvents *sink = nullptr;
    void dispatchEvents();
    std::function<std::shared_ptr<lns::Nv>(std::int64_t deviceId, const std::string &nvName)> makeNv;

private:
    void pollMonitors(std::vector<std::function<void()>> &events);
    void collectServicePins(std::vector<std::function<void()>> &events);
    bool commFailureDue(DeviceRow &device);
    bool writeRefusalDue(DeviceRow &device);
    void requireAnswers(const DeviceRow &device, bool valueTraffic) const;

    std::filesystem::path m_lonWorksFolder;
    SimOptions m_options;
    Clock *m_clock;
    NetworkDb m_db;
    std::map<std::int64_t, DeviceRow> m_devices;
    std::map<const DeviceModel *, std::map<std::string, ValueSlot>> m_slots;
    std::map<std::string, ValueSlot> m_changedTypes;  // by type name
    struct CommittedFormat
    {
        std::string format;
        std::string typeName;  // the NV's type when it was committed
    };
    std::map<std::pair<std::int64_t, std::string>, CommittedFormat> m_formats;
    struct CallCount
    {
        std::int64_t generation = -1;
        std::uint64_t calls = 0;
        std::uint64_t writes = 0;
    };
    std::map<std::int64_t, CallCount> m_callCounts;
    std::int64_t m_lastServicePin = -1;
    bool m_dispatching = false;
};

// The communication failure of a device that does not answer.
RuntimeError communicationFailure(const std::string &what);

}  // namespace tellumic::sim
