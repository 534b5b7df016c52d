#include "sim/sim_control.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <array>
#include <utility>

#include "foundation/object_server.h"
#include "sim/models/meter_state.h"

namespace tellumic::sim {

namespace {

struct ConditionRow
{
    std::string_view name;
    DeviceCondition condition;
    std::int32_t nodeState;
    bool commissioned;
};

constexpr std::array kConditions = {
    ConditionRow{"online", DeviceCondition::ConfiguredOnline, 4, true},
    ConditionRow{"unconfigured", DeviceCondition::Unconfigured, 2, true},
    ConditionRow{"applicationless", DeviceCondition::Applicationless, 3, true},
    ConditionRow{"offline", DeviceCondition::Offline, 6, true},
    ConditionRow{"soft-offline", DeviceCondition::SoftOffline, 12, true},
    ConditionRow{"bypassed", DeviceCondition::Bypassed, 140, true},
    ConditionRow{"uncommissioned", DeviceCondition::Uncommissioned, 4, false},
};

}  // namespace

std::optional<DeviceCondition> parseCondition(std::string_view name)
{
    for (const auto &row : kConditions)
        if (row.name == name)
            return row.condition;
    return std::nullopt;
}

std::string conditionNames()
{
    std::string out;
    for (const auto &row : kConditions)
        out += (out.empty() ? "" : ", ") + std::string(row.name);
    return out;
}

SimControl::SimControl(const std::filesystem::path &lonWorksFolder, std::chrono::milliseconds busyTimeout)
    : m_db(networkDbPath(lonWorksFolder), busyTimeout)
{
}

std::vector<DeviceInfo> SimControl::devices()
{
    std::vector<DeviceInfo> out;
    SQLite::Statement q(m_db.db(),
                        "SELECT d.id, n.name, s.name, b.name, d.name, d.neuron_id, d.program_id, d.location,"
                        " IFNULL(t.name, ''), d.commissioned, d.node_state, d.comm_fail_call, d.comm_fail_rate,"
                        " d.self_test, d.last_error, d.refuse_writes, d.update_error_nv, d.refuse_write_at"
                        " FROM devices d JOIN subsystems b ON b.id = d.subsystem_id JOIN systems s ON s.id = b.system_id"
                        " JOIN networks n ON n.id = s.network_id LEFT JOIN templates t ON t.id = d.template_id"
                        " ORDER BY n.id, s.id, b.id, d.id");
    while (q.executeStep()) {
        DeviceInfo d;
        d.id = q.getColumn(0).getInt64();
        d.network = q.getColumn(1).getString();
        d.system = q.getColumn(2).getString();
        d.subsystem = q.getColumn(3).getString();
        d.name = q.getColumn(4).getString();
        d.neuronId = q.getColumn(5).getString();
        d.programId = q.getColumn(6).getString();
        d.location = q.getColumn(7).getString();
        d.templateName = q.getColumn(8).getString();
        d.commissioned = q.getColumn(9).getInt() != 0;
        d.nodeState = q.getColumn(10).getInt();
        d.faults = DeviceFaults{q.getColumn(11).getInt(), q.getColumn(12).getDouble(), q.getColumn(13).getInt(),
                                q.getColumn(14).getInt(), q.getColumn(15).getInt() != 0, q.getColumn(16).getString(),
                                q.getColumn(17).getInt()};
        out.push_back(std::move(d));
    }
    return out;
}

DeviceInfo SimControl::device(std::string_view name)
{
    std::vector<DeviceInfo> matches;
    for (auto &d : devices()) {
        const auto full = d.objectName();
        const auto lastTwo = d.subsystem + "/" + d.name;
        if (name == full || name == lastTwo || name == d.name)
            matches.push_back(d);
    }
    if (matches.size() != 1)
        throw RuntimeError(lns::LcaError::kObjectNotFound,
                           matches.empty() ? "No device named '" + std::string(name) + "'"
                                           : "More than one device is named '" + std::string(name) + "'; give its object name");
    return matches.front();
}

void SimControl::setCondition(std::int64_t deviceId, DeviceCondition condition)
{
    for (const auto &row : kConditions) {
        if (row.condition != condition)
            continue;
        m_db.write([&] {
            SQLite::Statement up(m_db.db(), "UPDATE devices SET node_state = ?, commissioned = ? WHERE id = ?");
            up.bind(1, row.nodeState);
            up.bind(2, row.commissioned ? 1 : 0);
            up.bind(3, deviceId);
            up.exec();
        });
    }
}

void SimControl::setFaults(std::int64_t deviceId, const DeviceFaults &f)
{
    m_db.write([&] {
        SQLite::Statement up(m_db.db(),
                             "UPDATE devices SET comm_fail_call = ?, comm_fail_rate = ?, self_test = ?, last_error = ?,"
                             " refuse_writes = ?, update_error_nv = ?, refuse_write_at = ?, fault_generation = fault_generation + 1"
                             " WHERE id = ?");
        up.bind(1, f.commFailAtCall);
        up.bind(2, f.commFailRate);
        up.bind(3, f.selfTestResult);
        up.bind(4, f.lastErrorCode);
        up.bind(5, f.refuseWrites ? 1 : 0);
        up.bind(6, f.updateErrorNv);
        up.bind(7, f.refuseWriteAt);
        up.bind(8, deviceId);
        up.exec();
    });
}

void SimControl::setDeviceValue(std::int64_t deviceId, const std::string &key, const std::string &text)
{
    m_db.write([&] {
        SQLite::Statement up(m_db.db(), "INSERT OR REPLACE INTO device_values (device_id, key, data) VALUES (?, ?, ?)");
        up.bind(1, deviceId);
        up.bind(2, key);
        up.bind(3, text.data(), static_cast<int>(text.size()));
        up.exec();
    });
}

void SimControl::failPower(std::int64_t deviceId)
{
    m_db.write([&] {
        std::string events;
        SQLite::Statement q(m_db.db(), "SELECT data FROM device_values WHERE device_id = ? AND key = ?");
        q.bind(1, deviceId);
        q.bind(2, kEventsKey);
        if (q.executeStep())
            events = q.getColumn(0).getString();
        const auto now = std::to_string(static_cast<long long>(seconds(processClock().now())));
        events += now + " " + std::to_string(kFlagPowerFail) + " " + now + " " + std::to_string(kFlagReset) + " ";
        SQLite::Statement up(m_db.db(), "INSERT OR REPLACE INTO device_values (device_id, key, data) VALUES (?, ?, ?)");
        up.bind(1, deviceId);
        up.bind(2, kEventsKey);
        up.bind(3, events.data(), static_cast<int>(events.size()));
        up.exec();
    });
}

void SimControl::setReferenceLoad(std::int64_t deviceId, std::size_t phase, const std::optional<PhaseLoad> &load)
{
    if (phase > 2)
        throw RuntimeError(lns::LcaError::kInvalidValue, "A meter has the phases 0 to 2");
    setDeviceValue(deviceId, referenceLoadKey(phase),
                   load ? numberListText({load->volts, load->amps, load->powerFactor}) : std::string());
}

std::array<std::optional<PhaseLoad>, 3> SimControl::referenceLoads(std::int64_t deviceId)
{
    std::array<std::optional<PhaseLoad>, 3> loads;
    for (std::size_t i = 0; i < loads.size(); ++i) {
        SQLite::Statement q(m_db.db(), "SELECT data FROM device_values WHERE device_id = ? AND key = ?");
        q.bind(1, deviceId);
        q.bind(2, referenceLoadKey(i));
        if (!q.executeStep())
            continue;
        if (const auto v = parseNumberList(q.getColumn(0).getString()); v.size() >= 3)
            loads[i] = PhaseLoad{v[0], v[1], v[2]};
    }
    return loads;
}

void SimControl::pressServicePin(std::int64_t deviceId)
{
    m_db.write([&] {
        SQLite::Statement ins(m_db.db(),
                              "INSERT INTO service_pins (neuron_id, program_id) SELECT neuron_id, program_id FROM devices WHERE id = ?");
        ins.bind(1, deviceId);
        if (ins.exec() == 0)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "No such device");
    });
}

}  // namespace tellumic::sim
