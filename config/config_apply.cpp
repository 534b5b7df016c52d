#include "config/config_apply.h"

#include "config/config_file.h"
#include "foundation/trace_log.h"

namespace tellumic::config {

namespace {

std::vector<EntrySpec> meterSpecs(lns::AppDevice &device, std::string &programId)
{
    programId = device.ProgramId();
    return configEntries(programId);
}

// The raw value of each chosen entry that the file sets, in the meter's order.
struct Planned
{
    EntrySpec spec;
    std::string target;
    std::string before;
};

std::vector<Planned> plan(const MeterConfig &file, const std::vector<EntrySpec> &specs, const ApplyOptions &options)
{
    std::vector<Planned> planned;
    for (const auto &spec : specs) {
        const auto *value = file.find(spec.name);
        if (!value || (!options.only.empty() && !options.only.contains(spec.name)))
            continue;
        planned.push_back({spec, resolveValue(spec, *value).raw, {}});
    }
    return planned;
}

void note(const ApplyOptions &options, const std::string &line)
{
    if (options.note)
        options.note(line);
}

// Puts back the entries written so far, newest first, then reads every planned entry to
// check the meter is as it was; an entry still off is written once more.
bool rollBack(lns::AppDevice &device, std::vector<Planned> &planned, std::size_t touched, const ApplyOptions &options)
{
    for (std::size_t i = touched; i-- > 0;) {
        try {
            writeRaw(device, planned[i].spec, planned[i].before);
            note(options, planned[i].spec.name + " = " + planned[i].before + " (put back)");
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: MConfig.RollBack()," + errorText(e));
        }
    }
    bool restored = true;
    for (std::size_t i = 0; i < touched; ++i) {
        try {
            if (readRaw(device, planned[i].spec) == planned[i].before)
                continue;
            writeRaw(device, planned[i].spec, planned[i].before);
            restored = restored && readRaw(device, planned[i].spec) == planned[i].before;
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: MConfig.RollBack()," + errorText(e));
            restored = false;
        }
    }
    return restored;
}

}  // namespace

Comparison compareConfig(const MeterConfig &file, lns::AppDevice &device)
{
    DebugLog("MConfig.CompareConfig()");
    Comparison c;
    std::string programId;
    const auto specs = meterSpecs(device, programId);
    const auto *meter = findProgramId(programId);
    if (meter && familyName(meter->family) != file.family) {
        c.otherFamily = true;
        c.warnings.push_back("The file comes from a meter of family " + file.family + "; this meter is family " +
                             familyName(meter->family) + ".");
    }
    if (meter && !c.otherFamily && file.programId != programId)
        c.warnings.push_back("The file comes from another model (" + file.model + ").");
    if (meter && !c.otherFamily && !file.firmware.empty()) {
        const std::string firmware = firmwareVersion(device, meter->family);
        if (firmware != file.firmware)
            c.warnings.push_back("The file comes from firmware version " + file.firmware + "; this meter has " +
                                 firmware + ".");
    }
    if (file.device != device.Name() || file.neuronId != device.NeuronId())
        c.warnings.push_back("The file comes from another meter (" + file.device + ").");
    const auto fileSpecs = configEntries(file.programId);
    for (const auto &value : file.values) {
        CompareRow row{value.name, value.name, value.text, {}, value.unit, value.raw, {}, RowState::NotOnMeter};
        const EntrySpec *spec = nullptr;
        for (const auto &s : specs)
            spec = (!spec && s.name == value.name) ? &s : spec;
        for (const auto &s : fileSpecs)
            row.caption = s.name == value.name ? s.caption : row.caption;
        if (spec) {
            row.caption = spec->caption;
            ConfigValue meterValue{spec->name, readRaw(device, *spec), {}, {}};
            describe(*spec, meterValue);
            row.meterRaw = meterValue.raw;
            row.meterText = meterValue.text;
            row.state = resolveValue(*spec, value).raw == meterValue.raw ? RowState::Equal : RowState::Differs;
            ++c.read;
        }
        switch (row.state) {
        case RowState::Differs:
            ++c.differing;
            break;
        case RowState::Equal:
            ++c.equal;
            break;
        case RowState::NotOnMeter:
            ++c.notOnMeter;
            break;
        case RowState::ReadOnly:
            ++c.readOnly;
            break;
        }
        c.rows.push_back(std::move(row));
    }
    return c;
}

std::string summaryLine(const Comparison &c)
{
    return "Entries read: " + std::to_string(c.read) + ", differing: " + std::to_string(c.differing) +
           ", equal: " + std::to_string(c.equal) + ", not on this meter: " + std::to_string(c.notOnMeter) +
           ", read-only: " + std::to_string(c.readOnly);
}

ApplyResult applyConfig(const MeterConfig &file, lns::AppDevice &device, const ApplyOptions &options)
{
    DebugLog("MConfig.ApplyConfig()");
    ApplyResult result;
    std::vector<Planned> planned;
    try {
        std::string programId;
        const auto specs = meterSpecs(device, programId);
        const auto *meter = findProgramId(programId);
        if (!meter || familyName(meter->family) != file.family) {
            result.reason = "The file is for family " + file.family + ", this meter is " +
                            (meter ? "family " + familyName(meter->family) : std::string("not a supported meter"));
            return result;
        }
        planned = plan(file, specs, options);
        // Only what differs is written; what the meter reads now is what a failure puts back.
        std::vector<Planned> writes;
        for (auto &p : planned) {
            p.before = readRaw(device, p.spec);
            if (p.before != p.target)
                writes.push_back(p);
        }
        planned = std::move(writes);
    } catch (const RuntimeError &e) {
        result.reason = errorText(e);
        return result;
    }
    std::size_t touched = 0;
    try {
        for (; touched < planned.size(); ++touched) {
            result.failedEntry = planned[touched].spec.name;
            writeRaw(device, planned[touched].spec, planned[touched].target);
            note(options, planned[touched].spec.name + " = " + planned[touched].target);
        }
        for (const auto &p : planned) {
            result.failedEntry = p.spec.name;
            const std::string back = readRaw(device, p.spec);
            if (back != p.target)
                throw RuntimeError(ErrorNumber::kSettingNotWritten, "reads back \"" + back + "\"");
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MConfig.ApplyConfig()," + errorText(e));
        result.reason = errorText(e);
        // The failed write itself may have reached the meter.
        result.restored = rollBack(device, planned, std::min(touched + 1, planned.size()), options);
        return result;
    }
    result.failedEntry.clear();
    result.applied = true;
    result.written = static_cast<int>(planned.size());
    return result;
}

}  // namespace tellumic::config
