#pragma once

#include <memory>
#include <string>

#include "store/record_store.h"

namespace tellumic::store {

// The record store in an SQLite file, created when missing. Its folder must be there, unless
// createFolder (the program's own folder for the default file). Several processes may write
// it at once: each waits for the others' transactions.
std::unique_ptr<RecordStore> openSqliteStore(const std::string &path, bool createFolder);

}  // namespace tellumic::store
