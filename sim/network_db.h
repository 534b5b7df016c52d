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

    explicit NetworkDb(const std::filesystem::path &file, std::chrono::milliseconds busyTimeout = kBusyTimeout);
    ~NetworkDb();
    NetworkDb(const NetworkDb &) = delete;
    NetworkDb &operator=(const NetworkDb &) = delete;

    SQLite::Database &db() { return *m_db; }

    // Runs body in one write transaction; an exception rolls it back and passes on.
    void write(const std::function<void()> &body);

    // True when another connection changed the database since the last call.
    bool changedElsewhere();

private:
    std::unique_ptr<SQLite::Database> m_db;
    std::unique_ptr<SQLite::Statement> m_versionQuery;
    std::int64_t m_dataVersion = -1;
};

// The database file inside a LonWorks folder.
std::filesystem::path networkDbPath(const std::filesystem::path &lonWorksFolder);

}  // namespace tellumic::sim
