#include "sim/network_db.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdio>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"

namespace tellumic::sim {

namespace {

constexpr const char *kSchema[] = {
    "CREATE TABLE IF NOT EXISTS networks (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS systems (id INTEGER PRIMARY KEY, network_id INTEGER NOT NULL, name TEXT NOT NULL,"
    " mgmt_mode INTEGER NOT NULL DEFAULT 0, numeric_setting INTEGER NOT NULL DEFAULT 0,"
    " import_folder TEXT NOT NULL DEFAULT '', nsd_interface TEXT NOT NULL DEFAULT '', UNIQUE (network_id, name))",
    "CREATE TABLE IF NOT EXISTS subsystems (id INTEGER PRIMARY KEY, system_id INTEGER NOT NULL, name TEXT NOT NULL,"
    " UNIQUE (system_id, name))",
    "CREATE TABLE IF NOT EXISTS templates (id INTEGER PRIMARY KEY, system_id INTEGER NOT NULL, name TEXT NOT NULL,"
    " program_id TEXT NOT NULL, UNIQUE (system_id, name))",
    // Condition and faults of a device live beside it, so that another process can set them.
    "CREATE TABLE IF NOT EXISTS devices (id INTEGER PRIMARY KEY, subsystem_id INTEGER NOT NULL, name TEXT NOT NULL,"
    " neuron_id TEXT NOT NULL, program_id TEXT NOT NULL, location TEXT NOT NULL, template_id INTEGER,"
    " commissioned INTEGER NOT NULL DEFAULT 1, node_state INTEGER NOT NULL DEFAULT 4,"
    " last_error INTEGER NOT NULL DEFAULT 0, self_test INTEGER NOT NULL DEFAULT 0,"
    " refuse_writes INTEGER NOT NULL DEFAULT 0, comm_fail_call INTEGER NOT NULL DEFAULT 0,"
    " comm_fail_rate REAL NOT NULL DEFAULT 0, update_error_nv TEXT NOT NULL DEFAULT '',"
    " fault_generation INTEGER NOT NULL DEFAULT 0, refuse_write_at INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE (subsystem_id, name))",
    "CREATE TABLE IF NOT EXISTS device_values (device_id INTEGER NOT NULL, key TEXT NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY (device_id, key))",
    // owner: "server", "system:<id>", "template:<id>" or "lonmark:<template id>:<object name>"
    "CREATE TABLE IF NOT EXISTS component_apps (id INTEGER PRIMARY KEY, owner TEXT NOT NULL, name TEXT NOT NULL,"
    " prog_id TEXT NOT NULL, object_type INTEGER NOT NULL, command_id INTEGER NOT NULL DEFAULT 0,"
    " description TEXT NOT NULL DEFAULT '', version TEXT NOT NULL DEFAULT '',"
    " manufacturer_id TEXT NOT NULL DEFAULT '', is_default INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS network_interfaces (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS service_pins (id INTEGER PRIMARY KEY, neuron_id TEXT NOT NULL, program_id TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
};

// Columns that came after a table was first made: a database an earlier simulator created
// gets them with their defaults.
void addMissingColumns(SQLite::Database &db)
{
    static constexpr std::pair<const char *, const char *> kAdded[] = {
        {"refuse_write_at", "ALTER TABLE devices ADD COLUMN refuse_write_at INTEGER NOT NULL DEFAULT 0"},
    };
    for (const auto &[column, sql] : kAdded) {
        SQLite::Statement q(db, "SELECT 1 FROM pragma_table_info('devices') WHERE name = ?");
        q.bind(1, column);
        if (!q.executeStep())
            db.exec(sql);
    }
}

}  // namespace

NetworkDb::NetworkDb(const std::filesystem::path &file, std::chrono::milliseconds busyTimeout, Open open)
{
    std::error_code ec;
    if (open == Open::Create)
        std::filesystem::create_directories(file.parent_path(), ec);
    else if (!std::filesystem::exists(file, ec) && !ec)
        throw RuntimeError(lns::LcaError::kDatabaseError,
                           "LCA: The network database " + file.string() + " is missing; run 'lns-sim init' to create it");
    m_db = std::make_unique<SQLite::Database>(
        file.string(), SQLite::OPEN_READWRITE | (open == Open::Create ? SQLite::OPEN_CREATE : 0),
        static_cast<int>(busyTimeout.count()));
    m_db->exec("PRAGMA journal_mode = WAL");
    m_db->exec("PRAGMA synchronous = NORMAL");
    write([this] {
        for (const char *sql : kSchema)
            m_db->exec(sql);
        addMissingColumns(*m_db);
    });
    changedElsewhere();
}

NetworkDb::~NetworkDb()
{
    m_versionQuery.reset();
}

void NetworkDb::write(const std::function<void()> &body)
{
    m_db->exec("BEGIN IMMEDIATE");
    try {
        body();
        m_db->exec("COMMIT");
    } catch (...) {
        try {
            m_db->exec("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
}

std::int64_t NetworkDb::insert(const std::string &sql, const std::vector<std::string> &args)
{
    SQLite::Statement s(*m_db, sql);
    for (std::size_t i = 0; i < args.size(); ++i)
        s.bind(static_cast<int>(i + 1), args[i]);
    s.exec();
    return m_db->getLastInsertRowid();
}

bool NetworkDb::changedElsewhere()
{
    if (!m_versionQuery)
        m_versionQuery = std::make_unique<SQLite::Statement>(*m_db, "PRAGMA data_version");
    m_versionQuery->reset();
    m_versionQuery->executeStep();
    const auto v = m_versionQuery->getColumn(0).getInt64();
    m_versionQuery->reset();
    const bool changed = v != m_dataVersion;
    m_dataVersion = v;
    return changed;
}

NetworkRows addNetworkRows(NetworkDb &db, const std::string &network, const std::string &importFolder,
                           const std::string &subsystem)
{
    NetworkRows rows;
    rows.network = db.insert("INSERT INTO networks (name) VALUES (?)", {network});
    db.insert("INSERT OR IGNORE INTO network_interfaces (name) VALUES (?)", {"LON1"});
    rows.system = db.insert("INSERT INTO systems (network_id, name, import_folder, nsd_interface) VALUES (?, ?, ?, 'LON1')",
                            {std::to_string(rows.network), network, importFolder});
    rows.subsystem =
        db.insert("INSERT INTO subsystems (system_id, name) VALUES (?, ?)", {std::to_string(rows.system), subsystem});
    return rows;
}

std::int64_t addTemplate(NetworkDb &db, std::int64_t systemId, const std::string &name, const std::string &programId)
{
    return db.insert("INSERT INTO templates (system_id, name, program_id) VALUES (?, ?, ?)",
                     {std::to_string(systemId), name, programId});
}

void addDevice(NetworkDb &db, std::int64_t subsystemId, const NewDevice &device)
{
    db.insert("INSERT INTO devices (subsystem_id, name, neuron_id, program_id, location, template_id)"
              " VALUES (?, ?, ?, ?, ?, ?)",
              {std::to_string(subsystemId), device.name, device.neuronId, device.programId, device.location,
               std::to_string(device.templateId)});
}

std::string neuronIdText(unsigned leadingByte, unsigned serial)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X%010X", leadingByte & 0xFFu, serial);
    return buf;
}

std::filesystem::path networkDbPath(const std::filesystem::path &lonWorksFolder)
{
    return lonWorksFolder / "Database" / "network.sqlite";
}

}  // namespace tellumic::sim
