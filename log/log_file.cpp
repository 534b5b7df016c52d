#include "log/log_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "foundation/trace_log.h"
#include "log/log_csv_line.h"

namespace tellumic {

namespace {

constexpr std::string_view kLockSuffix = ".lock";

}  // namespace

FileLock::FileLock(RegularFile file, std::filesystem::path path) : m_file(std::move(file)), m_path(std::move(path)) {}

FileLock::~FileLock()
{
    // Removed while still held, and only when it is still this lock's file: a taker that
    // opened it meanwhile finds it gone and takes a new one.
    if (m_file.isNamedBy(m_path))
        ::unlink(m_path.c_str());
}

std::unique_ptr<FileLock> FileLock::tryAcquire(const std::filesystem::path &lockFile, std::string_view note)
{
    // Each round either takes the lock, finds it held, or finds that the holder it met
    // removed the file on release; the last can repeat only while others keep taking it.
    for (int round = 0; round < 1000; ++round) {
        RegularFile file = openRegularFile(lockFile, O_RDWR | O_CREAT, "lock files");
        if (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err == EWOULDBLOCK)
                return nullptr;
            if (err == EINTR)
                continue;
            throw fileError(err);
        }
        if (file.isNamedBy(lockFile)) {
            // The note only helps whoever finds the lock held; a failure to write it is no failure.
            const std::string text = note.empty() ? "process " + std::to_string(::getpid()) : std::string(note);
            if (::ftruncate(file.fd(), 0) == 0) {
                const ssize_t written = ::pwrite(file.fd(), text.data(), text.size(), 0);
                static_cast<void>(written);
            }
            return std::unique_ptr<FileLock>(new FileLock(std::move(file), lockFile));
        }
    }
    throw RuntimeError(ErrorNumber::kPathFileAccess,
                       "Path/File access error: the lock file " + lockFile.string() + " keeps being replaced");
}

std::string FileLock::holderNote(const std::filesystem::path &lockFile)
{
    try {
        return readLogFileTail(lockFile, 200);
    } catch (const RuntimeError &) {
        return {};
    }
}

void appendNameHash(std::string &shortened, std::string_view whole)
{
    // FNV-1a, 64 bits.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (char c : whole) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ull;
    }
    shortened.append("%~");
    for (int shift = 60; shift >= 0; shift -= 4)
        shortened.push_back(kHex[(h >> shift) & 0xF]);
}

std::filesystem::path logLockPath(const std::filesystem::path &csv)
{
    const std::string csvName = csv.filename().string();
    std::string name = csvName;
    if (name.size() + kLockSuffix.size() > kMaxFileNameBytes) {
        // Any bytes but "/" make a name; the hash keeps two long logs apart.
        name.resize(kMaxFileNameBytes - kLockSuffix.size() - 18);
        appendNameHash(name, csvName);
    }
    return csv.parent_path() / (name + std::string(kLockSuffix));
}

LogBusyError::LogBusyError(const std::string &description) : RuntimeError(ErrorNumber::kPermissionDenied, description) {}

namespace {
std::string heldBy(std::string_view holder)
{
    return holder.empty() ? std::string() : " (" + std::string(holder) + ")";
}
}  // namespace

LogBusyError LogBusyError::logFile(const std::filesystem::path &path, std::string_view holder)
{
    return LogBusyError("Permission denied: " + path.filename().string() + " is busy: another download" + heldBy(holder) +
                        " is appending to it");
}

LogBusyError LogBusyError::meter(std::string_view meterName, std::string_view holder)
{
    return LogBusyError("Permission denied: the meter " + std::string(meterName) + " is busy: another download" +
                        heldBy(holder) + " is reading its log");
}

std::filesystem::path meterDownloadLockPath(std::string_view neuronId)
{
    // A Neuron ID is twelve hexadecimal digits; anything else in one cannot leave the folder.
    std::string name = ".download-";
    for (const char c : neuronId)
        name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return logLockPath(programFolder() / name);
}

LogCsvFile::LogCsvFile(std::filesystem::path path, std::unique_ptr<AppendFile> file, std::shared_ptr<FileLock> lock,
                       std::optional<bool> isShort)
    : m_path(std::move(path)),
      m_file(std::move(file)),
      m_lock(std::move(lock)),
      m_isShort(isShort),
      m_sizeAtOpen(m_file ? m_file->sizeAtOpen() : 0)
{
    // The lock is held: no other writer is half-way through a line. A torn line is cut off
    // rather than completed, since its record is incomplete and would read as a whole one
    // with wrong values; the download fetches it again after the last whole line.
    if (!m_file || m_sizeAtOpen == 0)
        return;
    // Only a log's last line is ever cut: checked before, so that the cut is one a write left.
    checkLogCsvFile(m_path, m_isShort);
    const std::uintmax_t keep = lastWholeLineEnd(m_path);
    if (keep >= m_sizeAtOpen)
        return;
    m_file->truncate(keep);
    m_file->sync();
    m_tornBytesCut = m_sizeAtOpen - keep;
    m_sizeAtOpen = keep;
    DebugLog("LogCsvFile: cut " + std::to_string(m_tornBytesCut) + " bytes of a torn last line of " + m_path.string());
}

std::string LogCsvFile::tornLineNote() const
{
    if (m_tornBytesCut == 0)
        return {};
    return "The last line of " + path().filename().string() + " had no line end (a write was cut short); its " +
           std::to_string(m_tornBytesCut) + " bytes were removed and its record is read again";
}

