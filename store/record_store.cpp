#include "store/record_store.h"

#include "foundation/paths.h"
#include "store/postgres_store.h"
#include "store/sqlite_store.h"

namespace tellumic::store {

std::string defaultStorePath()
{
    return (programFolder() / "records.sqlite").string();
}

std::unique_ptr<RecordStore> openRecordStore(std::string_view url)
{
    if (url.starts_with("sqlite:")) {
        const std::string_view path = url.substr(7);
        return openSqliteStore(path.empty() ? defaultStorePath() : std::string(path));
    }
    if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
        return openPostgresStore(std::string(url));
    if (url.starts_with("postgresql:"))
        return openPostgresStore(std::string(url.substr(11)));
    throw StoreError("\"" + std::string(url) +
                     "\" is not a record store URL: use sqlite:PATH or postgresql://...");
}

}  // namespace tellumic::store
