#pragma once

// The harvest: the new records of every logging meter of a network, collected unattended
// into the same CSV files that the Logging tab's downloads write, through the same
// procedures: the New Records range (new_records.h), the download (ReadLogDataFtp), the
// decoding and the CSV file with its lock. A file harvested at night and one downloaded by
// hand in the day are one and the same file.
//
// A network is one channel, and a channel carries one transfer at a time: the meters of a
// network are harvested one after another. Networks run side by side only in separate
// processes (the log procedures keep process-wide state, as the plug-in does).

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/object_server.h"
#include "log/log_csv.h"

namespace tellumic {

// The records a harvest asks a meter for in one request. A stop loses at most the chunk that
// runs, so the chunk is small against a full log (24192 records, 88 minutes of long records
// on a real channel), and large against what a request costs: a request and the start of the
// transfer are two device transactions and 42 bytes on the channel, about 0.15 s on a real
// channel, where 512 long records take 111 s and 512 short ones 35 s. A stop then loses at
// most two minutes, and the requests take 0.1 % of the channel (0.4 % with short records).
inline constexpr std::int32_t kHarvestChunkRecords = 512;

struct HarvestOptions
{
    std::vector<std::string> meters;  // device names to harvest; empty: every logging meter
    bool isShort = false;             // "Short Records"
    bool keepBad = false;             // "Keep Bad Records"
    // Read only the meters' log information and tell what a harvest would fetch.
    bool dryRun = false;
    // Read every meter's log information before the first download, so that the whole
    // harvest can be estimated (a user is watching); otherwise each meter's is read at its turn.
    bool planFirst = false;
    // How often a meter that failed is tried again in the same run.
    int retries = 2;
    // The run's bound: no chunk is begun that would not end within it (by the channel's rate);
    // what is left of a meter then waits for the next harvest.
    std::optional<std::chrono::seconds> maxTime;
    std::int32_t chunkRecords = kHarvestChunkRecords;
    // How the harvest waits for a retry's turn (given at most a second at a time, so that a
    // stop is seen); by default it sleeps. Tests move their clock instead.
    std::function<void(std::chrono::milliseconds)> wait;
};

enum class HarvestOutcome {
    Harvested,  // the new records are in the file (possibly none)
    Failed,     // nothing or not all could be fetched; the file is whole
    Busy,       // another download was appending to the file: skipped
    Cancelled,  // the harvest was stopped before or during this meter
    DryRun,     // a dry run: what would be fetched
};
std::string_view harvestOutcomeName(HarvestOutcome outcome);  // "harvested", "failed", ...

// The error of a meter that the harvest did not take because it was stopped before.
inline constexpr std::string_view kStoppedBeforeMeter = "the harvest was stopped before this meter";
// The error of a meter that the run's time bound left unfinished or untouched.
inline constexpr std::string_view kTimeBoundReached = "the run's time bound was reached";

// What the harvest of one meter came to.
struct MeterResult
{
    std::string network;
    std::string name;
    std::string file;           // the CSV file's name in the program folder
    std::int64_t records = 0;   // records received and written; a dry run: records to fetch
    std::int64_t bytes = 0;     // bytes received; a dry run: bytes to fetch
    LastLogRecord first, last;  // first and last good record written (number 0: none)
    double seconds = 0;         // time taken; a dry run: the estimate
    HarvestOutcome outcome = HarvestOutcome::Failed;
    std::string error;               // why it failed, was skipped or was stopped
    std::vector<std::string> notes;  // what else the download reported (decoding faults, ...)
    // Records written without values to trust: the run cannot count as complete.
    LostRecords lost;
    // Tries the meter took in this run (0: none was begun), and the records it holds that this
    // run did not fetch (-1: not known, its log information was not read).
    int tries = 0;
    std::int64_t left = 0;
    std::string neuronId, programId;  // the device's, when they could be read
    // The record store's part, when the harvest fills one: records added (-1: no store), or
    // why the store failed (the CSV file keeps every record all the same).
    std::int64_t stored = -1;
    std::string storeError;
};

// A meter's download as it runs. The transfer is one blocking read, so the records moved
// so far are estimated from the time and the channel's rate.
struct MeterProgress
{
    std::string network;
    std::string name;
    std::int64_t expected = 0;      // records the meter should send (its log information)
    std::int64_t records = 0;       // estimated records moved so far
    double recordsPerSecond = 0;    // the channel's rate as the harvest sees it
    double elapsed = 0;             // seconds since the download started
    double left = 0;                // estimated seconds to go
};

// A meter the harvest will take, with its estimate (known when the log information was read).
struct MeterPlan
{
    std::string name;
    bool estimated = false;
    std::int64_t records = 0;
    double seconds = 0;
};

// What a harvest tells as it goes.
class HarvestReport
{
public:
    virtual ~HarvestReport() = default;
    // The meters in the order they will be taken.
    virtual void planned(const std::string &network, const std::vector<MeterPlan> &meters) = 0;
    virtual void started(const MeterProgress &progress) = 0;
    virtual void progress(const MeterProgress &progress) = 0;
    virtual void finished(const MeterResult &result) = 0;
    // About the network as a whole: it cannot be opened, or another harvest of it runs.
    virtual void networkMessage(const std::string &network, const std::string &text) = 0;
};

// Exit statuses of a harvest.
namespace HarvestStatus {
inline constexpr int kAllHarvested = 0;
inline constexpr int kSomeFailed = 1;    // some meters failed, were busy or were stopped, or records were lost
inline constexpr int kNotHarvested = 2;  // the network could not be opened or is being harvested
}  // namespace HarvestStatus

// Harvests one network of an object server: takes the network's harvest lock (a second
// harvest of the same network says so and ends), opens the network and its first system as
// the plug-in does, finds the devices whose program ID is a logging model of the product
// tables (or the named ones), and downloads each one's new records in chunks, oldest first,
// each appended to the file as soon as it is whole; a meter that fails is tried again later
// (harvest_retry.h). stopRequested is asked at every idle event of a transfer and between
// chunks and meters: once it answers true, the running transfer is cancelled as the Logging
// tab's "Cancel" does (the chunks before it stay in the file) and no further meter is taken.
// Returns a HarvestStatus; a named meter that the network does not have is not reported.
int harvestNetwork(lns::ObjectServer &server, const std::string &network, const HarvestOptions &options,
                   HarvestReport &report, const std::function<bool()> &stopRequested);

// The lock file that keeps two harvests of a network apart (in the program folder).
std::filesystem::path harvestLockPath(std::string_view network);

}  // namespace tellumic
