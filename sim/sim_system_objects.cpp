// The network side of the simulated object server: networks, systems, subsystems, device
// templates, component applications and network interfaces.

#include <SQLiteCpp/SQLiteCpp.h>

#include <fstream>

#include "foundation/text.h"
#include "sim/sim_objects.h"
#include "sim/xif_files.h"

namespace tellumic::sim {

namespace {

using lns::Collection;

RuntimeError notFound(const std::string &what)
{
    return RuntimeError(lns::LcaError::kObjectNotFound, "LCA: " + what + " not found");
}

class SimComponentApp final : public lns::ComponentApp
{
public:
    SimComponentApp(CorePtr core, std::int64_t id) : m_core(std::move(core)), m_id(id) {}
    std::string Name() override { return text("name"); }
    std::string ProgId() override { return text("prog_id"); }
    std::int32_t ObjectType() override { return number("object_type"); }
    std::int32_t CommandId() override { return number("command_id"); }
    void SetCommandId(std::int32_t id) override { set("command_id", id); }
    std::string Description() override { return text("description"); }
    void SetDescription(std::string_view t) override { set("description", std::string(t)); }
    std::string Version() override { return text("version"); }
    void SetVersion(std::string_view v) override { set("version", std::string(v)); }
    std::string ManufacturerId() override { return text("manufacturer_id"); }
    void SetManufacturerId(std::string_view id) override { set("manufacturer_id", std::string(id)); }
    bool IsDefault() override { return number("is_default") != 0; }
    void SetIsDefault(bool isDefault) override { set("is_default", isDefault ? 1 : 0); }

private:
    SQLite::Statement select(const char *column)
    {
        SQLite::Statement q(m_core->db().db(), std::string("SELECT ") + column + " FROM component_apps WHERE id = ?");
        q.bind(1, m_id);
        if (!q.executeStep())
            throw notFound("Component application");
        return q;
    }
    std::string text(const char *column) { return select(column).getColumn(0).getString(); }
    std::int32_t number(const char *column) { return select(column).getColumn(0).getInt(); }
    template <typename T>
    void set(const char *column, const T &value)
    {
        m_core->db().write([&] {
            SQLite::Statement up(m_core->db().db(), std::string("UPDATE component_apps SET ") + column + " = ? WHERE id = ?");
            up.bind(1, value);
            up.bind(2, m_id);
            if (up.exec() == 0)
                throw notFound("Component application");
        });
    }

    CorePtr m_core;
    std::int64_t m_id;
};

class SimComponentApps final : public lns::ComponentApps
{
public:
    SimComponentApps(CorePtr core, std::string owner) : m_core(std::move(core)), m_owner(std::move(owner)) {}
    Collection<lns::ComponentApp> Items() override
    {
        std::vector<std::shared_ptr<lns::ComponentApp>> items;
        for (auto id : ids())
            items.push_back(std::make_shared<SimComponentApp>(m_core, id));
        return Collection<lns::ComponentApp>(std::move(items));
    }
    std::shared_ptr<lns::ComponentApp> Add(std::string_view name, std::string_view progId, std::int32_t objectType) override
    {
        std::int64_t id = 0;
        m_core->db().write([&] {
            SQLite::Statement dup(m_core->db().db(), "SELECT 1 FROM component_apps WHERE owner = ? AND name = ?");
            dup.bind(1, m_owner);
            dup.bind(2, std::string(name));
            if (dup.executeStep())
                throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: a component application named '" + std::string(name) + "' exists");
            SQLite::Statement ins(m_core->db().db(),
                                  "INSERT INTO component_apps (owner, name, prog_id, object_type) VALUES (?, ?, ?, ?)");
            ins.bind(1, m_owner);
            ins.bind(2, std::string(name));
            ins.bind(3, std::string(progId));
            ins.bind(4, objectType);
            ins.exec();
            id = m_core->db().db().getLastInsertRowid();
        });
        return std::make_shared<SimComponentApp>(m_core, id);
    }
    void Remove(std::int32_t index) override
    {
        const auto all = ids();
        if (index < 1 || index > static_cast<std::int32_t>(all.size()))
            throw notFound("Component application " + std::to_string(index));
        m_core->db().write([&] {
            SQLite::Statement del(m_core->db().db(), "DELETE FROM component_apps WHERE id = ?");
            del.bind(1, all[static_cast<std::size_t>(index - 1)]);
            del.exec();
        });
    }

private:
    std::vector<std::int64_t> ids()
    {
        std::vector<std::int64_t> out;
        SQLite::Statement q(m_core->db().db(), "SELECT id FROM component_apps WHERE owner = ? ORDER BY id");
        q.bind(1, m_owner);
        while (q.executeStep())
            out.push_back(q.getColumn(0).getInt64());
        return out;
    }

