#pragma once

// The record store's back-ends as test parameters: a fresh, empty store of each kind for a
// test. The PostgreSQL store lives on a private server that the test program starts itself.

#include <filesystem>
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

}  // namespace tellumic::store
