#pragma once

// The meter's CSV logs on disk. Every open of a log file, for appending or for reading its
// end, goes through here, so that what guards a log (no symbolic links, nothing but a
// regular file, the name checked after writing, one writer at a time) guards it on every path.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/file_io.h"
#include "foundation/runtime_error.h"

namespace tellumic {

// An exclusive lock held through a lock file. Processes that take the same lock file exclude
// each other, and so do two holders in one process. The lock goes with its holder: released
// when the object is destroyed or the process ends, however it ends, so no lock outlives a
// crashed writer. The file is removed on release; a taker that finds it was removed or
// replaced in between takes the new one, so two holders never hold different files.
class FileLock
{
public:
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // The lock, or nullptr when another holder has it. RuntimeError when the lock file cannot
    // be made or opened (as the file routines name it; 75 for a symbolic link or anything but
    // a regular file in its place). note is written into the file for whoever finds it held:
    // by default "process <this process's ID>".
    static std::unique_ptr<FileLock> tryAcquire(const std::filesystem::path &lockFile, std::string_view note = {});
    // What the holder wrote into a lock file ("" when it is not held or cannot be read).
    static std::string holderNote(const std::filesystem::path &lockFile);

    const std::filesystem::path &path() const { return m_path; }

private:
    FileLock(RegularFile file, std::filesystem::path path);

    RegularFile m_file;
    std::filesystem::path m_path;
};

// File systems take names of at most 255 bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Ends a name cut short to fit: "%~" and a 64-bit hash of the whole name in hexadecimal, the
// same on every machine and in every program, so two long names that begin alike still differ.
// The log names write every "%" as "%25", so "%~" occurs in no name that was not shortened.
void appendNameHash(std::string &shortened, std::string_view whole);

// The lock file that guards a CSV log: beside it, its name + ".lock" (shortened with a hash
// of the log's name where that would pass the file system's 255 bytes).
std::filesystem::path logLockPath(const std::filesystem::path &csv);

// A CSV log open for appending. It is opened without following a symbolic link (a link in
// the program folder would send the records wherever it points) and only when it is a
// regular file; it stays open by descriptor while the meter sends, and after writing, the
// caller asks whether its name still leads to the file written: a log deleted, renamed or
// replaced meanwhile would otherwise take the new records with it. While it is open it holds
// the log's lock (logLockPath): the Logging tab's download and a harvest never append to one
// log at once, so their lines cannot interleave.
//
// A log that does not exist yet is created by the first append, not by the open: a first
// download that stores nothing (it fails, is cancelled, or brings no record) leaves no file,
// and while the meter sends there is no empty file for the viewer to be offered. The open
// still checks that the log could be created, so the user learns before the transfer.
class LogCsvFile
{
public:
    ~LogCsvFile();
    LogCsvFile(const LogCsvFile &) = delete;
    LogCsvFile &operator=(const LogCsvFile &) = delete;

    // Opens the log for appending, or makes ready to create it. RuntimeError on failure:
    // LogBusyError when another download holds its lock, 70 permission denied, 76 path not
    // found, 61 disk full, 63 a name too long, 75 a symbolic link, not a regular file, a file
    // that is not a CSV log of the format (isShort; either format when not given: see
    // checkLogCsvFile) or any other failure (the lock file's too).
    static std::unique_ptr<LogCsvFile> open(const std::filesystem::path &path, std::optional<bool> isShort = {});
    // The same under the log's lock that the caller took already (takeLogFileLock).
    static std::unique_ptr<LogCsvFile> open(const std::filesystem::path &path, std::shared_ptr<FileLock> lock,
                                            std::optional<bool> isShort = {});
    // The same log's path opened afresh, under the lock this one holds (the name was found
    // to lead to another file after writing).
    std::unique_ptr<LogCsvFile> openAgain() const;

    const std::filesystem::path &path() const { return m_path; }
    // The size when opened, after a torn last line was cut off (0 for a log not created
    // yet); 0 means the lines need the header first.
    std::uintmax_t sizeAtOpen() const { return m_sizeAtOpen; }
    // The bytes of a last line without its line end that opening cut off (0: none). A write
    // cut short by a crash, a kill or a power cut leaves one; the next lines would otherwise
    // be fused to it, and its record, never whole, is fetched again after the last whole line.
    std::uintmax_t tornBytesCut() const { return m_tornBytesCut; }
    // What to tell the user about that cut ("" when there was none).
    std::string tornLineNote() const;
    std::uintmax_t size() const;

