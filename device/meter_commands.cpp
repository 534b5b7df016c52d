#include "device/meter_commands.h"

#include <map>

#include "device/device_view.h"
#include "device/monitor.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/product_tables.h"
#include "model/nv_cp.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

const std::map<std::int32_t, const char *> &errorTexts()
{
    static const std::map<std::int32_t, const char *> texts = {
        {1, "Error#Could not recover non-volatile data"},
        {7, "Error#Attempted to set nviTimeSet to invalid date/time"},
        {8, "Error#Attempted to change NV type to invalid type"},
        {9, "Error#Attempted to change the type of bound NV"},
        {10, "Error#Real-time clock oscillator stopped. May indicate dead battery"},
        {11, "Error#Real-time clock not responding"},
        {12, "Error#Real-time clock not responding"},
        {13, "Error#Real-time clock write verify failed"},
        {14, "Error#Real-time clock initialize verify failed"},
        {15, "Error#Bad CRC on real-time clock extra data"},
        {16, "Warning#Missed one or more ticks from real-time clock"},
        {17, "Error#Unrecognized logging flash version response"},
        {18, "Error#Could not recover log status information"},
        {19, "Warning#Could not recover calibration from FRAM - used EEPROM copy"},
        {20, "nciMaxSendT was set to greater than 12 hours"},
        {21, "Invalid internal nviTimeSet adjustment"},
        {22, "Update of bound demand peak SNVT failed"},
        {23, "Update of bound demand peak timestamp SNVT failed"},
        {24, "Peak demand data in FRAM corrupted"},
        {25, "Peak demand data in FRAM corrupted; writing when power failed"},
        {26, "Peak demand data in FRAM: both banks pending"},
        {27, "Calibration FRAM update pending"},
        {28, "FRAM energy data corrupted"},
        {29, "FRAM energy data in FRAM corrupted; writing when power failed"},
        {30, "FRAM energy data in FRAM: both banks pending"},
        {31, "Log info FRAM corrupted"},
        {32, "Log info FRAM corrupted; writing when power failed"},
        {33, "Log info FRAM: both banks pending"},
        {34, "Tried to set the PT ratio too small or too large"},
        {50, "Error#Bad address specified for FRAM access"},
        {51, "Error#Specified invalid serial flash write length"},
        {52, "Error#Offset + length doesn't fit in serial flash page"},
        {53, "Error#Invalid offset within serial flash page"},
        {54, "Error#Serial flash page number is invalid (>= 4096)"},
        {55, "Error#The oldest log record isn't in the page about to be erased"},
        {56, "Error#Bad NvData bank selected"},
        {57, "Error#Bad LogInfo bank selected"},
        {58, "Error#Two subsequent RTC reads didn't match"},
        {59, "Reached default case in RecoverPeakDemandFromFram()"},
        {60, "Reached default case in FindGoodNvBank()"},
        {61, "Reached default case in RecoverLogInfo()"},
        {129, "Error#Bad event: Invalid network configuration or firmware image corrupted"},
        {130, "Error#Network variable length mismatch"},
        {131, "Error#Network variable message too short: generally due to a corrupted message"},
        {132, "Error#EEPROM write failure"},
        {133, "Error#Bad address type: Invalid network configuration or firmware image corrupted"},
        {134, "Error#Preemption mode timeout: program ran out of buffers"},
        {135, "Error#Already preempted"},
        {136, "Error#Sync network variable update lost"},
        {137, "Error#Invalid response allocation"},
        {138, "Error#Invalid domain: Invalid network configuration or firmware image corrupted"},
        {139, "Error#Read past end of message"},
        {140, "Error#Write past end of message"},
        {141, "Error#Invalid address table index: Invalid network configuration or firmware image corrupted"},
        {142, "Error#Incomplete message"},
        {143, "Error#Network variable update on output network variable"},
        {144, "Error#No message avail"},
        {145, "Error#Illegal send"},
        {146, "Error#Unknown pdu"},
        {147, "Error#Invalid network variable index"},
        {148, "Error#Divide by zero"},
        {149, "Error#Invalid application error"},
        {150, "Error#Memory allocation failure"},
        {151, "Error#Write past end of net buffer"},
        {152, "Error#Appl cs error"},
        {153, "Error#Cnfg cs error"},
        {154, "Error#Invalid transceiver register addr"},
        {155, "Error#Transceiver register timeout"},
        {156, "Error#Write past end of application buffer"},
        {157, "Error#IO ready"},
        {158, "Error#Self test failed"},
        {159, "Error#Subnet router"},
        {160, "Error#Authentication mismatch"},
        {161, "Error#Self inst semaphore set"},
        {162, "Error#Read-write semaphore set"},
        {163, "Error#Application signature bad"},
        {164, "Error#Router firmware version mismatch"},
    };
    return texts;
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (auto pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

bool isOlderFamily(const std::string &programId)
{
    const auto *meter = findProgramId(programId);
    return meter && meter->ProgramId == programId &&
           (meter->family == CatalogueFamily::F302 || meter->family == CatalogueFamily::F312);
}

bool isNewerFamily(const std::string &programId)
{
    const auto *meter = findProgramId(programId);
    return meter && meter->ProgramId == programId &&
           (meter->family == CatalogueFamily::F362 || meter->family == CatalogueFamily::F363);
}

}  // namespace

std::string nodeStateText(std::int32_t nodeState)
{
    switch (nodeState) {
    case 2: return "Unconfigured";
    case 3: return "App'less";
    case 4: return "Cnfg Online";
    case 6: return "Offline";
    case 12: return "Soft Offline";
    case 140: return "Bypass";
    default: return "Unknown";
    }
}

std::string lastErrorText(std::int32_t code)
{
    if (code == 0)
        return "No errors";
    const auto it = errorTexts().find(code);
    const std::string text = it == errorTexts().end() ? "Error#" : it->second;
    return replaceAll(text, "#", " #" + std::to_string(code) + " :");
}

std::string GetTellumicState(lns::AppDevice &device, bool checkError)
{
    std::string name;
    try {
        name = device.Name();
    } catch (const RuntimeError &) {
    }
    DebugLog("MPlugIn.GetTellumicState(" + name + "," + (checkError ? "True" : "False") + ")");
    std::string state;
    try {
        if (plugIn().CurrentSystem && plugIn().CurrentSystem->MgmtMode() == 1) {
            state = "Offnet";
        } else if (!device.Commissioned()) {
            state = "Uncommissioned";
        } else {
            const std::int32_t test = device.SelfTest();
            if (checkError && test != 0)
                state = "Test Failed";
            else
                state = nodeStateText(device.QueryStatus().nodeState);
        }
    } catch (const RuntimeError &e) {
        if (e.number() == ErrorNumber::kCommunicationFailure)
            return "Comm Error";
        DebugLog("WARNING: MPlugIn.GetTellumicState()," + errorText(e));
        MsgBox("Error checking Tellumic state: " + errorText(e), MsgStyle::kOkOnly, "Tellumic Plug-in");
        return "Error";
    }
    DebugLog("   GetTellumicState=" + state);
    return state;
}

std::string GetLastTmError(lns::AppDevice &device)
{
    DebugLog("MPlugIn.GetLastTmError()");
    try {
        const std::int32_t code = device.QueryStatus().lastErrorCode & 0xFF;
        const std::string text = lastErrorText(code);
        DebugLog("   GetLastTmError=" + text);
        return text;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.GetLastTmError()," + errorText(e));
        return "Error querying Tellumic: " + errorText(e);
    }
}

void ClearTmError(lns::AppDevice &device)
{
    DebugLog("MPlugIn.ClearTmError()");
    device.ClearStatus();
}

void SetTmDateTime(DeviceView &view, const std::string &dateTime)
{
    DebugLog("MPlugIn.SetTmDateTime(" + dateTime + ")");
    try {
        auto nv = CurrentNvs().Item("nviTimeSet");
        view.addInfo("nviTimeSet = " + dateTime);
        nv->SetValue(replaceAll(dateTime, "-", "/"));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MPlugIn.SetTmDateTime()," + errorText(e));
        MsgBox("Error setting the date/time in the Tellumic to " + dateTime + "\r\n" + errorText(e), MsgStyle::kOkOnly,
               "Tellumic Plug-in");
    }
}

void ResetEnergy()
{
    DebugLog("MPlugIn.ResetEnergy()");
    CurrentNvs().Item("nviResetEnergy")->SetValue("1");
}

void ResetPeakDemand(lns::AppDevice &device, const std::function<void(int waitMs)> &wait)
{
    DebugLog("MPlugIn.ResetPeakDemand()");
    const std::string programId = device.ProgramId();
    if (isOlderFamily(programId)) {
        auto nv = CurrentNvs().Item("nviLogRequest");
        nv->SetValue("3");
        wait(2000);
        nv->SetValue("0");
    } else if (isNewerFamily(programId)) {
        CurrentNvs().Item("nviResetPkDemand")->SetValue("1");
    } else {
        throw RuntimeError(kObjectErrorBase + 2012, "Invalid Tellumic model or firmware version - not supported by this plug-in");
    }
}

void ReadEnergies(DeviceView &view, lns::AppDevice &device)
{
    DebugLog("MPlugIn.ReadEnergies()");
    if (!IsMonitoringEnabled())
        return;
    std::string state = GetTellumicState(device, false);
    if (state == "Comm Error")
        state = "Read Error";
    const auto &cat = nvCpCatalogue();
    std::string lastError;
    for (std::int16_t i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if (e.Tab != "Energy" || e.Kind != "NVO" || !e.ValueCtl.isTextBox())
            continue;
        try {
            if (state != "Cnfg Online" && state != "Offnet") {
                view.setControlText(e.ValueCtl, state);
                continue;
            }
            auto nv = CurrentNvs().Item(e.Name);
            if (e.TypeName == "SNVT_elec_whr_f" || e.TypeName == "SNVT_elec_kwh_l") {
                const std::string format = nv->FormatSpec();
                if (format == "SNVT_elec_kwh_l" || format == "UNVT_elec_kwh_l") {
                    nv->SetFormatSpec("RAW");
                    nv->Commit();
                }
            }
            const std::string value = nv->Value();
            const std::string shown = FormatSnvtEnergy(value, nv->FormatSpec());
            view.setControlText(e.ValueCtl, shown);
            DebugLog("   ReadEnergies():" + e.Name + "=" + shown);
        } catch (const RuntimeError &err) {
            lastError = errorText(err);
        }
    }
    if (!lastError.empty())
        DebugLog("ERROR: MPlugIn.ReadEnergies()," + lastError);
}

void PauseLnsSystem()
{
    DebugLog("MPlugIn.PauseLnsSystem()");
    auto &system = plugIn().CurrentSystem;
    if (!system)
        return;
    if (!system->Paused())
        system->SetPaused(true);
    else
        DebugLog("   LnsSystem already paused");
}

void UnpauseLnsSystem()
{
    DebugLog("MPlugIn.UnpauseLnsSystem()");
    auto &system = plugIn().CurrentSystem;
    if (!system)
        return;
    if (system->Paused())
        system->SetPaused(false);
    else
        DebugLog("   LnsSystem already unpaused");
}

std::string servicePinMessage(const std::string &currentNeuronId, const std::string &neuronId,
                              const std::string &programId)
{
    if (equalsIgnoreCase(neuronId, currentNeuronId))
        return "Service pin pressed on this Tellumic. NID=" + FormatNeuronId(neuronId);
    // Another Tellumic is any meter of the program-ID table (a prefix test would call the
    // family-362 meter unrecognised).
    if (findProgramId(programId))
        return "Service pin pressed on different Tellumic. NID=" + FormatNeuronId(neuronId);
    return "Service pin pressed on unrecognized device. NID=" + FormatNeuronId(neuronId);
}

}  // namespace tellumic