    CorePtr m_core;
    std::string m_owner;
};

// A LonMark object of a device template: the block of the template's device model.
class TemplateObject final : public lns::FunctionalBlock
{
public:
    TemplateObject(CorePtr core, std::int64_t templateId, const BlockDef &block)
        : m_core(std::move(core)), m_templateId(templateId), m_block(block)
    {
    }
    std::string Name() override { return m_block.name; }
    Collection<lns::Cp> Cps() override { return {}; }
    std::int16_t Mode() override
    {
        SQLite::Statement q(m_core->db().db(), "SELECT value FROM settings WHERE key = ?");
        q.bind(1, modeKey());
        return q.executeStep() ? static_cast<std::int16_t>(q.getColumn(0).getInt()) : 0;
    }
    void SetMode(std::int16_t mode) override
    {
        m_core->db().write([&] {
            SQLite::Statement up(m_core->db().db(), "INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)");
            up.bind(1, modeKey());
            up.bind(2, std::to_string(mode));
            up.exec();
        });
    }
    std::int32_t FunctionalProfileKey() override { return m_block.profileKey; }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return makeComponentApps(m_core, "lonmark:" + std::to_string(m_templateId) + ":" + m_block.name);
    }

private:
    std::string modeKey() const { return "template-mode:" + std::to_string(m_templateId) + ":" + m_block.name; }

    CorePtr m_core;
    std::int64_t m_templateId;
    const BlockDef &m_block;
};

class SimTemplate final : public lns::DeviceTemplate
{
public:
    SimTemplate(CorePtr core, std::int64_t id, std::string name, std::string programId)
        : m_core(std::move(core)), m_id(id), m_name(std::move(name)), m_programId(std::move(programId))
    {
    }
    std::string Name() override { return m_name; }
    std::string ProgramId() override { return m_programId; }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return makeComponentApps(m_core, "template:" + std::to_string(m_id));
    }
    Collection<lns::FunctionalBlock> LonMarkObjects() override
    {
        std::vector<std::shared_ptr<lns::FunctionalBlock>> items;
        if (const auto *model = findDeviceModel(m_programId))
            for (const auto &block : model->interfaceDef().blocks)
                items.push_back(std::make_shared<TemplateObject>(m_core, m_id, block));
        return Collection<lns::FunctionalBlock>(std::move(items));
    }
    void ImportXif(std::string_view xifPath) override
    {
        const auto programId = xifProgramId(std::filesystem::path(xifPath));
        if (programId.empty())
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: cannot import the external interface file " + std::string(xifPath));
        m_core->db().write([&] {
            SQLite::Statement up(m_core->db().db(), "UPDATE templates SET program_id = ? WHERE id = ?");
            up.bind(1, programId);
            up.bind(2, m_id);
            up.exec();
        });
        m_programId = programId;
    }

private:
    CorePtr m_core;
    std::int64_t m_id;
    std::string m_name;
    std::string m_programId;
};

class SimSubsystem final : public lns::Subsystem
{
public:
    SimSubsystem(CorePtr core, std::int64_t id, std::string name) : m_core(std::move(core)), m_id(id), m_name(std::move(name)) {}
    std::string Name() override { return m_name; }
    Collection<lns::AppDevice> AppDevices() override
    {
        std::vector<std::shared_ptr<lns::AppDevice>> items;
        for (auto id : m_core->deviceIds(m_id))
            items.push_back(makeAppDevice(m_core, id));
        return Collection<lns::AppDevice>(std::move(items));
    }

private:
    CorePtr m_core;
    std::int64_t m_id;
    std::string m_name;
};

class NamedInterface final : public lns::NetworkInterface
{
public:
    explicit NamedInterface(std::string name) : m_name(std::move(name)) {}
    std::string Name() override { return m_name; }

private:
    std::string m_name;
};

RuntimeError notOpen(const std::string &what)
{
    return RuntimeError(lns::LcaError::kNotOpen, "LCA: " + what + " is not open");
}

class SimSystem final : public lns::System
{
public:
    SimSystem(CorePtr core, std::int64_t id, std::int64_t networkId, std::string name)
        : m_core(std::move(core)), m_id(id), m_networkId(networkId), m_name(std::move(name))
    {
    }
    std::string Name() override { return m_name; }
    void Open() override
    {
        m_core->requireServerOpen();
        if (!m_core->openNetworks.count(m_networkId))
            throw notOpen("The network");
        m_core->openSystems.insert(m_id);
    }
    void Close() override
    {
        m_core->openSystems.erase(m_id);
        m_core->pausedSystems.erase(m_id);
        CancelTransaction();
    }
    bool IsOpen() override { return m_core->serverOpen && m_core->openSystems.count(m_id) != 0; }

