#include "store/record_store.h"

#include "foundation/paths.h"
#include "store/postgres_store.h"
#include "store/sqlite_store.h"
#include "store/store_url.h"

namespace tellumic::store {

std::string defaultStorePath()
{
    return (programFolder() / "records.sqlite").string();
}

std::unique_ptr<RecordStore> openRecordStore(std::string_view url)
{
    const StoreUrl parsed = parseStoreUrl(url);
    if (parsed.kind == StoreUrl::Kind::Postgresql)
        return openPostgresStore(parsed.target);
    if (parsed.target.empty())
        return openSqliteStore(defaultStorePath(), true);
    return openSqliteStore(parsed.target, false);
}

}  // namespace tellumic::store
