#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/nv_cp.h"

namespace tellumic {

namespace lns {
class AppDevice;
class Cp;
}  // namespace lns

// The device window's boxes and labels as the catalogue names them.
class ValueView
{
public:
    virtual ~ValueView() = default;
    virtual void setControlText(ControlRef control, const std::string &text) = 0;
    virtual std::string controlText(ControlRef control) const = 0;
};

// The meter's last state text; "Cnfg Online" is the normal state. While the meter is in
// another state (other than "Offnet"), value boxes show the state instead of a value.
std::string &MeterState();

// Shows an NV value in its entry's box, formatted for the entry's type. formatName is the
// NV's format; power formats are handed back cut at their "#".
void FormatSnvt(ValueView &view, const NvCp &entry, std::string_view value, std::string &formatName);
// Shows a CP entry's Value in its box (send times as seconds); the PT ratio also fills the
// PT primary box from the nominal voltage.
void FormatCp(ValueView &view, const NvCp &entry);
// "W"/"VAR" or "kW"/"kVAR" beside a power or demand value, for the entry's type.
void SetUnitLabel(ValueView &view, const NvCp &entry);
// The same for the power type a format names ("SNVT_power_kilo", "SNVT_power#SI"): after a
// type change the NV's format, not the entry's type, tells the unit. Other formats leave
// the label as it is.
void SetUnitLabel(ValueView &view, const NvCp &entry, std::string_view formatName);

// The CP an address names on a device: "F:" block "/C:" scope ":" index, "N:" NV name
// "/C:" scope ":" index, or "C:" scope ":" index. nullptr when there is none or the object
// server fails.
std::shared_ptr<lns::Cp> GetCpByTypeIndex(lns::AppDevice &device, std::string_view cpAddress);

}  // namespace tellumic
