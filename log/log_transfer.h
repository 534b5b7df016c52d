#pragma once

// Downloading the meter's log through the object server's file transfer: the request
// (file 4), the log information (file 3) and the records (file 5), with cancellation from
// the object server's idle event.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "foundation/clock.h"
#include "foundation/object_server.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_records.h"

namespace tellumic {

class LogWindow;

// Download modes of a request.
namespace LogMode {
inline constexpr std::uint8_t kFullLog = 0;
inline constexpr std::uint8_t kCountOfRecords = 1;
inline constexpr std::uint8_t kBackToDateTime = 2;
inline constexpr std::uint8_t kBackToRecord = 5;
}  // namespace LogMode

// The count of a "Full Log" request: more than the meter's log holds, so no download
// brings more records than this.
inline constexpr std::int32_t kMaxDownloadRecords = 24392;

// File numbers of the meter's log.
inline constexpr std::int32_t kLogInfoFile = 3;
inline constexpr std::int32_t kLogSetupFile = 4;
inline constexpr std::int32_t kLogDataFile = 5;

// Process-wide download state, shared with the device window.
struct LogFtpState
{
    bool LogCancel = false;   // "Cancel" pressed; cleared once the request is passed on
    bool LogReading = false;  // a download runs
    Clock::TimePoint LogStartTime{};
    std::int32_t LogEstimateSecs = 0;
    LogInfo CurrentLogInfo;
};
LogFtpState &logFtpState();

// The request for a download: the mode's count, stop date/time or stop record number, and
// the record format.
LogSetup makeLogSetup(bool isShort, std::uint8_t mode, std::int32_t count, const LogDateTime &stopDateTime,
                      std::int32_t stopRecnum, std::int32_t startRecnum = 0);

// Writes the request as file 4. A failure is traced and shown; the result says whether the
// meter got the request.
bool SetupLogReadFtp(lns::System &system, const std::shared_ptr<lns::AppDevice> &device, bool isShort,
                     std::uint8_t mode, std::int32_t count, const LogDateTime &stopDateTime, std::int32_t stopRecnum,
                     std::int32_t startRecnum = 0);

// Reads file 3 and decodes it. Errors go to the caller.
LogInfo ReadLogInfoFtp(lns::System &system, const std::shared_ptr<lns::AppDevice> &device);

// The meter's download lock (meterDownloadLockPath of its Neuron ID); LogBusyError when
// another download from the meter holds it, RuntimeError when it cannot be taken.
std::unique_ptr<FileLock> takeMeterDownloadLock(lns::AppDevice &device);

// What a download may hold before it starts: the meter's download lock and the CSV file's
// lock. A harvest takes both before it looks up the file's last record, so that no other
// download comes in between; the Logging tab's download holds neither and takes them itself.
struct HeldLogDownload
{
    // Shared, so that a download in parts (a harvest's chunks) keeps both from part to part.
    std::shared_ptr<FileLock> meterLock;
    std::shared_ptr<FileLock> fileLock;
    std::filesystem::path csv;  // the file fileLock guards: the one the download writes
};

// Takes the meter's download lock, then the CSV file's lock: LogBusyError when another
// download holds either, RuntimeError when one cannot be taken.
HeldLogDownload holdLogDownload(lns::AppDevice &device, const std::filesystem::path &csv);

// A part of the log fetched on its own, oldest part first: the harvest's chunks. The request
// starts at startRecnum (the meter sends from there back to the stop record, instead of from
// its newest record), and a transfer that brings fewer than `records` records was cut short:
// the records it lacks are the oldest of the part, so storing the rest would leave a hole
// that the next part could never fill. Nothing of it is stored; the download fails.
// Zero: the whole selection from the newest record, as the Logging tab asks.
struct LogChunk
{
    std::int32_t startRecnum = 0;
    std::int32_t records = 0;
};

// The whole download into the device's CSV file; the progress box ends as "Done" or
// "Failed". A download whose request could not be written reads nothing and appends nothing.
// The device window passes the plug-in's CurrentSystem and CurrentDevice. The meter's
// download lock is taken first: when another download from the meter holds it, the user is
// told ("Error retrieving log data: ") and nothing is sent. The file is opened (under its
// lock) after the request.
void ReadLogDataFtp(std::int32_t count, lns::System &system, const std::shared_ptr<lns::AppDevice> &device,
                    bool isShort, std::uint8_t mode, const LogDateTime &stopDateTime, std::int32_t stopRecnum,
                    bool keepBad, LogWindow &window, HeldLogDownload held = {}, const LogChunk &chunk = {});

// The number of records in n received bytes: n / record size to the nearest whole number,
// halves to the even neighbour (a last record cut short counts when more than half came).
std::size_t receivedRecordCount(std::size_t n, bool isShort);

enum class StoreResult { Stored, NoRecords, WriteFailed };

// What the event log says of a download's lost records: a line per cause, none when none.
std::vector<std::string> lostRecordsLines(const LostRecords &lost, bool keepBad);

// Decodes the received bytes and appends their lines to the open CSV file, the last record
// received first (the meter sends its newest first, so the file runs oldest to newest); the
// header goes first when the file was empty. NoRecords: not even half a record came (the
// user is told, nothing is written). WriteFailed: the file is as it was before (the user is
// told). Stored: the window's event log gets the completion line and an error line per cause
// of lost records, then logDataStored, and the records are under the log's name even when
// the file was deleted or replaced during the download.
StoreResult storeLogData(std::span<const std::uint8_t> bytes, LogCsvFile &file, bool isShort, bool keepBad,
                         LogWindow &window);

// What the device window does on the object server's idle event while a download blocks.
enum class LogIdleAction { None, ProcessEvents, CancelRequested };

// The idle-event handling of a download: refresh the progress, then either let the window
// take user input or, once "Cancel" was pressed, ask the system to end the transfer (once,
// however often "Cancel" was pressed before this event).
LogIdleAction handleLogNssIdle(lns::System &system, LogWindow &window);

}  // namespace tellumic
