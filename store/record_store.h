#pragma once

// The record store: every interval record of every meter of one or more sites in one
// database, filled from the meters' CSV log files (which stay the primary record). One small
// interface, two back-ends: an SQLite file that needs nothing set up, and a PostgreSQL server
// that many harvest machines share. Plain C++.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_csv.h"

namespace tellumic::store {

// Any failure of the store: a bad URL, a server that cannot be reached, a refused write. The
// text is for the user as it stands.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The version of the schema this program writes; a store of an earlier version is brought to
// it when opened, one made by a later version is refused.
inline constexpr int kSchemaVersion = 2;

// A meter's records of one format: one device of one network, short or long records.
struct MeterKey
{
    std::string network;  // "" when loaded without a network
    std::string name;     // the device name
    bool isShort = false;

    friend bool operator==(const MeterKey &, const MeterKey &) = default;
};

// What the store keeps about a meter besides its key; an empty field leaves a value already
// stored as it was.
struct MeterInfo
{
    MeterKey key;
    std::string neuronId;
    std::string programId;
    std::string model;
};

// The records of a stretch of a CSV file, and the lines that gave no record.
struct RecordBatch
{
    std::vector<LogCsvValues> records;
    std::int64_t failed = 0;        // failed their check (with or without values kept)
    std::int64_t unrecognised = 0;  // of a record type not known
    std::int64_t unreadable = 0;    // neither a record line nor a known no-value line
};

// How far a meter's CSV file has been stored, and what it held that gave no record.
struct FileState
{
    std::int64_t storedBytes = 0;  // the file's bytes taken, whole lines only; 0: none yet
    std::string storedDigest;      // fileDigest of those bytes; "": not known (read it whole)
    std::int64_t failed = 0;
    std::int64_t unrecognised = 0;
    std::int64_t unreadable = 0;
};

// The records of a meter, oldest first, within [from, to) of their record times
// ("YYYY-MM-DD hh:mm:ss" texts; empty: unbounded).
struct RecordQuery
{
    MeterKey meter;
    std::string from;
    std::string to;
};

class RecordStore
{
public:
    virtual ~RecordStore() = default;

    // How far the store has the meter's file (by its name, without folder).
    virtual FileState fileState(const MeterKey &meter, std::string_view file) = 0;

    // In one transaction: the meter's row, the batch's records whose key (meter, record
    // number, record time) is new, and the file's state: storedBytes = endBytes, storedDigest
    // = digest and the batch's counts, added to the file's earlier counts unless fromStart.
    // Returns the number of records added. Nothing is kept when it throws.
    virtual std::int64_t store(const MeterInfo &meter, std::string_view file, const RecordBatch &batch,
                               bool fromStart, std::int64_t endBytes, std::string_view digest) = 0;

    // The meters stored under this device name, of every network and format.
    virtual std::vector<MeterInfo> meters(std::string_view name) = 0;

    virtual std::vector<LogCsvValues> records(const RecordQuery &query) = 0;

    // Runs a read-only query (reports, checks) and gives its rows as texts ("" for NULL).
    virtual std::vector<std::vector<std::string>> queryText(std::string_view sql) = 0;

    // The number of records stored for a meter.
    virtual std::int64_t recordCount(const MeterKey &meter) = 0;
};

// Opens the store a URL names, creating its schema on first use:
//   sqlite:PATH           an SQLite file (sqlite: alone: TELLUMIC_HOME/Plug-In/records.sqlite)
//   postgresql://...      a PostgreSQL server, the URL handed to libpq as it is (postgres://
//                         too); postgresql:KEY=VALUE ... hands libpq the connection string after
//                         the colon
// StoreError for a URL of neither form or a store that cannot be opened.
std::unique_ptr<RecordStore> openRecordStore(std::string_view url);

// The default SQLite file.
std::string defaultStorePath();

}  // namespace tellumic::store
