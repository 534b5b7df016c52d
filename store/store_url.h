#pragma once

// What a record store URL names, read without opening anything: an SQLite file, or a
// PostgreSQL connection that libpq is handed. Forms that would keep nothing (an in-memory
// SQLite database) or that mean something other than a file to SQLite (its URI file names)
// are refused, so a load never reports records that went nowhere.

#include <string>
#include <string_view>

namespace tellumic::store {

struct StoreUrl
{
    enum class Kind { Sqlite, Postgresql };
    Kind kind = Kind::Sqlite;
    // Sqlite: the file's path ("" for the default file). Postgresql: what libpq is handed (a
    // postgresql:// URL as it stands, or the connection string after "postgresql:").
    std::string target;
};

// StoreError with the reason when the URL is of no form the store takes.
StoreUrl parseStoreUrl(std::string_view url);

}  // namespace tellumic::store
