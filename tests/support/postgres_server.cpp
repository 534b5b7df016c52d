#include "tests/support/postgres_server.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include <libpq-fe.h>

namespace tellumic::test {

namespace {

// The newest server binaries Debian's packages installed, "" when there are none.
std::string findBinFolder()
{
    std::string best;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        const auto bin = entry.path() / "bin";
        if (std::filesystem::exists(bin / "initdb") && std::filesystem::exists(bin / "pg_ctl") &&
            (best.empty() || std::stoi(entry.path().filename().string()) > std::stoi(std::filesystem::path(best).parent_path().filename().string())))
            best = bin.string();
    }
    return best;
}

void run(const std::string &command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

std::string g_skipReason;

// Members of this group log in with their password; every other role is trusted.
constexpr const char *kPasswordGroup = "password_login";

// The URL of the same database for another user.
std::string withUser(const std::string &url, const std::string &user)
{
    const auto at = url.find("&user=");
    if (at == std::string::npos)
        throw std::runtime_error("no user in " + url);
    return url.substr(0, at) + "&user=" + user;
}

}  // namespace

PostgresServer *PostgresServer::instance()
{
    static std::unique_ptr<PostgresServer> server = []() -> std::unique_ptr<PostgresServer> {
        const std::string bin = findBinFolder();
        if (bin.empty()) {
            g_skipReason = "the PostgreSQL server binaries (initdb, pg_ctl) are not installed; "
                           "scripts/install-deps.sh installs them";
            return nullptr;
        }
        std::unique_ptr<PostgresServer> s(new PostgresServer(bin));
        s->start();
        return s;
    }();
    return server.get();
}

const std::string &PostgresServer::skipReason()
{
    return g_skipReason;
}

PostgresServer::PostgresServer(std::string binFolder) : m_bin(std::move(binFolder))
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "tellumic-pg-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("cannot make a folder for the test server");
    m_folder = tmpl;
    if (::geteuid() == 0) {
        // The server refuses to run as root: its folder belongs to an unprivileged user.
        m_runAs = "runuser -u nobody -- ";
        run("chown nobody '" + m_folder + "'");
    }
    run(m_runAs + "'" + m_bin + "/initdb' -D '" + m_folder + "/data' -U postgres -A trust --no-sync -E UTF8 >'" +
        m_folder + "/initdb.log' 2>&1");
    // Read before the trust lines: the first line that fits a connection decides.
    const std::string hba = m_folder + "/data/pg_hba.conf";
    run("sed -i '1i local all +" + std::string(kPasswordGroup) + " scram-sha-256' '" + hba + "'");
}

void PostgresServer::start()
{
    run(m_runAs + "'" + m_bin + "/pg_ctl' -D '" + m_folder + "/data' -l '" + m_folder + "/server.log' -w -s -o \"-k '" +
        m_folder + "' -c listen_addresses='' -F\" start");
    m_running = true;
}

void PostgresServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    run(m_runAs + "'" + m_bin + "/pg_ctl' -D '" + m_folder + "/data' -m fast -w -s stop");
}

PostgresServer::~PostgresServer()
{
    try {
        stop();
    } catch (const std::exception &) {
    }
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::string PostgresServer::newDatabaseUrl()
{
    const std::string name = "t" + std::to_string(::getpid()) + "_" + std::to_string(++m_databases);
    const std::string admin = "postgresql:///postgres?host=" + m_folder + "&user=postgres";
    PGconn *c = PQconnectdb(admin.c_str());
    PGresult *r = PQexec(c, ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    const std::string error = PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    if (!ok)
        throw std::runtime_error("cannot create a test database: " + error);
    return "postgresql:///" + name + "?host=" + m_folder + "&user=postgres";
}

void PostgresServer::runAsSuperuser(const std::string &url, const std::string &sql)
{
    PGconn *c = PQconnectdb(withUser(url, "postgres").c_str());
    PGresult *r = PQexec(c, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    const std::string error = PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    if (!ok)
        throw std::runtime_error("failed: " + sql + ": " + error);
}

std::string PostgresServer::addPasswordRole(const std::string &url, const std::string &role,
                                            const std::string &password)
{
    const std::string group = kPasswordGroup;
    runAsSuperuser(url, "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '" + group +
                            "') THEN CREATE ROLE " + group + " NOLOGIN; END IF; END $$");
    runAsSuperuser(url, "CREATE ROLE " + role + " LOGIN PASSWORD '" + password + "' IN ROLE " + group);
    return withUser(url, role) + "&password=" + password;
}

}  // namespace tellumic::test
