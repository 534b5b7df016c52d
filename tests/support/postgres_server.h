#pragma once

// A private PostgreSQL server for one test program: initdb into a temporary folder, listening
// only on a Unix socket in that folder, run as an unprivileged user when the tests run as
// root (the server refuses root), and stopped when the program ends. Nothing else on the
// machine is used or touched.

#include <string>

namespace tellumic::test {

class PostgresServer
{
public:
    // The program's server, started on first use; nullptr when it cannot run here, with the
    // reason in skipReason().
    static PostgresServer *instance();
    static const std::string &skipReason();

    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // A new, empty database on the server, as a libpq URL.
    std::string newDatabaseUrl();
    // Runs sql on the database of url as the server's superuser; throws when it fails.
    void runAsSuperuser(const std::string &url, const std::string &sql);
    // A role that logs in with a password only (the server trusts every other role), and the
    // URL of url's database for it with that password.
    std::string addPasswordRole(const std::string &url, const std::string &role, const std::string &password);

    // The server's socket folder.
    const std::string &socketFolder() const { return m_folder; }

    void stop();
    void start();

private:
    explicit PostgresServer(std::string binFolder);

    std::string m_bin;
    std::string m_folder;
    std::string m_runAs;  // "runuser -u nobody -- " when root
    bool m_running = false;
    int m_databases = 0;
};

}  // namespace tellumic::test