std::uintmax_t lastWholeLineEnd(const std::filesystem::path &path)
{
    const RegularFile file = openRegularFile(path, O_RDONLY, "log files");
    constexpr std::size_t kChunk = 64 * 1024;
    std::uintmax_t end = file.size();
    if (end == 0 || file.readAt(end - 1, 1) == "\n")
        return end;
    while (end > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(kChunk, end));
        const std::string chunk = file.readAt(end - n, n);
        const auto eol = chunk.rfind('\n');
        if (eol != std::string::npos)
            return end - n + eol + 1;
        end -= n;
    }
    return 0;
}

LogCsvFile::~LogCsvFile()
{
    removeIfCreatedEmpty();
}

// Runs under the log's lock, so no other download can have started writing to the file.
void LogCsvFile::removeIfCreatedEmpty() noexcept
{
    if (!m_created || !m_file)
        return;
    m_created = false;
    try {
        if (m_file->size() == 0 && m_file->pathNamesThisFile()) {
            std::error_code ec;
            std::filesystem::remove(m_path, ec);
            if (ec)
                DebugLog("ERROR: MFileIO.OpenFileForAppend(),could not remove the empty log " + m_path.string() + ": " +
                         ec.message());
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MFileIO.OpenFileForAppend()," + errorText(e));
    }
}

std::shared_ptr<FileLock> takeLogFileLock(const std::filesystem::path &csv)
{
    const auto lockFile = logLockPath(csv);
    std::shared_ptr<FileLock> lock = FileLock::tryAcquire(lockFile);
    if (!lock)
        throw LogBusyError::logFile(csv, FileLock::holderNote(lockFile));
    return lock;
}

std::unique_ptr<LogCsvFile> LogCsvFile::open(const std::filesystem::path &path, std::optional<bool> isShort)
{
    return open(path, takeLogFileLock(path), isShort);
}

std::unique_ptr<LogCsvFile> LogCsvFile::openAgain() const
{
    return open(path(), m_lock, m_isShort);
}

std::unique_ptr<LogCsvFile> LogCsvFile::open(const std::filesystem::path &path, std::shared_ptr<FileLock> lock,
                                             std::optional<bool> isShort)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT) {
        auto file = AppendFile::openRegular(path, "log files");
        return std::unique_ptr<LogCsvFile>(new LogCsvFile(path, std::move(file), std::move(lock), isShort));
    }
    // Nothing there: the first append creates it. What would keep it from being created is
    // told now, before the meter sends for minutes.
    if (path.filename().string().size() > kMaxFileNameBytes)
        throw fileError(ENAMETOOLONG);
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw fileError(errno);
    return std::unique_ptr<LogCsvFile>(new LogCsvFile(path, nullptr, std::move(lock), isShort));
}

std::uintmax_t LogCsvFile::size() const
{
    return m_file ? m_file->size() : 0;
}

void LogCsvFile::append(std::initializer_list<std::string_view> pieces)
{
    if (!m_file) {
        // Under the lock no other download creates it meanwhile; anything found there now
        // came from elsewhere and is not appended to blindly.
        m_file = AppendFile::createRegular(m_path, "log files");
        m_created = true;
    }
    m_file->write(pieces);
}

void LogCsvFile::sync()
{
    if (!m_file)
        return;
    m_file->sync();
    // A log created here is lost to a power cut until its name is on disk too.
    if (m_created && !m_folderSynced) {
        syncFolder(m_path);
        m_folderSynced = true;
    }
}

bool LogCsvFile::pathNamesThisFile() const
{
    return !m_file || m_file->pathNamesThisFile();
}

void LogCsvFile::close()
{
    if (m_file) {
        // Before closing: a closed file's size and name can no longer be checked.
        removeIfCreatedEmpty();
        m_file->close();
    }
    m_lock.reset();
}

std::unique_ptr<LogCsvFile> OpenLogFileForAppend(const std::filesystem::path &path, std::shared_ptr<FileLock> lock,
                                                 std::optional<bool> isShort)
{
    DebugLog("MFileIO.OpenFileForAppend(" + path.string() + ")");
    try {
        return lock ? LogCsvFile::open(path, std::move(lock), isShort) : LogCsvFile::open(path, isShort);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MFileIO.OpenFileForAppend()," + errorText(e));
        MsgBox(openFailureMessage(e), MsgStyle::kOkOnly, "Error writing log file");
        return nullptr;
    }
}

namespace {
RuntimeError notALogError(const std::filesystem::path &path, const std::string &fault)
{
    return RuntimeError(ErrorNumber::kPathFileAccess, "Path/File access error: " + path.filename().string() +
                                                          " is not a CSV log of this meter (" + fault +
                                                          "); it is left as it is");
}
}  // namespace

void checkLogCsvText(const std::filesystem::path &path, std::string_view text, std::optional<bool> isShort)
{
    const std::string fault = logCsvFileFault(text, text, isShort);
    if (!fault.empty())
        throw notALogError(path, fault);
}

void checkLogCsvFile(const std::filesystem::path &path, std::optional<bool> isShort)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT)
        return;
    const RegularFile file = openRegularFile(path, O_RDONLY, "log files");
    // The first line and the last two with room to spare; a longer line is no log's line.
    constexpr std::size_t kEnds = 4 * kMaxLogLineBytes;
    const std::string head = file.readAt(0, kEnds);
    const std::uintmax_t size = file.size();
    const std::string tail = size <= kEnds ? head : file.readAt(size - kEnds, kEnds);
    const std::string fault = logCsvFileFault(head, tail, isShort);
    if (!fault.empty())
        throw notALogError(path, fault);
}

std::string readLogFileTail(const std::filesystem::path &path, std::size_t maxBytes)
{
    const RegularFile file = openRegularFile(path, O_RDONLY, "log files");
    const std::size_t window = static_cast<std::size_t>(std::min<std::uintmax_t>(file.size(), maxBytes));
    return file.readAt(file.size() - window, window);
}

}  // namespace tellumic
