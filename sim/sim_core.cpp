#include "sim/sim_core.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <thread>

namespace tellumic::sim {

namespace {

// One unit of an NV's monitor rate: the rate is the least time between two polls.
constexpr auto kMonitorRateUnit = std::chrono::milliseconds(100);

// Node states in which a device has no running application to answer NV and CP traffic.
bool answersValues(std::int32_t nodeState)
{
    return nodeState != 2 && nodeState != 3;
}

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class CoreDeviceState final : public DeviceState
{
public:
    CoreDeviceState(SimCore &core, DeviceRow &device) : m_core(core), m_device(device) {}
    Bytes value(const std::string &key) override { return m_core.storedValue(m_device, key); }
    void setValue(const std::string &key, const Bytes &bytes) override { m_core.storeValue(m_device, key, bytes); }
    Clock::TimePoint now() const override { return m_core.clock().now(); }
    std::string nvType(const std::string &nvName) override
    {
        return std::string(m_core.slot(m_device, nvKey(nvName)).type->name);
    }
    void setNvType(const std::string &nvName, const std::string &typeName) override
    {
        const auto *type = findValueType(typeName);
        if (!type)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: unknown type " + typeName);
        m_core.slot(m_device, nvKey(nvName));
        m_core.storeValue(m_device, nvTypeKey(nvName), Bytes(typeName.begin(), typeName.end()));
        m_core.storeValue(m_device, nvKey(nvName), Bytes(type->size, 0));
        m_core.nvTypeChanged(m_device.id, nvName, *type);
    }
    void reportError(std::int32_t code) override
    {
        m_device.lastError = code;
        m_core.persistLastError(m_device);
    }

private:
    SimCore &m_core;
    DeviceRow &m_device;
};

void addSlots(std::map<std::string, ValueSlot> &slots, const std::string &key, const std::string &typeName,
              const std::string &initial)
{
    ValueSlot slot;
    slot.type = findValueType(typeName);
    if (!slot.type)
        return;
    if (!parseValue(*slot.type, initial, slot.type->name, slot.initial))
        slot.initial.assign(slot.type->size, 0);
    slots[key] = slot;
}

}  // namespace

RuntimeError communicationFailure(const std::string &what)
{
    return RuntimeError(lns::LcaError::kCommunicationFailure, "LCA: Communication failure (" + what + ")");
}

SimCore::SimCore(const std::filesystem::path &lonWorksFolder, SimOptions options)
    : m_lonWorksFolder(lonWorksFolder),
      m_options(std::move(options)),
      m_clock(m_options.clock ? m_options.clock : &processClock()),
      m_db(networkDbPath(lonWorksFolder), m_options.databaseBusyTimeout)
{
    SQLite::Statement q(m_db.db(), "SELECT IFNULL(MAX(id), 0) FROM service_pins");
    q.executeStep();
    m_lastServicePin = q.getColumn(0).getInt64();
}

void SimCore::wait(std::chrono::microseconds span)
{
    if (span <= std::chrono::microseconds::zero())
        return;
    if (m_options.wait)
        m_options.wait(span);
    else if (auto *manual = dynamic_cast<ManualClock *>(m_clock))
        manual->advance(span);
    else
        std::this_thread::sleep_for(span);
}

void SimCore::syncWithDatabase()
{
    if (m_db.changedElsewhere())
        m_devices.clear();
}

DeviceRow &SimCore::device(std::int64_t id)
{
    syncWithDatabase();
    if (auto it = m_devices.find(id); it != m_devices.end())
        return it->second;
    SQLite::Statement q(m_db.db(),
                        "SELECT d.name, d.neuron_id, d.program_id, d.location, IFNULL(t.name, ''), d.commissioned,"
                        " d.node_state, d.last_error, d.self_test, d.refuse_writes, d.comm_fail_call, d.comm_fail_rate,"
                        " d.update_error_nv, d.fault_generation, s.system_id, d.refuse_write_at FROM devices d"
                        " JOIN subsystems s ON s.id = d.subsystem_id LEFT JOIN templates t ON t.id = d.template_id"
                        " WHERE d.id = ?");
    q.bind(1, id);
    if (!q.executeStep())
        throw RuntimeError(lns::LcaError::kObjectNotFound, "The device no longer exists");
    DeviceRow row;
    row.id = id;
    row.name = q.getColumn(0).getString();
    row.neuronId = q.getColumn(1).getString();
    row.programId = q.getColumn(2).getString();
    row.location = q.getColumn(3).getString();
    row.templateName = q.getColumn(4).getString();
    row.commissioned = q.getColumn(5).getInt() != 0;
    row.nodeState = q.getColumn(6).getInt();
    row.lastError = q.getColumn(7).getInt();
    row.selfTest = q.getColumn(8).getInt();
    row.refuseWrites = q.getColumn(9).getInt() != 0;
    row.commFailCall = q.getColumn(10).getInt();
    row.commFailRate = q.getColumn(11).getDouble();
    row.updateErrorNv = q.getColumn(12).getString();
    row.faultGeneration = q.getColumn(13).getInt64();
    row.systemId = q.getColumn(14).getInt64();
    row.refuseWriteAt = q.getColumn(15).getInt();
    row.model = findDeviceModel(row.programId);
    SQLite::Statement v(m_db.db(), "SELECT key, data FROM device_values WHERE device_id = ?");
    v.bind(1, id);
    while (v.executeStep()) {
        const auto data = v.getColumn(1);
        const auto *p = static_cast<const std::uint8_t *>(data.getBlob());
        row.values[v.getColumn(0).getString()] = Bytes(p, p + data.getBytes());
    }
    return m_devices.emplace(id, std::move(row)).first->second;
}

std::vector<std::int64_t> SimCore::deviceIds(std::int64_t subsystemId)
{
    std::vector<std::int64_t> ids;
    SQLite::Statement q(m_db.db(), "SELECT id FROM devices WHERE subsystem_id = ? ORDER BY id");
    q.bind(1, subsystemId);
    while (q.executeStep())
        ids.push_back(q.getColumn(0).getInt64());
    return ids;
}

const ValueSlot &SimCore::slot(const DeviceRow &device, const std::string &key)
{
    // An NV whose type was changed on this device reads in the new type.
    if (key.starts_with("nv:")) {
        if (auto changed = device.values.find(nvTypeKey(key.substr(3))); changed != device.values.end()) {
            const std::string typeName(changed->second.begin(), changed->second.end());
            auto &s = m_changedTypes[typeName];
            if (!s.type && (s.type = findValueType(typeName)))
                s.initial.assign(s.type->size, 0);
            if (s.type)
                return s;
        }
    }
    auto [it, added] = m_slots.try_emplace(device.model);
    if (added && device.model) {
        const auto &interfaceDef = device.model->interfaceDef();
        for (const auto &nv : interfaceDef.nvs) {
            addSlots(it->second, nvKey(nv.name), nv.type, nv.initial);
            for (const auto &cp : nv.cps)
                addSlots(it->second, nvCpKey(nv.name, cp), cp.type, cp.initial);
        }
        for (std::size_t b = 0; b < interfaceDef.blocks.size(); ++b)
            for (const auto &cp : interfaceDef.blocks[b].cps)
                addSlots(it->second, blockCpKey(b, cp), cp.type, cp.initial);
        for (const auto &cp : interfaceDef.cps)
            addSlots(it->second, deviceCpKey(cp), cp.type, cp.initial);
    }
    const auto s = it->second.find(key);
    if (s == it->second.end())
        throw RuntimeError(lns::LcaError::kObjectNotFound, "The device has no value " + key);
    return s->second;
}

bool SimCore::commFailureDue(DeviceRow &device)
{
    auto &count = m_callCounts[device.id];
    if (count.generation != device.faultGeneration)
        count = CallCount{device.faultGeneration, 0, 0};
    ++count.calls;
    if (device.commFailCall > 0 && count.calls == static_cast<std::uint64_t>(device.commFailCall))
        return true;
    if (device.commFailRate > 0) {
        const auto h = mix(static_cast<std::uint64_t>(device.id) * 1000003u + count.calls);
        return static_cast<double>(h >> 11) * 0x1.0p-53 < device.commFailRate;
    }
    return false;
}

// Counted after the call got through: a write that did not reach the device is no write.
bool SimCore::writeRefusalDue(DeviceRow &device)
{
    auto &count = m_callCounts[device.id];
    if (count.generation != device.faultGeneration)
        count = CallCount{device.faultGeneration, 0, 0};
    ++count.writes;
    return device.refuseWriteAt > 0 && count.writes == static_cast<std::uint64_t>(device.refuseWriteAt);
}

std::uint64_t SimCore::deviceWritesSinceFaults(std::int64_t deviceId)
{
    const auto &d = device(deviceId);
    const auto it = m_callCounts.find(deviceId);
    return it != m_callCounts.end() && it->second.generation == d.faultGeneration ? it->second.writes : 0;
}

std::uint64_t SimCore::deviceCallsSinceFaults(std::int64_t deviceId)
{
    const auto &d = device(deviceId);
    const auto it = m_callCounts.find(deviceId);
    return it != m_callCounts.end() && it->second.generation == d.faultGeneration ? it->second.calls : 0;
}

void SimCore::requireAnswers(const DeviceRow &device, bool valueTraffic) const
{
    if (!device.commissioned)
        throw communicationFailure(device.name + " is not commissioned");
    if (valueTraffic && !answersValues(device.nodeState))
        throw communicationFailure(device.name + " has no running application");
}

void SimCore::deviceCall(DeviceRow &device, bool valueTraffic)
{
    requireSystemOpen(device.systemId);
    wait(m_options.latency);
    requireAnswers(device, valueTraffic);
    if (commFailureDue(device))
        throw communicationFailure(device.name + " did not answer");
}

void SimCore::continueFileTransfer(std::int64_t deviceId)
{
    const auto &d = device(deviceId);
    requireSystemOpen(d.systemId);
    requireAnswers(d, true);
}

Bytes SimCore::storedValue(DeviceRow &device, const std::string &key)
{
    if (auto it = device.values.find(key); it != device.values.end())
        return it->second;
    return slot(device, key).initial;
}

void SimCore::storeValue(DeviceRow &device, const std::string &key, const Bytes &bytes)
{
    m_db.write([&] {
        SQLite::Statement up(m_db.db(), "INSERT OR REPLACE INTO device_values (device_id, key, data) VALUES (?, ?, ?)");
        up.bind(1, device.id);
        up.bind(2, key);
        up.bind(3, bytes.data(), static_cast<int>(bytes.size()));
        up.exec();
    });
    device.values[key] = bytes;
}

Bytes SimCore::readValue(std::int64_t deviceId, const std::string &key)
{
    auto &d = device(deviceId);
    slot(d, key);
    deviceCall(d, true);
    if (inTransaction)
        for (auto it = pendingWrites.rbegin(); it != pendingWrites.rend(); ++it)
            if (it->first == deviceId && it->second.first == key)
                return it->second.second;
    if (d.model) {
        CoreDeviceState state(*this, d);
        d.model->refresh(state, key);
    }
    return storedValue(d, key);
}

void SimCore::writeValue(std::int64_t deviceId, const std::string &key, const Bytes &bytes)
{
    auto &d = device(deviceId);
    slot(d, key);
    if (inTransaction) {
        requireSystemOpen(d.systemId);
        pendingWrites.push_back({deviceId, {key, bytes}});
        return;
    }
    deviceCall(d, true);
    if (writeRefusalDue(d) || d.refuseWrites)
        throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: " + d.name + " refused the write of " + key);
    const Bytes old = storedValue(d, key);
    storeValue(d, key, bytes);
    if (d.model) {
        CoreDeviceState state(*this, d);
        try {
            d.model->written(state, key);
        } catch (...) {
            storeValue(d, key, old);
            throw;
        }
    }
}

void SimCore::persistLastError(const DeviceRow &device)
{
    m_db.write([&] {
        SQLite::Statement up(m_db.db(), "UPDATE devices SET last_error = ? WHERE id = ?");
        up.bind(1, device.lastError);
        up.bind(2, device.id);
        up.exec();
    });
}

Bytes SimCore::readFile(std::int64_t deviceId, std::int32_t number, std::int32_t length)
{
    auto &d = device(deviceId);
    deviceCall(d, true);
    if (!d.model)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "LCA: " + d.name + " has no files");
    CoreDeviceState state(*this, d);
    return d.model->readFile(state, number, length);
}

