#include "store/record_store.h"

#include "foundation/paths.h"
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
    throw StoreError("\"" + std::string(url) +
                     "\" is not a record store URL: use sqlite:PATH or postgresql://...");
}

}  // namespace tellumic::store
