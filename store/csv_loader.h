#pragma once

// Filling the record store from CSV log files: the whole of a file, or what the store does
// not have of it yet.

#include <filesystem>
#include <functional>
#include <vector>
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
// store has nothing of the file, or the file no longer begins with what the store took (it
// is shorter, or the digest of its first stored bytes differs), the whole file is read and
// its counts replace the store's; otherwise only the lines after those stored are read. A file
// that does not exist adds nothing. StoreError when the file cannot be read or the store fails.
LoadResult loadLogFile(RecordStore &store, const MeterInfo &meter, const std::filesystem::path &file, bool whole);

// The two halves of loadLogFile, so that reading one file can run beside storing another.
struct LogRead
{
    MeterInfo meter;
    std::string fileName;
    RecordBatch batch;
    LoadResult result;  // all but added
    std::int64_t endBytes = 0;
    std::string digest;  // of the file's first endBytes bytes
};
// Reads the file from where state says the store stopped (whole when state is null). Uses no
// store, so it may run on another thread. StoreError when the file cannot be read.
LogRead readLogFile(const MeterInfo &meter, const std::filesystem::path &file, const FileState *state);
// Stores what was read in one transaction (nothing when the store had it all).
LoadResult storeLogRead(RecordStore &store, const LogRead &read);

struct MeterFile
{
    MeterInfo meter;
    std::filesystem::path path;
};

// Loads each file as loadLogFile does, in order, reading the next file on a thread of its own
// while the store takes the one before. done(index, result, error) follows every file, error
// "" when it was stored; a file that fails does not stop the others.
void loadLogFiles(RecordStore &store, const std::vector<MeterFile> &files, bool whole,
                  const std::function<void(std::size_t, const LoadResult &, const std::string &)> &done);

}  // namespace tellumic::store
