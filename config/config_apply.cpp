#include "config/config_apply.h"

#include <optional>

#include "config/config_file.h"
#include "foundation/trace_log.h"

namespace tellumic::config {

namespace {

// An entry to write: the comparison's meter value is what a failure puts back.
struct Planned
{
    EntryDefinition entryDef;
    std::string target;
    std::string before;
};

// The comparison's differing rows that are chosen, in the meter's apply order.
std::vector<Planned> plan(const Comparison &c, const std::vector<EntryDefinition> &entryDefs,
                          const ApplyOptions &options)
{
    std::vector<Planned> planned;
    for (const auto &entryDef : entryDefs) {
        if (!options.only.empty() && !options.only.contains(entryDef.name))
            continue;
        for (const auto &row : c.rows)
            if (row.name == entryDef.name && row.state == RowState::Differs)
                planned.push_back({entryDef, row.targetRaw, row.meterRaw});
    }
    return planned;
}

void note(const ApplyOptions &options, const std::string &line)
{
    if (options.note)
        options.note(line);
}

// A transaction where the system offers one; false when the writes go one by one.
bool startTransaction(const ApplyOptions &options)
{
    if (!options.system)
        return false;
    try {
        options.system->StartTransaction();
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MConfig.StartTransaction()," + errorText(e));
        return false;
    }
}

void cancelTransaction(lns::System &system)
{
    try {
        system.CancelTransaction();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MConfig.CancelTransaction()," + errorText(e));
    }
}

// Puts back the first `reached` entries, newest first: an entry that reads other than
// before is written back, and every one is read to check, with one more try after a
// failure. `seen` gets what each entry read first. True when all read as before.
bool putBack(lns::AppDevice &device, const std::vector<Planned> &planned, std::size_t reached,
             const ApplyOptions &options, std::vector<std::optional<std::string>> &seen)
{
    bool restored = true;
    for (std::size_t i = reached; i-- > 0;) {
        const Planned &p = planned[i];
        bool ok = false;
        for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
            try {
                std::string now = readRaw(device, p.entryDef);
                if (!seen[i])
                    seen[i] = now;
                if (now != p.before) {
                    writeRaw(device, p.entryDef, p.before);
                    note(options, p.entryDef.name + " = " + p.before + " (put back)");
                    now = readRaw(device, p.entryDef);
                }
                ok = now == p.before;
            } catch (const RuntimeError &e) {
                DebugLog("ERROR: MConfig.PutBack()," + errorText(e));
            }
        }
        restored = restored && ok;
    }
    return restored;
}

// The entry at which a failed commit stopped: the first that did not take its value.
std::string stoppedAt(const std::vector<Planned> &planned, const std::vector<std::optional<std::string>> &seen)
{
    for (std::size_t i = 0; i < planned.size(); ++i)
        if (seen[i] && *seen[i] != planned[i].target)
            return planned[i].entryDef.name;
    return planned.back().entryDef.name;
}

// Thrown where an apply was asked to stop.
struct Stopped
{
};

void stopIfRequested(const ApplyOptions &options)
{
    if (options.stopRequested && options.stopRequested())
        throw Stopped{};
}

// After a failure or a stop: the transaction cancelled and the reached entries put back.
void rollBack(lns::AppDevice &device, const std::vector<Planned> &planned, std::size_t reached, bool transaction,
              const ApplyOptions &options, ApplyResult &result)
{
    if (transaction)
        cancelTransaction(*options.system);
    std::vector<std::optional<std::string>> seen(planned.size());
    result.restored = putBack(device, planned, reached, options, seen);
    if (result.failedEntry.empty() && !result.stopped)
        result.failedEntry = stoppedAt(planned, seen);
}

}  // namespace

