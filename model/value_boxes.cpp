#include "model/value_boxes.h"

#include <charconv>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/value_format.h"

namespace tellumic {

std::string &MeterState()
{
    static std::string state;
    return state;
}

namespace {

std::string formatForType(const NvCp &entry, std::string_view value, std::string &formatName, ValueView &view)
{
    const std::string &type = entry.TypeName;
    if (type == "SNVT_power_f#SI" || type == "SNVT_power_kilo") {
        std::string text = FormatSnvtPower(value, formatName);
        SetUnitLabel(view, entry, formatName);
        return text;
    }
    if (type == "SNVT_time_stamp")
        return FormatSnvtTimeStamp(value, formatName);
    if (type == "SNVT_elec_whr_f" || type == "SNVT_elec_kwh")
        return FormatSnvtEnergy(value, formatName);
    if (type == "SNVT_volt_f" || type == "SNVT_volt")
        return FormatSnvtVolt(value, formatName);
    if (type == "SNVT_freq_f" || type == "SNVT_freq_hz")
        return FormatSnvtFreq(value, formatName);
    if (type == "SNVT_amp_f" || type == "SNVT_amp")
        return FormatSnvtAmp(value, formatName);
    if (type == "SNVT_pwr_fact_f" || type == "SNVT_pwr_fact")
        return FormatSnvtPowerFact(value, formatName);
    if (type == "SNVT_elapsed_tm")
        return Format_SCPTmaxSndT(value);
    return std::string(value);
}

std::string plainNumber(double v)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

}  // namespace

void FormatSnvt(ValueView &view, const NvCp &entry, std::string_view value, std::string &formatName)
{
    DebugLog("MPlugIn.FormatSnvt()");
    if (!entry.ValueCtl.isTextBox())
        return;
    try {
        const std::string &state = MeterState();
        const std::string text =
            (state != "Cnfg Online" && state != "Offnet") ? state : formatForType(entry, value, formatName, view);
        view.setControlText(entry.ValueCtl, text);
        DebugLog("   FormatSnvt(" + entry.Name + ")=" + text);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.FormatSnvt()," + errorText(e));
        throw e.prefixed("MPlugIn.FormatSnvt(): ");
    }
}

void FormatCp(ValueView &view, const NvCp &entry)
{
    DebugLog("MPlugIn.FormatCp(" + entry.Name + ")");
    try {
        if (entry.ValueCtl.isTextBox())
            view.setControlText(entry.ValueCtl,
                                entry.TypeName == "SCPTmaxSndT" ? Format_SCPTmaxSndT(entry.Value) : entry.Value);
        if (entry.Name == "UCPTptRatio") {
            const double ratio = toDouble(entry.Value);
            const std::string nominal = view.controlText({ControlArray::txtCp, 4});
            if (!nominal.empty())
                view.setControlText({ControlArray::txtPtPrimary, 0}, plainNumber(toDouble(nominal) * ratio));
        }
        DebugLog("   FormatCp(" + entry.Name + ")=" + view.controlText(entry.ValueCtl));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.FormatCp()," + errorText(e));
        throw e.prefixed("MPlugIn.FormatCp(): ");
    }
}

namespace {

void showUnit(ValueView &view, const NvCp &entry, bool kilo)
{
    const bool reactive = entry.Name.compare(0, 10, "nvoReacPwr") == 0;
    view.setControlText(entry.UnitCtl, kilo ? (reactive ? "kVAR" : "kW") : (reactive ? "VAR" : "W"));
}

}  // namespace

void SetUnitLabel(ValueView &view, const NvCp &entry)
{
    DebugLog("MPlugIn.SetUnitLabel(" + entry.Name + ")");
    if (entry.UnitCtl.isNone())
        return;
    if (entry.TypeName == "SNVT_power_f#SI")
        showUnit(view, entry, false);
    else if (entry.TypeName == "SNVT_power_kilo")
        showUnit(view, entry, true);
}

void SetUnitLabel(ValueView &view, const NvCp &entry, std::string_view formatName)
{
    DebugLog("MPlugIn.SetUnitLabel(" + entry.Name + ")");
    if (entry.UnitCtl.isNone())
        return;
    const auto type = formatName.substr(0, formatName.find('#'));
    if (type == "SNVT_power_f" || type == "SNVT_power")
        showUnit(view, entry, false);
    else if (type == "SNVT_power_kilo")
        showUnit(view, entry, true);
}

std::shared_ptr<lns::Cp> GetCpByTypeIndex(lns::AppDevice &device, std::string_view cpAddress)
{
    DebugLog("MMain.GetCpByTypeIndex(" + std::string(cpAddress) + ")");
    try {
        auto iface = device.GetInterface();
        auto blocks = iface->FunctionalBlocks();
        std::string rest;
        const std::string head = ParseWord(cpAddress, ":", rest);
        lns::Collection<lns::Cp> cps;
        std::string scopeIndex;
        if (head == "C") {
            cps = iface->Cps();
            scopeIndex = rest;
        } else if (head == "F" || head == "N") {
            std::string remainder;
            const std::string owner = ParseWord(rest, "/", remainder);
            if (head == "F")
                cps = blocks.Item(toLong(owner) + 1)->Cps();
            else
                cps = iface->Nvs().Item(owner)->Cps();
            ParseWord(remainder, ":", scopeIndex);
        } else {
            return nullptr;
        }
        for (std::int32_t i = 1; i <= cps.Count(); ++i) {
            auto candidate = cps.Item(i);
            const auto scope = static_cast<std::int16_t>(candidate->ResourceScope());
            const auto index = static_cast<std::int16_t>(candidate->TypeIndex());
            if (std::to_string(scope) + ":" + std::to_string(index) == scopeIndex)
                return candidate;
        }
    } catch (const RuntimeError &) {
        // A missing block, NV or CP, or a failing object server: no CP.
    }
    return nullptr;
}

}  // namespace tellumic
