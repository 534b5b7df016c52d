#pragma once

#include <memory>
#include <string>

#include "store/record_store.h"

namespace tellumic::store {

// The record store on a PostgreSQL server, through libpq: conninfo is a connection URL or a
// KEY=VALUE string, with everything libpq reads from the environment and its service and
// password files (TLS included). Many processes and machines may write it at once.
std::unique_ptr<RecordStore> openPostgresStore(const std::string &conninfo);

}  // namespace tellumic::store