    // Appends the pieces in order, all or none (AppendFile::write); the first creates a log
    // that did not exist.
    void append(std::initializer_list<std::string_view> pieces);
    // Makes what was written durable, and the name of a log created here; RuntimeError when
    // it could not be stored.
    void sync();
    // True when the path, not following a link, still names the file written here (and when
    // nothing was written: there is nothing to lose).
    bool pathNamesThisFile() const;
    // Syncs and closes; RuntimeError when the data could not be stored. A log that this
    // object created and that is empty again (its first write failed and was taken back) is
    // removed, here or when the object goes.
    void close();

private:
    LogCsvFile(std::filesystem::path path, std::unique_ptr<AppendFile> file, std::shared_ptr<FileLock> lock,
               std::optional<bool> isShort);
    void removeIfCreatedEmpty() noexcept;

    std::filesystem::path m_path;
    std::unique_ptr<AppendFile> m_file;  // nullptr until the first append creates the log
    std::shared_ptr<FileLock> m_lock;
    std::optional<bool> m_isShort;
    std::uintmax_t m_sizeAtOpen = 0;
    std::uintmax_t m_tornBytesCut = 0;
    bool m_created = false;  // the log was created here
    bool m_folderSynced = false;  // the new log's name is durable
};

// The error when another download holds a lock that a download needs: 70 permission
// denied, as for a log that another program keeps open, with a description that says what
// is busy and, when it noted it, who holds it.
class LogBusyError final : public RuntimeError
{
public:
    // The log file is being appended to.
    static LogBusyError logFile(const std::filesystem::path &path, std::string_view holder);
    // The meter's log is being read.
    static LogBusyError meter(std::string_view meterName, std::string_view holder);

private:
    explicit LogBusyError(const std::string &description);
};

// The lock that keeps two downloads from one meter apart, whichever files they write: the
// meter holds one read request at a time, so a request sent by another download between
// this one's request and its read would change the records this one receives. In the
// program folder, named after the meter's Neuron ID.
std::filesystem::path meterDownloadLockPath(std::string_view neuronId);

// The lock of a CSV log (logLockPath), taken without opening the log; LogBusyError when
// another download holds it, RuntimeError when it cannot be taken.
std::shared_ptr<FileLock> takeLogFileLock(const std::filesystem::path &csv);

// Where the last whole line of a log ends: its size when it is empty or ends in a line end,
// otherwise just after the last line end before (0 when there is none).
std::uintmax_t lastWholeLineEnd(const std::filesystem::path &path);

// Opens a log for a download, under its lock when the caller holds it already. On failure
// the user is told as OpenFileForAppend tells it ("Error writing log file") and the result
// is nullptr.
std::unique_ptr<LogCsvFile> OpenLogFileForAppend(const std::filesystem::path &path,
                                                 std::shared_ptr<FileLock> lock = nullptr,
                                                 std::optional<bool> isShort = {});

// A file that a download may append to (or a backfill rewrite) is a CSV log of the format
// (either format when not given), as logCsvFileFault judges its first and last bytes: one
// that is not (lines that end in CR alone, binary data, another format's log) is never cut,
// appended to or rewritten, as its records could not be told from the rest. RuntimeError 75
// "... is not a CSV log of this meter (<why>); it is left as it is" when it is not, or as
// openRegularFile names a failure to read it; nothing for a file that does not exist.
void checkLogCsvFile(const std::filesystem::path &path, std::optional<bool> isShort);
// The same for the text of a whole file.
void checkLogCsvText(const std::filesystem::path &path, std::string_view text, std::optional<bool> isShort);

// The last maxBytes bytes of a log (all of it when shorter). The same rules as for
// appending: RuntimeError for a missing file, a symbolic link or anything but a regular
// file (a pipe or a device is never read, so a scan cannot block or run without end).
std::string readLogFileTail(const std::filesystem::path &path, std::size_t maxBytes);

}  // namespace tellumic
