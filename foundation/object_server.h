#pragma once

// The plug-in's view of the LNS object server: every object and operation the plug-in
// asks of it, nothing more. The plug-in codes against these interfaces only; the
// simulated LNS installation (sim/) is one implementation, chosen by the composition root.
//
// Conventions:
// - Collections count from 1 and are looked up by index or by name ("Item").
// - Values are exchanged as the text LNS shows for the type and format.
// - Every failure is a RuntimeError; a lost device answers with kCommunicationFailure.
// - All calls and all events happen on the user-interface thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/runtime_error.h"

namespace tellumic::lns {

// Error numbers of the object server that the plug-in tells apart.
namespace LcaError {
inline constexpr std::int32_t kCommunicationFailure = ErrorNumber::kCommunicationFailure;  // 80040402
inline constexpr std::int32_t kObjectNotFound = static_cast<std::int32_t>(0x80040FA2u);
inline constexpr std::int32_t kInvalidValue = static_cast<std::int32_t>(0x80040FA3u);
inline constexpr std::int32_t kNotOpen = static_cast<std::int32_t>(0x80040FA4u);
inline constexpr std::int32_t kOperationCancelled = static_cast<std::int32_t>(0x80040FA5u);
inline constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80040FA6u);
// The object server's own storage failed (its database locked, damaged or unwritable).
inline constexpr std::int32_t kDatabaseError = static_cast<std::int32_t>(0x80040FA7u);
}  // namespace LcaError

// Whether a collection member answers to a key: its name. Device templates also answer to
// their program ID (see the overload after DeviceTemplate).
template <typename T>
bool answersTo(T &item, std::string_view key)
{
    return item.Name() == key;
}

// An ordered collection counting from 1. Holds a snapshot of its members; the owner hands
// out a fresh one on every call. T must have Name().
template <typename T>
class Collection
{
public:
    Collection() = default;
    explicit Collection(std::vector<std::shared_ptr<T>> items) : m_items(std::move(items)) {}

    std::int32_t Count() const { return static_cast<std::int32_t>(m_items.size()); }

    // Item index (from 1); RuntimeError kObjectNotFound outside 1..Count.
    std::shared_ptr<T> Item(std::int32_t index) const
    {
        if (index < 1 || index > Count())
            throw RuntimeError(LcaError::kObjectNotFound, "Item " + std::to_string(index) + " not found");
        return m_items[static_cast<std::size_t>(index - 1)];
    }
    // The member with this name; RuntimeError kObjectNotFound when there is none.
    std::shared_ptr<T> Item(std::string_view name) const
    {
        for (const auto &item : m_items)
            if (answersTo(*item, name))
                return item;
        throw RuntimeError(LcaError::kObjectNotFound, "Object '" + std::string(name) + "' not found");
    }
    // The member with this name, or nullptr.
    std::shared_ptr<T> Find(std::string_view name) const
    {
        for (const auto &item : m_items)
            if (answersTo(*item, name))
                return item;
        return nullptr;
    }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<std::shared_ptr<T>> m_items;
};

class AppDevice;
class ComponentApps;
class Nv;

// A configuration property of a device, a functional block or an NV.
class Cp
{
public:
    virtual ~Cp() = default;
    virtual std::string Name() = 0;
    virtual std::int32_t ResourceScope() = 0;
    virtual std::int32_t TypeIndex() = 0;
    virtual std::string Value() = 0;
    // Text that does not parse for the CP's type is refused (kInvalidValue); nothing changes.
    virtual void SetValue(std::string_view value) = 0;
    // The value as a 32-bit integer (the factory-command property).
    virtual std::int32_t ValueAsLong() = 0;
    virtual void SetValueAsLong(std::int32_t value) = 0;
};

// A network variable of a device.
class Nv
{
public:
    virtual ~Nv() = default;
    virtual std::string Name() = 0;

    // The value as text in the NV's current format; "RAW" gives the bytes as decimal
    // numbers separated by tabs, most significant first.
    virtual std::string Value() = 0;
    // Text that does not parse for the type is refused (kInvalidValue); nothing changes.
    virtual void SetValue(std::string_view value) = 0;

    // The format name ("SNVT_power_f#SI", "RAW"); a new one is put, then committed.
    virtual std::string FormatSpec() = 0;
    virtual void SetFormatSpec(std::string_view format) = 0;
    virtual void Commit() = 0;

