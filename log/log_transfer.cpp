#include "log/log_transfer.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unistd.h>

#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_window.h"

namespace tellumic {

namespace {

// Every transfer is set up the same way; only reads have a length.
std::unique_ptr<lns::FileTransfer> newTransfer(lns::System &system, std::int32_t fileNumber,
                                               const std::shared_ptr<lns::AppDevice> &device,
                                               std::optional<std::int64_t> length = std::nullopt)
{
    auto transfer = system.NewFileTransfer();
    transfer->SetFileNumber(fileNumber);
    if (length) {
        if (*length < 0 || *length > std::numeric_limits<std::int32_t>::max())
            throw RuntimeError(ErrorNumber::kOverflow, "Overflow");
        transfer->SetLength(static_cast<std::int32_t>(*length));
    }
    transfer->SetParameters(0, 0, 0);
    transfer->SetTargetDevice(device);
    return transfer;
}

// LogReading stays true exactly as long as the download runs, whichever way it ends.
class ReadingScope
{
public:
    ReadingScope()
    {
        LogFtpState &s = logFtpState();
        s.LogCancel = false;
        s.LogReading = true;
        s.LogStartTime = processClock().now();
    }
    ~ReadingScope() { logFtpState().LogReading = false; }
    ReadingScope(const ReadingScope &) = delete;
    ReadingScope &operator=(const ReadingScope &) = delete;
};

}  // namespace

LogFtpState &logFtpState()
{
    static LogFtpState state;
    return state;
}

LogSetup makeLogSetup(bool isShort, std::uint8_t mode, std::int32_t count, const LogDateTime &stopDateTime,
                      std::int32_t stopRecnum, std::int32_t startRecnum)
{
    LogSetup setup;
    setup.mode = mode;
    setup.count = count;
    setup.start.recordNumber = startRecnum;
    setup.stop.recordNumber = stopRecnum;
    setup.stop.dateTime = stopDateTime;
    setup.recordFormat = isShort ? kShortRecordFormat : kLongRecordFormat;
    return setup;
}

bool SetupLogReadFtp(lns::System &system, const std::shared_ptr<lns::AppDevice> &device, bool isShort,
                     std::uint8_t mode, std::int32_t count, const LogDateTime &stopDateTime, std::int32_t stopRecnum,
                     std::int32_t startRecnum)
{
    DebugLog("MLogFtp.SetupLogReadFtp()");
    try {
        const auto bytes = LogSetupToBytes(makeLogSetup(isShort, mode, count, stopDateTime, stopRecnum, startRecnum));
        newTransfer(system, kLogSetupFile, device)->Write(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.SetupLogReadFtp()," + errorText(e));
        MsgBox("SetupLogReadFtp() Error: " + errorText(e));
        return false;
    }
}

LogInfo ReadLogInfoFtp(lns::System &system, const std::shared_ptr<lns::AppDevice> &device)
{
    DebugLog("MLogFtp.ReadLogInfoFtp()");
    const std::vector<std::uint8_t> bytes = newTransfer(system, kLogInfoFile, device, kLogInfoRequestSize)->Read();
    return LoadLogInfo(bytes);
}

std::unique_ptr<FileLock> takeMeterDownloadLock(lns::AppDevice &device)
{
    const std::string neuronId = device.NeuronId();
    const auto path = meterDownloadLockPath(neuronId);
    auto lock = FileLock::tryAcquire(path);
    if (!lock)
        throw LogBusyError::meter(device.Name(), FileLock::holderNote(path));
    return lock;
}

std::size_t receivedRecordCount(std::size_t n, bool isShort)
{
    const std::size_t size = recordSize(isShort);
    const std::size_t whole = n / size;
    const std::size_t twiceRest = 2 * (n % size);
    if (twiceRest > size || (twiceRest == size && whole % 2 == 1))
        return whole + 1;
    return whole;
}

std::vector<std::string> lostRecordsLines(const LostRecords &lost, bool keepBad)
{
    std::vector<std::string> lines;
    if (lost.failedCheck > 0)
        lines.push_back(std::to_string(lost.failedCheck) +
                        (lost.failedCheck == 1 ? " record failed its check" : " records failed their check") +
                        " (CRC mismatch)" +
                        (!keepBad                ? "; written without values"
                         : lost.failedCheck == 1 ? "; kept with its values"
                                                 : "; kept with their values"));
    if (lost.unrecognized > 0)
        lines.push_back(std::to_string(lost.unrecognized) + (lost.unrecognized == 1 ? " record was" : " records were") +
                        " of an unrecognised type and written without values");
    return lines;
}

StoreResult storeLogData(std::span<const std::uint8_t> bytes, LogCsvFile &file, bool isShort, bool keepBad,
                         LogWindow &window)
{
    const std::size_t records = receivedRecordCount(bytes.size(), isShort);
    if (records == 0) {
        MsgBox("Zero log records downloaded!", MsgStyle::kOkOnly, "Read Log");
        return StoreResult::NoRecords;
    }
    // A file left empty by an earlier download that stored nothing still needs its header.
    const bool writeHeader = file.sizeAtOpen() == 0;
    // Decoded one by one into the text, newest last, rather than kept as records: a full log
    // of long records is then held twice at most, as bytes and as text.
    std::string lines;
    StoredLogData stored{records, bytes.size(), {}, {}, {}};
    ReceivedLogTally tally;
    stored.last = appendReceivedLogCsv(lines, false, bytes, records, isShort, keepBad, &tally);
    stored.first = tally.first;
    stored.lost = tally.lost;
    if (!writeLogCsvText(file, writeHeader, isShort, lines, stored.last, window))
        return StoreResult::WriteFailed;
    window.echLog().addInfo("Log read complete. Records = " + std::to_string(records) +
                       ", Bytes = " + std::to_string(bytes.size()));
    // The lines of lost records are in the file, but a count is what tells the user to look.
    for (const std::string &line : lostRecordsLines(stored.lost, keepBad))
        window.echLog().addError(line);
    window.logDataStored(stored);
    return StoreResult::Stored;
}

HeldLogDownload holdLogDownload(lns::AppDevice &device, const std::filesystem::path &csv)
{
    HeldLogDownload held;
    held.meterLock = takeMeterDownloadLock(device);
    held.fileLock = takeLogFileLock(csv);
    held.csv = csv;
    return held;
}

void ReadLogDataFtp(std::int32_t count, lns::System &system, const std::shared_ptr<lns::AppDevice> &device,
                    bool isShort, std::uint8_t mode, const LogDateTime &stopDateTime, std::int32_t stopRecnum,
                    bool keepBad, LogWindow &window, HeldLogDownload held, const LogChunk &chunk)
{
    DebugLog("MLogFtp.ReadLogDataFtp()");
    const ReadingScope reading;
    const auto fail = [&](const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.ReadLogDataFtp()," + errorText(e));
        MsgBox("Error retrieving log data: " + errorText(e), MsgStyle::kOkOnly, "Read Log");
        window.setPercentComplete("Failed");
    };
    std::shared_ptr<FileLock> meterLock = std::move(held.meterLock);
    if (!meterLock) {
        try {
            meterLock = takeMeterDownloadLock(*device);
        } catch (const RuntimeError &e) {
            return fail(e);
        }
    }
    // Without the request the meter would answer the one it held before: other records.
    if (!SetupLogReadFtp(system, device, isShort, mode, count, stopDateTime, stopRecnum, chunk.startRecnum)) {
        window.setPercentComplete("Failed");
        return;
    }
    try {
        std::filesystem::path path = programFolder() / GetLogFilename(device->Name(), isShort);
        // Held locks guard the file their taker named; at the turn of a year the name found
        // now is another year's file, which the lock does not guard.
        if (held.fileLock)
            path = held.csv;
        const std::unique_ptr<LogCsvFile> file = OpenLogFileForAppend(path, std::move(held.fileLock), isShort);
        if (!file)
            return;
        if (file->tornBytesCut() != 0)
            window.echLog().addInfo(file->tornLineNote());
        const std::int64_t length = static_cast<std::int64_t>(recordSize(isShort)) * count;
        const std::vector<std::uint8_t> bytes = newTransfer(system, kLogDataFile, device, length)->Read();
        if (const std::size_t received = receivedRecordCount(bytes.size(), isShort);
            received < static_cast<std::size_t>(std::max(chunk.records, 0)))
            throw RuntimeError(lns::LcaError::kCommunicationFailure,
                               "the transfer was cut short: " + std::to_string(received) + " of " +
                                   std::to_string(chunk.records) + " records came");
        // A meter that ignores the start record sends its newest records instead: appended,
        // they would leave a hole before them that the next harvest never fills.
        if (chunk.startRecnum != 0) {
            if (const std::size_t outside = GoodRecordsOutside(bytes, isShort, stopRecnum, chunk.startRecnum))
                throw RuntimeError(lns::LcaError::kCommunicationFailure,
                                   "the meter sent " + std::to_string(outside) + " records outside records " +
                                       std::to_string(stopRecnum) + " to " + std::to_string(chunk.startRecnum) +
                                       " that were asked for");
        }
        const StoreResult stored = storeLogData(bytes, *file, isShort, keepBad, window);
        file->close();
        window.setPercentComplete(stored == StoreResult::WriteFailed ? "Failed" : "Done");
    } catch (const RuntimeError &e) {
        fail(e);
    }
}

LogIdleAction handleLogNssIdle(lns::System &system, LogWindow &window)
{
    LogFtpState &s = logFtpState();
    if (!s.LogReading)
        return LogIdleAction::None;
    window.UpdateLogProgress();
    if (!s.LogCancel) {
        window.processPendingEvents();
        return LogIdleAction::ProcessEvents;
    }
    s.LogCancel = false;
    try {
        system.CancelRunningOperation();
    } catch (const RuntimeError &e) {
        // The read ends with an error either way; nothing here depends on the answer.
        DebugLog("ERROR: MLogFtp.handleLogNssIdle()," + errorText(e));
    }
    return LogIdleAction::CancelRequested;
}

}  // namespace tellumic
