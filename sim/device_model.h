#pragma once

// What a simulated device is: its programming interface (NVs, functional blocks in their
// fixed order, CPs) and its behaviour. A device model serves one or more program IDs and is
// registered like any other; the meter families and the other makers' devices are models.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/clock.h"
#include "sim/value_types.h"

namespace tellumic::sim {

struct CpDef
{
    std::string name;
    std::int32_t scope = 0;  // resource scope: 0 standard types, 3 the maker's own
    std::int32_t index = 0;  // type index within the scope
    std::string type;        // a value type of value_types.h
    std::string initial;     // initial value in the type's default format; "" is all zero
};

struct NvDef
{
    std::string name;
    std::string type;
    bool input = false;
    std::string initial;
    std::vector<CpDef> cps;  // the CPs that apply to this NV
};

struct BlockDef
{
    std::string name;
    std::int32_t profileKey = 0;  // functional-profile key in the resource catalogue
    std::vector<CpDef> cps;
};

struct InterfaceDef
{
    std::vector<NvDef> nvs;
    std::vector<BlockDef> blocks;  // in the order "F:n" counts, from 0
    std::vector<CpDef> cps;        // the device's own CPs
};

// Keys under which a device's values are stored.
std::string nvKey(std::string_view nvName);
std::string blockCpKey(std::size_t block, const CpDef &cp);
std::string nvCpKey(std::string_view nvName, const CpDef &cp);
std::string deviceCpKey(const CpDef &cp);

// Where a device keeps the type an NV was changed to.
std::string nvTypeKey(std::string_view nvName);

// One device's stored values as a model sees them.
class DeviceState
{
public:
    virtual ~DeviceState() = default;
    virtual Bytes value(const std::string &key) = 0;
    virtual void setValue(const std::string &key, const Bytes &bytes) = 0;
    virtual Clock::TimePoint now() const = 0;
    // The NV's type on this device, and a change of it (its value starts at zero, and a
    // format that does not fit the new type gives way to the type's own); RuntimeError
    // kInvalidValue for an unknown type.
    virtual std::string nvType(const std::string &nvName) = 0;
    virtual void setNvType(const std::string &nvName, const std::string &typeName) = 0;
    // The error code the device's status query reports from now on (until cleared).
    virtual void reportError(std::int32_t code) = 0;
};

class DeviceModel
{
public:
    virtual ~DeviceModel() = default;
    virtual const InterfaceDef &interfaceDef() const = 0;

    // Brings values that follow time up to date before one is read.
    virtual void refresh(DeviceState &, const std::string & /*key*/) const {}
    // Reacts to a written NV or CP (commands, type changes); throws RuntimeError to refuse.
    virtual void written(DeviceState &, const std::string & /*key*/) const {}

    // Device files moved by file transfer. By default a device has none.
    virtual Bytes readFile(DeviceState &state, std::int32_t number, std::int32_t length) const;
    virtual void writeFile(DeviceState &state, std::int32_t number, const Bytes &bytes) const;
    // The speed at which the device sends a file, in bytes per second; 0 for the channel's.
    virtual double fileBytesPerSecond(DeviceState &, std::int32_t /*number*/) const { return 0; }

    // The types the device can change an NV to (its own among them); the object server takes
    // the formats of all of them for the NV. None by default: an NV keeps its type.
    virtual std::vector<std::string> nvTypeChoices(const std::string & /*nvName*/) const { return {}; }
    // How many bytes of a file read the device sends before it stops answering (a fault set
    // from outside); none: the whole file.
    virtual std::optional<std::size_t> fileFailsAfter(DeviceState &, std::int32_t /*number*/) const
    {
        return std::nullopt;
    }
};

// The model for a program ID (compared without regard to case), or nullptr.
const DeviceModel *findDeviceModel(std::string_view programId);
// Adds or replaces the model of a program ID. Models live as long as the process.
void registerDeviceModel(std::string programId, std::shared_ptr<const DeviceModel> model);

// The program ID of the thermostat of another maker in the demo installation.
inline constexpr std::string_view kThermostatProgramId = "9F1234560A040101";

}  // namespace tellumic::sim