    // Monitoring: a non-zero tag turns monitoring on, 0 turns it off. Update events carry
    // the tag and come no faster than the rate parameter allows: the NV is polled at most
    // once per rate x 100 ms (20 is two seconds), and an update is raised when the value
    // text changed (and once when monitoring is turned on).
    virtual std::int32_t MonitorTag() = 0;
    virtual void SetMonitorTag(std::int32_t tag) = 0;
    virtual bool IsMonitorOn() = 0;
    virtual std::int32_t MonitorRate() = 0;
    virtual void SetMonitorRate(std::int32_t rate) = 0;
    virtual bool IsMonitorPaused() = 0;
    virtual void SetMonitorPaused(bool paused) = 0;

    virtual Collection<Cp> Cps() = 0;
};

// A functional block of a device interface, or a LonMark object of a device template.
class FunctionalBlock
{
public:
    virtual ~FunctionalBlock() = default;
    virtual std::string Name() = 0;
    virtual Collection<Cp> Cps() = 0;
    virtual std::int16_t Mode() = 0;
    virtual void SetMode(std::int16_t mode) = 0;
    // The key of its functional profile in the resource catalogue.
    virtual std::int32_t FunctionalProfileKey() = 0;
    // Commands registered on it (LonMark objects of device templates).
    virtual std::shared_ptr<ComponentApps> ComponentApplications() = 0;
};

// The programming interface of a device: its NVs, blocks in their fixed order, own CPs.
class Interface
{
public:
    virtual ~Interface() = default;
    virtual Collection<Nv> Nvs() = 0;
    virtual Collection<FunctionalBlock> FunctionalBlocks() = 0;
    virtual Collection<FunctionalBlock> LonMarkObjects() = 0;
    virtual Collection<Cp> Cps() = 0;
};

// A registered command on an object (a plug-in's "Browse Tellumic").
class ComponentApp
{
public:
    virtual ~ComponentApp() = default;
    virtual std::string Name() = 0;
    virtual std::string ProgId() = 0;  // the programmatic identifier of the plug-in
    virtual std::int32_t ObjectType() = 0;
    virtual std::int32_t CommandId() = 0;
    virtual void SetCommandId(std::int32_t id) = 0;
    virtual std::string Description() = 0;
    virtual void SetDescription(std::string_view text) = 0;
    virtual std::string Version() = 0;
    virtual void SetVersion(std::string_view version) = 0;
    virtual std::string ManufacturerId() = 0;
    virtual void SetManufacturerId(std::string_view id) = 0;
    virtual bool IsDefault() = 0;
    virtual void SetIsDefault(bool isDefault) = 0;
};

// A component-application collection that can grow and shrink (on the object server, a
// system, a device template or one of its LonMark objects).
class ComponentApps
{
public:
    virtual ~ComponentApps() = default;
    virtual Collection<ComponentApp> Items() = 0;
    virtual std::shared_ptr<ComponentApp> Add(std::string_view name, std::string_view progId, std::int32_t objectType) = 0;
    virtual void Remove(std::int32_t index) = 0;  // from 1
};

class DeviceTemplate
{
public:
    virtual ~DeviceTemplate() = default;
    virtual std::string Name() = 0;
    virtual std::string ProgramId() = 0;
    virtual std::shared_ptr<ComponentApps> ComponentApplications() = 0;
    virtual Collection<FunctionalBlock> LonMarkObjects() = 0;
    // Imports the device interface from an XIF file into this template.
    virtual void ImportXif(std::string_view xifPath) = 0;
};

// The template library is searched by program ID as well as by name.
inline bool answersTo(DeviceTemplate &item, std::string_view key)
{
    return item.Name() == key || item.ProgramId() == key;
}

struct DeviceStatus
{
    std::int32_t nodeState = 0;
    std::int32_t lastErrorCode = 0;
};

class AppDevice
{
public:
    virtual ~AppDevice() = default;
    virtual std::string Name() = 0;
    virtual std::string NeuronId() = 0;   // 12 hexadecimal digits
    virtual std::string ProgramId() = 0;  // 16 hexadecimal digits
    virtual std::string Location() = 0;   // 12 hexadecimal digits
    virtual std::string TemplateName() = 0;
    virtual bool Commissioned() = 0;
    virtual std::int32_t State() = 0;  // 4 = configured on-line
    virtual DeviceStatus QueryStatus() = 0;
    virtual std::int32_t SelfTest() = 0;  // 0 passes
    virtual void ClearStatus() = 0;
    virtual std::shared_ptr<Interface> GetInterface() = 0;
};