void SimCore::writeFile(std::int64_t deviceId, std::int32_t number, const Bytes &bytes)
{
    auto &d = device(deviceId);
    deviceCall(d, true);
    if (d.refuseWrites)
        throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: " + d.name + " refused the file");
    if (!d.model)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "LCA: " + d.name + " has no files");
    CoreDeviceState state(*this, d);
    d.model->writeFile(state, number, bytes);
}

double SimCore::fileBytesPerSecond(std::int64_t deviceId, std::int32_t number)
{
    auto &d = device(deviceId);
    double rate = 0;
    if (d.model) {
        CoreDeviceState state(*this, d);
        rate = d.model->fileBytesPerSecond(state, number);
    }
    if (rate <= 0)
        rate = m_options.transferBytesPerSecond;
    return rate * std::max(m_options.transferSpeedFactor, 1e-6);
}

std::optional<std::size_t> SimCore::fileFailsAfter(std::int64_t deviceId, std::int32_t number)
{
    auto &d = device(deviceId);
    if (!d.model)
        return std::nullopt;
    CoreDeviceState state(*this, d);
    return d.model->fileFailsAfter(state, number);
}

void SimCore::requireServerOpen() const
{
    if (!serverOpen)
        throw RuntimeError(lns::LcaError::kNotOpen, "LCA: The object server is not open");
}