    std::int16_t MgmtMode() override { return static_cast<std::int16_t>(column("mgmt_mode").getInt()); }
    void SetMgmtMode(std::int16_t mode) override { set("mgmt_mode", mode); }
    std::int32_t NumericSetting() override { return column("numeric_setting").getInt(); }
    void SetNumericSetting(std::int32_t value) override { set("numeric_setting", value); }
    bool Paused() override { return m_core->pausedSystems.count(m_id) != 0; }
    void SetPaused(bool paused) override
    {
        m_core->requireSystemOpen(m_id);
        if (paused)
            m_core->pausedSystems.insert(m_id);
        else
            m_core->pausedSystems.erase(m_id);
    }
    std::shared_ptr<lns::NetworkInterface> NetworkServiceDeviceInterface() override
    {
        return makeNetworkInterface(column("nsd_interface").getString());
    }
    void SetNetworkServiceDeviceInterface(std::shared_ptr<lns::NetworkInterface> ni) override
    {
        m_core->db().write([&] {
            SQLite::Statement up(m_core->db().db(), "UPDATE systems SET nsd_interface = ? WHERE id = ?");
            up.bind(1, ni ? ni->Name() : std::string());
            up.bind(2, m_id);
            up.exec();
        });
    }

    Collection<lns::Subsystem> Subsystems() override
    {
        std::vector<std::shared_ptr<lns::Subsystem>> items;
        SQLite::Statement q(m_core->db().db(), "SELECT id, name FROM subsystems WHERE system_id = ? ORDER BY id");
        q.bind(1, m_id);
        while (q.executeStep())
            items.push_back(std::make_shared<SimSubsystem>(m_core, q.getColumn(0).getInt64(), q.getColumn(1).getString()));
        return Collection<lns::Subsystem>(std::move(items));
    }
    Collection<lns::DeviceTemplate> DeviceTemplates() override
    {
        std::vector<std::shared_ptr<lns::DeviceTemplate>> items;
        SQLite::Statement q(m_core->db().db(), "SELECT id, name, program_id FROM templates WHERE system_id = ? ORDER BY id");
        q.bind(1, m_id);
        while (q.executeStep())
            items.push_back(std::make_shared<SimTemplate>(m_core, q.getColumn(0).getInt64(), q.getColumn(1).getString(),
                                                          q.getColumn(2).getString()));
        return Collection<lns::DeviceTemplate>(std::move(items));
    }
    std::shared_ptr<lns::DeviceTemplate> AddDeviceTemplate(std::string_view name) override
    {
        std::int64_t id = 0;
        m_core->db().write([&] {
            if (templateId(name))
                throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: a device template named '" + std::string(name) + "' exists");
            SQLite::Statement ins(m_core->db().db(), "INSERT INTO templates (system_id, name, program_id) VALUES (?, ?, '')");
            ins.bind(1, m_id);
            ins.bind(2, std::string(name));
            ins.exec();
            id = m_core->db().db().getLastInsertRowid();
        });
        return std::make_shared<SimTemplate>(m_core, id, std::string(name), "");
    }
    void RemoveDeviceTemplate(std::string_view name) override
    {
        m_core->db().write([&] {
            const auto id = templateId(name);
            if (!id)
                throw notFound("Device template '" + std::string(name) + "'");
            SQLite::Statement used(m_core->db().db(), "SELECT 1 FROM devices WHERE template_id = ?");
            used.bind(1, id);
            if (used.executeStep())
                throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: the device template '" + std::string(name) + "' is in use");
            SQLite::Statement apps(m_core->db().db(), "DELETE FROM component_apps WHERE owner = ? OR owner LIKE ?");
            apps.bind(1, "template:" + std::to_string(id));
            apps.bind(2, "lonmark:" + std::to_string(id) + ":%");
            apps.exec();
            SQLite::Statement modes(m_core->db().db(), "DELETE FROM settings WHERE key LIKE ?");
            modes.bind(1, "template-mode:" + std::to_string(id) + ":%");
            modes.exec();
            SQLite::Statement del(m_core->db().db(), "DELETE FROM templates WHERE id = ?");
            del.bind(1, id);
            del.exec();
        });
    }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return makeComponentApps(m_core, "system:" + std::to_string(m_id));
    }
    std::string ImportFolder() override { return column("import_folder").getString(); }

    void StartTransaction() override
    {
        m_core->requireSystemOpen(m_id);
        if (m_core->inTransaction)
            throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: a transaction is already running");
        m_core->inTransaction = true;
    }
    void CommitTransaction() override
    {
        if (!m_core->inTransaction)
            throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: no transaction is running");
        m_core->commitTransaction();
    }
    void CancelTransaction() override
    {
        m_core->inTransaction = false;
        m_core->pendingWrites.clear();
    }

    std::unique_ptr<lns::FileTransfer> NewFileTransfer() override
    {
        m_core->requireSystemOpen(m_id);
        return makeFileTransfer(m_core);
    }
    void CancelRunningOperation() override
    {
        if (m_core->operationRunning)
            m_core->cancelRequested = true;
    }

