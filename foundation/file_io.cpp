#include "foundation/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>
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
RuntimeError openError(const std::filesystem::path &path, int err, std::string_view kind, Links links)
{
    struct stat st {};
    const int found = links == Links::kRefuse ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st);
    if (found == 0) {
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

// Writes all of bytes; 0, or the errno value of the write that failed.
int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// fsync, where the file system can make a file durable at all.
int syncFile(int fd)
{
    return ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
}

// fdatasync: the data and what reading it back needs (its size), not its times.
int syncFileData(int fd)
{
    return ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
}

}  // namespace

int syncFolderOf(const std::filesystem::path &file)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = syncFile(fd);
    ::close(fd);
    return err;
}

void syncFolder(const std::filesystem::path &file)
{
    if (const int err = syncFolderOf(file))
        throw fileError(err);
}

RegularFile::RegularFile(RegularFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size)
{
}

RegularFile &RegularFile::operator=(RegularFile &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void RegularFile::close()
{
    if (m_fd < 0)
        return;
    if (::close(std::exchange(m_fd, -1)) != 0)
        throw fileError(errno);
}

std::string RegularFile::readAt(std::uintmax_t offset, std::size_t count) const
{
    std::string bytes(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fileError(errno);
        if (n == 0)
            break;  // the file ends here (it may have shrunk since it was opened)
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

bool RegularFile::isNamedBy(const std::filesystem::path &path) const
{
    struct stat opened {}, named {};
    if (m_fd < 0 || ::fstat(m_fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0)
        return false;
    return S_ISREG(named.st_mode) && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

RegularFile openRegularFile(const std::filesystem::path &path, int flags, std::string_view kind, Links links)
{
    const int noFollow = links == Links::kRefuse ? O_NOFOLLOW : 0;
    const int fd = ::open(path.c_str(), flags | noFollow | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        throw openError(path, errno, kind, links);
    struct stat st {};
    const bool examined = ::fstat(fd, &st) == 0;
    RegularFile file(fd, examined ? static_cast<std::uintmax_t>(st.st_size) : 0);
    if (!examined)
        throw fileError(errno);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(ErrorNumber::kPathFileAccess,
                           "Path/File access error: " + path.string() + " is not a regular file");
    return file;
}

ReplacementFile::ReplacementFile(std::filesystem::path target) : m_target(std::move(target))
{
    // A name no one else uses, made with the permissions a new file gets (mkstemp would make
    // it private to the user).
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporary = m_target.string() + ".";
        for (int i = 0; i < 8; ++i)
            m_temporary.push_back(kDigits[random() % 36]);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return;
        if (errno != EEXIST)
            throw failure(errno);
    }
    throw failure(EEXIST);
}

ReplacementFile::~ReplacementFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
    }
}

RuntimeError ReplacementFile::failure(int err) const
{
    return RuntimeError(fileError(err).number(),
                        "cannot write " + m_target.string() + ": " + std::error_code(err, std::generic_category()).message());
}

void ReplacementFile::write(std::string_view bytes)
{
    constexpr std::size_t kBufferBytes = 1 << 16;
    if (m_fd < 0)
        throw failure(EBADF);
    m_buffer.append(bytes);
    if (m_buffer.size() >= kBufferBytes)
        flush();
}

void ReplacementFile::flush()
{
    if (const int err = writeAll(m_fd, m_buffer))
        throw failure(err);
    m_buffer.clear();
}

void ReplacementFile::commit()
{
    if (m_fd < 0)
        throw failure(EBADF);
    flush();
    if (const int err = syncFile(m_fd))
        throw failure(err);
    const int fd = std::exchange(m_fd, -1);
    int err = ::close(fd) != 0 ? errno : 0;
    if (!err && ::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(m_temporary.c_str());
        throw failure(err);
    }
    // The new name lives in the folder: until the folder is on disk, a power cut may bring
    // back the old file, or none.
    if (const int folderErr = syncFolderOf(m_target))
        throw failure(folderErr);
}

void replaceFile(const std::filesystem::path &target, std::string_view bytes)
{
    ReplacementFile file(target);
    file.write(bytes);
    file.commit();
}

AppendFile::AppendFile(RegularFile file, std::filesystem::path path) : m_file(std::move(file)), m_path(std::move(path)) {}

AppendFile::~AppendFile() = default;

std::unique_ptr<AppendFile> AppendFile::open(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw fileError(errno);
    struct stat st {};
    const bool examined = ::fstat(fd, &st) == 0;
    RegularFile file(fd, examined ? static_cast<std::uintmax_t>(st.st_size) : 0);
    if (!examined)
        throw fileError(errno);
    return std::unique_ptr<AppendFile>(new AppendFile(std::move(file), path));
}

std::unique_ptr<AppendFile> AppendFile::openRegular(const std::filesystem::path &path, std::string_view kind)
{
    return std::unique_ptr<AppendFile>(
        new AppendFile(openRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, kind), path));
}

std::unique_ptr<AppendFile> AppendFile::createRegular(const std::filesystem::path &path, std::string_view kind)
{
    return std::unique_ptr<AppendFile>(
        new AppendFile(openRegularFile(path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND, kind), path));
}

void AppendFile::write(std::initializer_list<std::string_view> pieces)
{
    if (m_file.fd() < 0)
        throw fileError(EBADF);
    // Where this call's bytes begin, as the file is now (it may have been cut back since it
    // was opened); a file that cannot be examined is not written, as its end would be unknown.
    struct stat st {};
    if (::fstat(m_file.fd(), &st) != 0)
        throw fileError(errno);
    const auto before = static_cast<std::uintmax_t>(st.st_size);
    for (std::string_view bytes : pieces) {
        if (const int err = writeAll(m_file.fd(), bytes)) {
            // Nothing written before changes, and no half of what this call wrote stays.
            if (::ftruncate(m_file.fd(), static_cast<off_t>(before)) != 0)
                DebugLog("ERROR: AppendFile.write(), a partial write to " + m_path.string() + " stays," +
                         errorText(fileError(errno)));
            throw fileError(err);
        }
    }
}

void AppendFile::sync()
{
    if (m_file.fd() < 0)
        throw fileError(EBADF);
    if (const int err = syncFileData(m_file.fd()))
        throw fileError(err);
}

void AppendFile::close()
{
    if (m_file.fd() < 0)
        return;
    sync();
    m_file.close();
}

bool AppendFile::pathNamesThisFile() const
{
    return m_file.isNamedBy(m_path);
}

std::uintmax_t AppendFile::size() const
{
    struct stat st {};
    if (m_file.fd() < 0 || ::fstat(m_file.fd(), &st) != 0)
        return 0;
    return static_cast<std::uintmax_t>(st.st_size);
}

void AppendFile::truncate(std::uintmax_t size)
{
    if (m_file.fd() < 0 || ::ftruncate(m_file.fd(), static_cast<off_t>(size)) != 0)
        throw fileError(m_file.fd() < 0 ? EBADF : errno);
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