Comparison compareConfig(const MeterConfig &file, lns::AppDevice &device, const CompareOptions &options)
{
    DebugLog("MConfig.CompareConfig()");
    Comparison c;
    const std::string programId = device.ProgramId();
    const auto entryDefs = configEntries(programId);
    const auto *meter = findProgramId(programId);
    if (meter && familyName(meter->family) != file.family) {
        c.otherFamily = true;
        c.warnings.push_back("The file comes from a meter of family " + file.family + "; this meter is family " +
                             familyName(meter->family) + ".");
    }
    if (meter && !c.otherFamily && file.programId != programId)
        c.warnings.push_back("The file comes from another model (" + file.model + ").");
    if (options.firmware && meter && !c.otherFamily && !file.firmware.empty()) {
        const std::string firmware = firmwareVersion(device, meter->family);
        if (firmware != file.firmware)
            c.warnings.push_back("The file comes from firmware version " + file.firmware + "; this meter has " +
                                 firmware + ".");
    }
    if (file.device != device.Name() || file.neuronId != device.NeuronId())
        c.warnings.push_back("The file comes from another meter (" + file.device + ").");
    const auto fileEntryDefs = configEntries(file.programId);
    for (const auto &value : file.values) {
        if (!options.only.empty() && !options.only.contains(value.name))
            continue;
        CompareRow row{value.name, value.name, value.text, {}, value.unit, value.raw, {}, {}, RowState::NotOnMeter};
        const EntryDefinition *entryDef = nullptr;
        for (const auto &s : entryDefs)
            entryDef = (!entryDef && s.name == value.name) ? &s : entryDef;
        for (const auto &s : fileEntryDefs)
            row.caption = s.name == value.name ? s.caption : row.caption;
        if (entryDef) {
            row.caption = entryDef->caption;
            ConfigValue meterValue{entryDef->name, {}, {}, {}};
            try {
                meterValue.raw = readRaw(device, *entryDef);
            } catch (const RuntimeError &e) {
                throw EntryReadError(e, entryDef->name);
            }
            describe(*entryDef, meterValue);
            row.meterRaw = meterValue.raw;
            row.meterText = meterValue.text;
            row.targetRaw = resolveValue(*entryDef, value).raw;
            row.state = row.targetRaw == meterValue.raw ? RowState::Equal : RowState::Differs;
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

ApplyResult applyCompared(const Comparison &comparison, lns::AppDevice &device, const ApplyOptions &options)
{
    DebugLog("MConfig.ApplyConfig()");
    ApplyResult result;
    std::vector<Planned> planned;
    try {
        if (comparison.otherFamily) {
            result.reason = comparison.warnings.empty() ? std::string("The file is for another family")
                                                         : comparison.warnings.front();
            return result;
        }
        planned = plan(comparison, configEntries(device.ProgramId()), options);
    } catch (const RuntimeError &e) {
        result.reason = errorText(e);
        return result;
    }
    const bool transaction = !planned.empty() && startTransaction(options);
    std::size_t reached = 0;  // the entries whose write may have reached the meter
    try {
        for (std::size_t i = 0; i < planned.size(); ++i) {
            stopIfRequested(options);
            result.failedEntry = planned[i].entryDef.name;
            reached = transaction ? 0 : i + 1;
            writeRaw(device, planned[i].entryDef, planned[i].target);
        }
        if (transaction) {
            stopIfRequested(options);
            // The commit makes the writes in order and stops at the first that fails.
            result.failedEntry.clear();
            reached = planned.size();
            options.system->CommitTransaction();
        }
        for (const auto &p : planned) {
            stopIfRequested(options);
            result.failedEntry = p.entryDef.name;
            const std::string back = readRaw(device, p.entryDef);
            if (back != p.target)
                throw RuntimeError(ErrorNumber::kSettingNotWritten, "reads back \"" + back + "\"");
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MConfig.ApplyConfig()," + errorText(e));
        result.reason = errorText(e);
        rollBack(device, planned, reached, transaction, options, result);
        return result;
    } catch (const Stopped &) {
        DebugLog("MConfig.ApplyConfig(), stopped");
        result.stopped = true;
        result.failedEntry.clear();
        result.reason = "stopped before it was complete";
        rollBack(device, planned, reached, transaction, options, result);
        return result;
    }
    for (const auto &p : planned)
        note(options, p.entryDef.name + " = " + p.target);
    result.failedEntry.clear();
    result.applied = true;
    result.written = static_cast<int>(planned.size());
    return result;
}

ApplyResult applyConfig(const MeterConfig &file, lns::AppDevice &device, const ApplyOptions &options)
{
    DebugLog("MConfig.ApplyConfig()");
    ApplyResult result;
    Comparison comparison;
    try {
        const auto *meter = findProgramId(device.ProgramId());
        if (!meter || familyName(meter->family) != file.family) {
            result.reason = "The file is for family " + file.family + ", this meter is " +
                            (meter ? "family " + familyName(meter->family) : std::string("not a supported meter"));
            return result;
        }
        comparison = compareConfig(file, device, {.only = options.only, .firmware = false});
    } catch (const EntryReadError &e) {
        result.failedEntry = e.entry();
        result.reason = errorText(e);
        return result;
    } catch (const RuntimeError &e) {
        result.reason = errorText(e);
        return result;
    }
    return applyCompared(comparison, device, options);
}

}  // namespace tellumic::config
