#pragma once

// The record store's back-ends as test parameters: a fresh, empty store of each kind for a
// test. The PostgreSQL store lives on a private server that the test program starts itself.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/postgres_server.h"

namespace tellumic::store {

enum class Backend { Sqlite, Postgresql };

inline std::vector<Backend> allBackends()
{
    return {Backend::Sqlite, Backend::Postgresql};
}

inline std::string backendName(Backend b)
{
    return b == Backend::Sqlite ? "sqlite" : "postgresql";
}

// The URL of a new, empty store; "" when the back-end cannot run here.
inline std::string testStoreUrl(Backend b, const std::filesystem::path &folder)
{
    if (b == Backend::Sqlite)
        return "sqlite:" + (folder / "records.sqlite").string();
    auto *server = test::PostgresServer::instance();
    return server ? server->newDatabaseUrl() : std::string();
}

inline std::string backendSkipReason(Backend)
{
    return test::PostgresServer::skipReason();
}

#ifdef TELLUMIC_README
// The GRANT statements the README gives a site's role (site_a), for role.
inline std::vector<std::string> readmeSiteGrants(const std::string &role)
{
    std::ifstream in(TELLUMIC_README);
    std::vector<std::string> grants;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("    GRANT ") || line.find(" TO site_a;") == std::string::npos)
            continue;
        line = line.substr(4);
        line.replace(line.find(" TO site_a;"), 11, " TO " + role + ";");
        grants.push_back(line);
    }
    return grants;
}
#endif

}  // namespace tellumic::store
