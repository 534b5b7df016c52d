#include "log/log_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

RuntimeError symlinkError(const std::filesystem::path &path)
{
    return RuntimeError(ErrorNumber::kPathFileAccess, "Path/File access error: " + path.string() +
                                                          " is a symbolic link; log files are never used through links");
}

RuntimeError notRegularError(const std::filesystem::path &path)
{
    return RuntimeError(ErrorNumber::kPathFileAccess, "Path/File access error: " + path.string() +
                                                          " is not a regular file");
}

// The error for an open that failed with err: a link or a pipe, device or folder in the
// log's place is named as such, everything else as the file routines name it.
RuntimeError openError(const std::filesystem::path &path, int err)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return symlinkError(path);
        if (!S_ISREG(st.st_mode))
            return notRegularError(path);
    }
    return fileError(err);
}

// Opens without following a link and without blocking on a pipe, and insists on a regular
// file; the descriptor is closed again on any failure.
int openRegular(const std::filesystem::path &path, int flags, struct stat &st)
{
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        throw openError(path, errno);
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw fileError(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw notRegularError(path);
    }
    return fd;
}

}  // namespace

LogCsvFile::LogCsvFile(int fd, std::filesystem::path path, std::uintmax_t size)
    : m_fd(fd), m_path(std::move(path)), m_sizeAtOpen(size)
{
}

LogCsvFile::~LogCsvFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<LogCsvFile> LogCsvFile::open(const std::filesystem::path &path)
{
    struct stat st {};
    const int fd = openRegular(path, O_WRONLY | O_CREAT | O_APPEND, st);
    return std::unique_ptr<LogCsvFile>(new LogCsvFile(fd, path, static_cast<std::uintmax_t>(st.st_size)));
}

std::uintmax_t LogCsvFile::size() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<std::uintmax_t>(st.st_size);
}

void LogCsvFile::append(std::initializer_list<std::string_view> pieces)
{
    if (m_fd < 0)
        throw fileError(EBADF);
    // Where this call's bytes begin; size() reads 0 only when the file cannot be examined.
    const std::uintmax_t before = std::max(size(), m_sizeAtOpen);
    try {
        for (std::string_view bytes : pieces) {
            while (!bytes.empty()) {
                const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    throw fileError(errno);
                }
                bytes.remove_prefix(static_cast<std::size_t>(n));
            }
        }
    } catch (const RuntimeError &) {
        // The file never ends in a torn line, and nothing written before changes.
        if (::ftruncate(m_fd, static_cast<off_t>(before)) != 0)
            DebugLog("ERROR: MLogFtp.LogDataCsv()," + errorText(fileError(errno)));
        throw;
    }
}

void LogCsvFile::sync()
{
    if (m_fd < 0)
        throw fileError(EBADF);
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        throw fileError(errno);
}

bool LogCsvFile::pathNamesThisFile() const
{
    struct stat opened {}, named {};
    if (m_fd < 0 || ::fstat(m_fd, &opened) != 0 || ::lstat(m_path.c_str(), &named) != 0)
        return false;
    return S_ISREG(named.st_mode) && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

void LogCsvFile::close()
{
    if (m_fd < 0)
        return;
    sync();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        throw fileError(errno);
}

std::unique_ptr<LogCsvFile> OpenLogFileForAppend(const std::filesystem::path &path)
{
    DebugLog("MFileIO.OpenFileForAppend(" + path.string() + ")");
    try {
        return LogCsvFile::open(path);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MFileIO.OpenFileForAppend()," + errorText(e));
        MsgBox(openFailureMessage(e), MsgStyle::kOkOnly, "Error writing log file");
        return nullptr;
    }
}

std::string readLogFileTail(const std::filesystem::path &path, std::size_t maxBytes)
{
    struct stat st {};
    const int fd = openRegular(path, O_RDONLY, st);
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const auto length = static_cast<std::uintmax_t>(st.st_size);
    const std::size_t window = static_cast<std::size_t>(std::min<std::uintmax_t>(length, maxBytes));
    std::string tail(window, '\0');
    std::size_t got = 0;
    while (got < window) {
        const ssize_t n = ::pread(fd, tail.data() + got, window - got, static_cast<off_t>(length - window + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fileError(errno);
        if (n == 0)
            break;  // the file shrank meanwhile
        got += static_cast<std::size_t>(n);
    }
    tail.resize(got);
    return tail;
}

}  // namespace tellumic