void SimCore::requireSystemOpen(std::int64_t systemId) const
{
    requireServerOpen();
    if (!openSystems.count(systemId))
        throw RuntimeError(lns::LcaError::kNotOpen, "LCA: The system is not open");
}

void SimCore::commitTransaction()
{
    inTransaction = false;
    auto writes = std::move(pendingWrites);
    pendingWrites.clear();
    for (const auto &[deviceId, write] : writes)
        writeValue(deviceId, write.first, write.second);
}

void SimCore::raiseIdle()
{
    if (sink)
        sink->OnSystemNssIdle();
}

std::string SimCore::nvFormat(std::int64_t deviceId, const std::string &nvName)
{
    const auto &type = *slot(device(deviceId), nvKey(nvName)).type;
    if (auto it = m_formats.find({deviceId, nvName});
        it != m_formats.end() && (it->second.typeName == type.name || isFormatOf(type, it->second.format)))
        return it->second.format;
    return std::string(type.name);
}

void SimCore::nvTypeChanged(std::int64_t deviceId, const std::string &nvName, const ValueType &type)
{
    const auto it = m_formats.find({deviceId, nvName});
    if (it == m_formats.end())
        return;
    if (isFormatOf(type, it->second.format))
        it->second.typeName = std::string(type.name);
    else
        m_formats.erase(it);
}

