#pragma once

#include <memory>
#include <string>

#include "store/record_store.h"

namespace tellumic::store {

// The record store in an SQLite file, created with its folder when missing. Several
// processes may write it at once: each waits for the others' transactions.
std::unique_ptr<RecordStore> openSqliteStore(const std::string &path);

}  // namespace tellumic::store
