#pragma once

// Filling the record store from CSV log files: the whole of a file, or what the store does
// not have of it yet.

#include <filesystem>
#include <string>

#include "store/record_store.h"

namespace tellumic::store {

struct LoadResult
{
    std::int64_t records = 0;  // record lines read
    std::int64_t added = 0;    // records new to the store
    std::int64_t failed = 0, unrecognised = 0, unreadable = 0;
    bool fromStart = false;    // the file was read from its start
    bool upToDate = false;     // the store had all of the file: nothing was read
};

// The meter a CSV file is the log of: the device name from its file name, its format from its
// header (from its name when it has none). StoreError when the name is no log's name.
MeterInfo meterOfLogFile(const std::filesystem::path &file, const std::string &network);

// Stores the records of a meter's CSV file in one transaction. With whole set, or when the
// store has nothing of the file, or the file no longer holds what the store took (it is
// shorter, or a line does not end where the store stopped), the whole file is read and its
// counts replace the store's; otherwise only the lines after those stored are read. A file
// that does not exist adds nothing. StoreError when the file cannot be read or the store fails.
LoadResult loadLogFile(RecordStore &store, const MeterInfo &meter, const std::filesystem::path &file, bool whole);

}  // namespace tellumic::store