class Subsystem
{
public:
    virtual ~Subsystem() = default;
    virtual std::string Name() = 0;
    virtual Collection<AppDevice> AppDevices() = 0;
};

// A blocking transfer of one numbered file between the plug-in and a device.
class FileTransfer
{
public:
    virtual ~FileTransfer() = default;
    virtual void SetFileNumber(std::int32_t number) = 0;
    virtual void SetLength(std::int32_t bytes) = 0;
    virtual void SetParameters(std::int32_t a, std::int32_t b, std::int32_t c) = 0;
    virtual void SetTargetDevice(std::shared_ptr<AppDevice> device) = 0;
    // Reads the file; blocks until done, raising the idle event meanwhile. The result's
    // element 0 is the file's first byte (the plug-in's index 1). A cancel request of the
    // system ends it with kOperationCancelled.
    virtual std::vector<std::uint8_t> Read() = 0;
    virtual void Write(const std::vector<std::uint8_t> &bytes) = 0;
};

class NetworkInterface
{
public:
    virtual ~NetworkInterface() = default;
    virtual std::string Name() = 0;
};

class System
{
public:
    virtual ~System() = default;
    virtual std::string Name() = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;

    virtual std::int16_t MgmtMode() = 0;  // 1 = off-net
    virtual void SetMgmtMode(std::int16_t mode) = 0;
    virtual std::int32_t NumericSetting() = 0;
    virtual void SetNumericSetting(std::int32_t value) = 0;
    virtual bool Paused() = 0;
    virtual void SetPaused(bool paused) = 0;
    virtual std::shared_ptr<NetworkInterface> NetworkServiceDeviceInterface() = 0;
    // nullptr: the system opens without a network interface (engineered mode).
    virtual void SetNetworkServiceDeviceInterface(std::shared_ptr<NetworkInterface> ni) = 0;

    virtual Collection<Subsystem> Subsystems() = 0;
    virtual Collection<DeviceTemplate> DeviceTemplates() = 0;
    virtual std::shared_ptr<DeviceTemplate> AddDeviceTemplate(std::string_view name) = 0;
    virtual void RemoveDeviceTemplate(std::string_view name) = 0;
    virtual std::shared_ptr<ComponentApps> ComponentApplications() = 0;
    virtual std::string ImportFolder() = 0;

    // Writes between start and commit take effect at commit; cancel drops them.
    virtual void StartTransaction() = 0;
    virtual void CommitTransaction() = 0;
    virtual void CancelTransaction() = 0;

    virtual std::unique_ptr<FileTransfer> NewFileTransfer() = 0;
    // Ends the blocking operation in progress (a file transfer) with an error.
    virtual void CancelRunningOperation() = 0;
};

class Network
{
public:
    virtual ~Network() = default;
    virtual std::string Name() = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual Collection<System> Systems() = 0;
};

// What the object server tells the plug-in. Events are delivered from DispatchEvents (the
// user-interface event loop drives it), never nested inside another object-server call,
// except OnSystemNssIdle, which a blocking call raises repeatedly while it runs.
class ObjectServerEvents
{
public:
    virtual ~ObjectServerEvents() = default;
    virtual void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<Nv> source) = 0;
    virtual void OnNvUpdateError(std::int32_t tag, const RuntimeError &error) = 0;
    virtual void OnSystemServicePin(const std::string &neuronId, const std::string &programId) = 0;
    virtual void OnSystemNssIdle() = 0;
};

class ObjectServer
{
public:
    virtual ~ObjectServer() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;

    virtual bool Remote() = 0;
    virtual void SetRemote(bool remote) = 0;
    virtual bool BooleanOption() = 0;
    virtual void SetBooleanOption(bool value) = 0;
    virtual std::int32_t ConnectionFlags() = 0;  // 0x10 internet, 0x20 direct
    virtual void SetConnectionFlags(std::int32_t flags) = 0;

    virtual Collection<NetworkInterface> NetworkInterfaces() = 0;
    virtual std::shared_ptr<NetworkInterface> ActiveNetworkInterface() = 0;
    virtual void SetActiveNetworkInterface(std::shared_ptr<NetworkInterface> ni) = 0;

    virtual Collection<Network> Networks() = 0;
    virtual std::shared_ptr<ComponentApps> ComponentApplications() = 0;

    // Events go to one sink (the device window); nullptr detaches it.
    virtual void SetEventSink(ObjectServerEvents *sink) = 0;
    // Delivers the events that are due (monitor updates, update errors, service pins).
    virtual void DispatchEvents() = 0;
};

}  // namespace tellumic::lns
