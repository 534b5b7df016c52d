#pragma once

// The network database of the simulated LNS installation: one SQLite file in the LonWorks
// folder that the plug-in, lns-host and lns-sim open at the same time. Readers never block
// writers (WAL); writers take the write lock up front (BEGIN IMMEDIATE) and queue on the
// busy timeout, so no process loses a write.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace SQLite {
class Database;
class Statement;
}

namespace tellumic::sim {

class NetworkDb
{
public:
    // How long a statement waits for another connection's lock before it fails.
    static constexpr std::chrono::milliseconds kBusyTimeout{60'000};

    // Opens the installation's database. Only the installation's set-up (create) makes a
    // missing one: anyone else would replace a deleted database with an empty one and go on
    // as if the networks were gone. A missing file is RuntimeError kDatabaseError naming it.
    enum class Open { Existing, Create };
    explicit NetworkDb(const std::filesystem::path &file, std::chrono::milliseconds busyTimeout = kBusyTimeout,
                       Open open = Open::Existing);
    ~NetworkDb();
    NetworkDb(const NetworkDb &) = delete;
    NetworkDb &operator=(const NetworkDb &) = delete;

    SQLite::Database &db() { return *m_db; }

    // Runs body in one write transaction; an exception rolls it back and passes on.
    void write(const std::function<void()> &body);

    // Runs an INSERT with its arguments bound in order as text; the new row's id.
    std::int64_t insert(const std::string &sql, const std::vector<std::string> &args);

    // True when another connection changed the database since the last call.
    bool changedElsewhere();

private:
    std::unique_ptr<SQLite::Database> m_db;
    std::unique_ptr<SQLite::Statement> m_versionQuery;
    std::int64_t m_dataVersion = -1;
};

// The ids of a network's rows: the network, its system (of the same name) and a subsystem.
struct NetworkRows
{
    std::int64_t network = 0, system = 0, subsystem = 0;
};
// Adds a network, the network interface "LON1" (once for all networks), the network's system
// importing XIF files from importFolder, and its subsystem. Inside a write transaction.
NetworkRows addNetworkRows(NetworkDb &db, const std::string &network, const std::string &importFolder,
                           const std::string &subsystem);
// Adds a device template of a system; its id.
std::int64_t addTemplate(NetworkDb &db, std::int64_t systemId, const std::string &name, const std::string &programId);

struct NewDevice
{
    std::string name, neuronId, programId, location;
    std::int64_t templateId = 0;
};
void addDevice(NetworkDb &db, std::int64_t subsystemId, const NewDevice &device);

// A Neuron ID as the database keeps it: twelve hexadecimal digits, a leading byte and then
// a serial number.
std::string neuronIdText(unsigned leadingByte, unsigned serial);

// The database file inside a LonWorks folder.
std::filesystem::path networkDbPath(const std::filesystem::path &lonWorksFolder);

}  // namespace tellumic::sim