private:
    // One column of the system's row. The statement ends before returning: a statement
    // left on a row would hold the connection's read snapshot, hiding other processes' writes.
    struct Value
    {
        std::int64_t number = 0;
        std::string text;
        std::int32_t getInt() const { return static_cast<std::int32_t>(number); }
        const std::string &getString() const { return text; }
    };
    Value column(const char *name)
    {
        SQLite::Statement q(m_core->db().db(), std::string("SELECT ") + name + " FROM systems WHERE id = ?");
        q.bind(1, m_id);
        if (!q.executeStep())
            throw notFound("System");
        const auto c = q.getColumn(0);
        return Value{c.isInteger() ? c.getInt64() : 0, c.isNull() ? std::string() : c.getString()};
    }
    void set(const char *name, std::int32_t value)
    {
        m_core->db().write([&] {
            SQLite::Statement up(m_core->db().db(), std::string("UPDATE systems SET ") + name + " = ? WHERE id = ?");
            up.bind(1, value);
            up.bind(2, m_id);
            up.exec();
        });
    }
    std::int64_t templateId(std::string_view name)
    {
        SQLite::Statement q(m_core->db().db(), "SELECT id FROM templates WHERE system_id = ? AND name = ?");
        q.bind(1, m_id);
        q.bind(2, std::string(name));
        return q.executeStep() ? q.getColumn(0).getInt64() : 0;
    }

    CorePtr m_core;
    std::int64_t m_id;
    std::int64_t m_networkId;
    std::string m_name;
};

class SimNetwork final : public lns::Network
{
public:
    SimNetwork(CorePtr core, std::int64_t id, std::string name) : m_core(std::move(core)), m_id(id), m_name(std::move(name)) {}
    std::string Name() override { return m_name; }
    void Open() override
    {
        m_core->requireServerOpen();
        m_core->openNetworks.insert(m_id);
    }
    void Close() override
    {
        for (const auto &s : systemRows())
            m_core->openSystems.erase(s.first);
        m_core->openNetworks.erase(m_id);
    }
    bool IsOpen() override { return m_core->serverOpen && m_core->openNetworks.count(m_id) != 0; }
    Collection<lns::System> Systems() override
    {
        std::vector<std::shared_ptr<lns::System>> items;
        for (const auto &[id, name] : systemRows())
            items.push_back(std::make_shared<SimSystem>(m_core, id, m_id, name));
        return Collection<lns::System>(std::move(items));
    }

private:
    std::vector<std::pair<std::int64_t, std::string>> systemRows()
    {
        std::vector<std::pair<std::int64_t, std::string>> out;
        SQLite::Statement q(m_core->db().db(), "SELECT id, name FROM systems WHERE network_id = ? ORDER BY id");
        q.bind(1, m_id);
        while (q.executeStep())
            out.emplace_back(q.getColumn(0).getInt64(), q.getColumn(1).getString());
        return out;
    }

    CorePtr m_core;
    std::int64_t m_id;
    std::string m_name;
};

}  // namespace

std::shared_ptr<lns::ComponentApps> makeComponentApps(const CorePtr &core, std::string owner)
{
    return std::make_shared<SimComponentApps>(core, std::move(owner));
}

lns::Collection<lns::Network> makeNetworks(const CorePtr &core)
{
    std::vector<std::shared_ptr<lns::Network>> items;
    SQLite::Statement q(core->db().db(), "SELECT id, name FROM networks ORDER BY id");
    while (q.executeStep())
        items.push_back(std::make_shared<SimNetwork>(core, q.getColumn(0).getInt64(), q.getColumn(1).getString()));
    return lns::Collection<lns::Network>(std::move(items));
}

lns::Collection<lns::NetworkInterface> makeNetworkInterfaces(const CorePtr &core)
{
    std::vector<std::shared_ptr<lns::NetworkInterface>> items;
    SQLite::Statement q(core->db().db(), "SELECT name FROM network_interfaces ORDER BY id");
    while (q.executeStep())
        items.push_back(std::make_shared<NamedInterface>(q.getColumn(0).getString()));
    return lns::Collection<lns::NetworkInterface>(std::move(items));
}

std::shared_ptr<lns::NetworkInterface> makeNetworkInterface(std::string name)
{
    return std::make_shared<NamedInterface>(std::move(name));
}

}  // namespace tellumic::sim