const ValueType *SimCore::formatType(std::int64_t deviceId, const std::string &nvName, std::string_view format)
{
    auto &d = device(deviceId);
    const auto *own = slot(d, nvKey(nvName)).type;
    if (isFormatOf(*own, format))
        return own;
    if (d.model)
        for (const auto &name : d.model->nvTypeChoices(nvName))
            if (const auto *type = findValueType(name); type && isFormatOf(*type, format))
                return type;
    return nullptr;
}

namespace {

const ValueType &fittingType(const ValueType *type, std::size_t size, const std::string &nvName, std::string_view format)
{
    if (!type)
        throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: " + std::string(format) + " is not a format of " + nvName);
    if (type->size != size)
        throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the " + std::to_string(size) + "-byte value of " + nvName +
                                                             " does not fit the format " + std::string(format));
    return *type;
}

}  // namespace

std::string SimCore::nvText(std::int64_t deviceId, const std::string &nvName, const Bytes &bytes, std::string_view format)
{
    if (format == "RAW")
        return rawText(bytes);
    return formatValue(fittingType(formatType(deviceId, nvName, format), bytes.size(), nvName, format), bytes, format);
}

Bytes SimCore::nvBytes(std::int64_t deviceId, const std::string &nvName, std::string_view text, std::string_view format)
{
    const auto &own = *slot(device(deviceId), nvKey(nvName)).type;
    const auto &type = format == "RAW" ? own : fittingType(formatType(deviceId, nvName, format), own.size, nvName, format);
    Bytes bytes;
    if (!parseValue(type, text, format, bytes))
        throw RuntimeError(lns::LcaError::kInvalidValue,
                           "LCA: '" + std::string(text) + "' is not a valid value for " + nvName);
    return bytes;
}

