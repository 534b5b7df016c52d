#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/event_log.h"
#include "foundation/object_server.h"
#include "nvtype/nv_type_tables.h"

namespace tellumic {

// What a type change reaches in the device window: the device's NVs and CPs, the status
// line and the event log.
class TypeChangeSite
{
public:
    virtual ~TypeChangeSite() = default;
    // The NV collection of the device shown.
    virtual lns::Collection<lns::Nv> deviceNvs() = 0;
    // The CP an address names on the device shown, or nullptr.
    virtual std::shared_ptr<lns::Cp> cpByTypeIndex(std::string_view cpAddress) = 0;
    virtual void updateStatus(const std::string &text, int ticks) = 0;
    virtual EventLog &echLog() = 0;
};

// True while the change-type dialog fills its lists from the meter.
bool &InitializingCombos();

// Changes a group to type `choice` of its set: gives every NV of the group the type's
// format, then writes the type's SCPTnvType text once, through the group's first NV. A
// choice outside the set is reported in the event log and changes nothing. An object-server
// error puts the formats changed so far back as they were and passes on to the caller.
void ChangeNvType(const NvTypeGroup &group, std::int16_t choice, TypeChangeSite &site);

}  // namespace tellumic
