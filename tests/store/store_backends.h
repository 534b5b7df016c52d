#pragma once

// The record store's back-ends as test parameters: a fresh, empty store of each kind for a
// test. The PostgreSQL store lives on a private server that the test program starts itself.

#include <filesystem>
#include <string>
#include <vector>

namespace tellumic::store {

enum class Backend { Sqlite };

inline std::vector<Backend> allBackends()
{
    return {Backend::Sqlite};
}

inline std::string backendName(Backend b)
{
    switch (b) {
    case Backend::Sqlite: return "sqlite";
    }
    return "unknown";
}

// The URL of a new, empty store; "" when the back-end cannot run here.
inline std::string testStoreUrl(Backend b, const std::filesystem::path &folder)
{
    switch (b) {
    case Backend::Sqlite: return "sqlite:" + (folder / "records.sqlite").string();
    }
    return {};
}

inline std::string backendSkipReason(Backend)
{
    return {};
}

}  // namespace tellumic::store