void SimCore::commitFormat(std::int64_t deviceId, const std::string &nvName, const std::string &format)
{
    auto &d = device(deviceId);
    const auto &type = *slot(d, nvKey(nvName)).type;
    if (d.updateErrorNv == nvName)
        throw communicationFailure(nvName + " update failed");
    m_formats[{deviceId, nvName}] = CommittedFormat{format, std::string(type.name)};
}

void SimCore::dispatchEvents()
{
    // Events wait while a blocking operation runs or while they are being delivered, so a
    // handler never sees one nested inside another call.
    if (m_dispatching || operationRunning || !serverOpen)
        return;
    m_dispatching = true;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_dispatching};
    std::vector<std::function<void()>> events;
    collectServicePins(events);
    pollMonitors(events);
    for (auto &event : events)
        if (sink)
            event();
}

void SimCore::collectServicePins(std::vector<std::function<void()>> &events)
{
    SQLite::Statement q(m_db.db(), "SELECT id, neuron_id, program_id FROM service_pins WHERE id > ? ORDER BY id");
    q.bind(1, m_lastServicePin);
    while (q.executeStep()) {
        m_lastServicePin = q.getColumn(0).getInt64();
        if (openSystems.empty())
            continue;
        events.push_back([this, nid = q.getColumn(1).getString(), pid = q.getColumn(2).getString()] {
            sink->OnSystemServicePin(nid, pid);
        });
    }
}

void SimCore::pollMonitors(std::vector<std::function<void()>> &events)
{
    const auto now = m_clock->now();
    for (auto &[point, m] : monitors) {
        const auto &[deviceId, nvName] = point;
        if (m.tag == 0 || m.paused || now < m.nextPoll)
            continue;
        std::string updateErrorNv;
        try {
            const auto &d = device(deviceId);
            if (!openSystems.count(d.systemId) || pausedSystems.count(d.systemId))
                continue;
            updateErrorNv = d.updateErrorNv;
        } catch (const RuntimeError &) {
            continue;
        }
        m.nextPoll = now + m.rate * kMonitorRateUnit;
        const auto tag = m.tag;
        try {
            if (updateErrorNv == nvName)
                throw communicationFailure(nvName + " update failed");
            const auto bytes = readValue(deviceId, nvKey(nvName));
            auto text = nvText(deviceId, nvName, bytes, nvFormat(deviceId, nvName));
            if (m.lastText == text)
                continue;
            m.lastText = text;
            // Copied by name: clang 14 cannot capture structured bindings.
            events.push_back([this, tag, text, id = deviceId, nv = nvName] {
                sink->OnNetworkVariableUpdate(tag, text, makeNv(id, nv));
            });
        } catch (const RuntimeError &e) {
            m.lastText.reset();
            events.push_back([this, tag, e] { sink->OnNvUpdateError(tag, e); });
        }
    }
}

}  // namespace tellumic::sim
