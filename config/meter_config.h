#pragma once

// A meter's configuration: the settings a user may edit in the device window for the
// meter's family (writable CPs and input NVs, except the clock, identity and calibration)
// and the SCPTnvType of each output group, each as the meter's own value text ("raw")
// and as the window shows it ("text" and "unit").

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/object_server.h"
#include "model/product_tables.h"

namespace tellumic::config {

inline constexpr int kFormatVersion = 1;

// How an entry is reached and checked.
enum class EntryKind {
    InputNv,  // an input NV, by name
    Cp,       // a CP, by address ("F:6/C:0:22")
    NvType,   // an output group's SCPTnvType, by address ("N:nvoEnergySum/C:0:254")
};

// One setting of a family: its name in files, its caption in the window and how it reads.
struct EntryDefinition
{
    std::string name;      // "nciCtAmps", "SCPTnvType[nvoEnergySum]"
    std::string caption;   // as the window labels it
    EntryKind kind = EntryKind::InputNv;
    std::string address;   // NV name or CP address
    std::string typeName;  // "SNVT_count", "SCPTmaxSndT", "SCPTnvType"
    std::size_t typeGroup = 0;  // NvType: the index into nvTypeGroups()
};

// The settings of a meter with this program ID, in apply order (type choices first);
// nothing for an unsupported program ID.
std::vector<EntryDefinition> configEntries(std::string_view programId);

struct ConfigValue
{
    std::string name;
    std::string raw;   // the meter's value text, written back as it is
    std::string text;  // as the device window shows it
    std::string unit;
};

struct MeterConfig
{
    int formatVersion = kFormatVersion;
    std::string programId, family, firmware, model, device, network, neuronId, saved, pluginVersion;
    std::vector<ConfigValue> values;

    const ConfigValue *find(std::string_view name) const;
};

// "302", "312", "362" or "363".
std::string familyName(CatalogueFamily family);

// The text and unit the window shows for a raw value of an entry.
void describe(const EntryDefinition &entryDef, ConfigValue &value);

// "major.minor" from the node object's version CPs; "" for families without them.
std::string firmwareVersion(lns::AppDevice &device, CatalogueFamily family);

// Reads one entry from the meter (one device call).
std::string readRaw(lns::AppDevice &device, const EntryDefinition &entryDef);
// Writes one entry's raw text to the meter (one device call).
void writeRaw(lns::AppDevice &device, const EntryDefinition &entryDef, const std::string &raw);

// Reads every setting of a meter. `network` names its network for the file; `saved` is
// the time of saving as text. RuntimeError 800407DE for an unsupported meter; the object
// server's errors pass on.
MeterConfig captureConfig(lns::AppDevice &device, const std::string &network, const std::string &saved);

}  // namespace tellumic::config
