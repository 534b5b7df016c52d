#include "foundation/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/dialogs.h"
#include "foundation/trace_log.h"

namespace tellumic {

RuntimeError fileError(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return RuntimeError(ErrorNumber::kPermissionDenied, "Permission denied");
    case ENOENT:
    case ENOTDIR:
        return RuntimeError(ErrorNumber::kPathNotFound, "Path not found");
    case ENOSPC:
    case EDQUOT:
        return RuntimeError(ErrorNumber::kDiskFull, "Disk full");
    case ENAMETOOLONG:
        return RuntimeError(ErrorNumber::kBadFileNameOrNumber, "Bad file name or number");
    default:
        return RuntimeError(ErrorNumber::kPathFileAccess, std::string("Path/File access error: ") + std::strerror(err));
    }
}

namespace {

// The error for an open that failed with err: a link or a pipe, device or folder in the
// file's place is named as such, everything else as fileError names it.
RuntimeError openError(const std::filesystem::path &path, int err, std::string_view kind)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return RuntimeError(ErrorNumber::kPathFileAccess, "Path/File access error: " + path.string() +
                                                                  " is a symbolic link; " + std::string(kind) +
                                                                  " are never used through links");
        if (!S_ISREG(st.st_mode))
            return RuntimeError(ErrorNumber::kPathFileAccess,
                                "Path/File access error: " + path.string() + " is not a regular file");
    }
    return fileError(err);
}

}  // namespace

RegularFile openRegularFile(const std::filesystem::path &path, int flags, std::string_view kind)
{
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        throw openError(path, errno, kind);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw fileError(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw RuntimeError(ErrorNumber::kPathFileAccess,
                           "Path/File access error: " + path.string() + " is not a regular file");
    }
    return {fd, static_cast<std::uintmax_t>(st.st_size)};
}

AppendFile::AppendFile(int fd, std::filesystem::path path, std::uintmax_t size)
    : m_fd(fd), m_path(std::move(path)), m_sizeAtOpen(size)
{
}

AppendFile::~AppendFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<AppendFile> AppendFile::open(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw fileError(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw fileError(err);
    }
    return std::unique_ptr<AppendFile>(new AppendFile(fd, path, static_cast<std::uintmax_t>(st.st_size)));
}

std::unique_ptr<AppendFile> AppendFile::openRegular(const std::filesystem::path &path, std::string_view kind)
{
    const RegularFile file = openRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, kind);
    return std::unique_ptr<AppendFile>(new AppendFile(file.fd, path, file.size));
}

void AppendFile::write(std::string_view bytes)
{
    if (m_fd < 0)
        throw fileError(EBADF);
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

void AppendFile::writeLine(std::string_view line)
{
    std::string buffer;
    buffer.reserve(line.size() + 2);
    buffer.append(line);
    buffer.append("\r\n");
    write(buffer);
}

void AppendFile::sync()
{
    if (m_fd < 0)
        throw fileError(EBADF);
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        throw fileError(errno);
}

void AppendFile::close()
{
    if (m_fd < 0)
        return;
    sync();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        throw fileError(errno);
}

bool AppendFile::pathNamesThisFile() const
{
    struct stat opened {}, named {};
    if (m_fd < 0 || ::fstat(m_fd, &opened) != 0 || ::lstat(m_path.c_str(), &named) != 0)
        return false;
    return S_ISREG(named.st_mode) && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

std::uintmax_t AppendFile::size() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<std::uintmax_t>(st.st_size);
}

void AppendFile::truncate(std::uintmax_t size)
{
    if (m_fd < 0 || ::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        throw fileError(m_fd < 0 ? EBADF : errno);
}

std::string openFailureMessage(const RuntimeError &error)
{
    std::string text = "Error opening file for writing: " + error.description();
    if (error.number() == ErrorNumber::kPermissionDenied)
        text += "\r\nThis can happen if you have the log CSV file\r\n open in another application such as Excel";
    return text;
}

bool FileExists(const std::filesystem::path &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::unique_ptr<AppendFile> OpenFileForAppend(const std::filesystem::path &path)
{
    DebugLog("MFileIO.OpenFileForAppend(" + path.string() + ")");
    try {
        return AppendFile::open(path);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MFileIO.OpenFileForAppend()," + errorText(e));
        MsgBox(openFailureMessage(e), MsgStyle::kOkOnly, "Error writing log file");
        return nullptr;
    }
}

}  // namespace tellumic
