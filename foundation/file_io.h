#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/runtime_error.h"

namespace tellumic {

// A regular file opened without blocking (a pipe or a device in its place is refused, never
// read or written), closed when destroyed.
class RegularFile
{
public:
    RegularFile() = default;
    RegularFile(int fd, std::uintmax_t size) : m_fd(fd), m_size(size) {}
    RegularFile(RegularFile &&other) noexcept;
    RegularFile &operator=(RegularFile &&other) noexcept;
    ~RegularFile();

    int fd() const { return m_fd; }
    // The size when it was opened.
    std::uintmax_t size() const { return m_size; }
    // Up to count bytes from offset, fewer where the file ends first; RuntimeError when it
    // cannot be read.
    std::string readAt(std::uintmax_t offset, std::size_t count) const;
    // True when path, not following a link, names this file (it was not deleted, renamed or
    // replaced since it was opened).
    bool isNamedBy(const std::filesystem::path &path) const;
    // Closes it now; RuntimeError when the system reports the close failed (data not stored).
    void close();
    // Hands the descriptor over to the caller.
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
    std::uintmax_t m_size = 0;
};

// Whether a symbolic link at the path is refused or followed. Files that are written, and
// everything the plug-in finds in its own folders, refuse them: a link planted there would
// send what is written elsewhere. A file the user names to be read may be reached by one.
enum class Links
{
    kRefuse,
    kFollow,
};

// Opens path with the open(2) flags (O_RDONLY, O_WRONLY | O_CREAT | O_APPEND, ...).
// RuntimeError on failure: 70 permission denied, 76 path not found, 61 disk full, 75 a
// symbolic link ("... is a symbolic link; <kind> are never used through links"), not a
// regular file, or any other failure.
RegularFile openRegularFile(const std::filesystem::path &path, int flags, std::string_view kind = "files",
                            Links links = Links::kRefuse);

// Makes the folder entry of a file durable (a file created or renamed there): RuntimeError
// when it could not be stored. Where the file system cannot make it durable, nothing.
void syncFolder(const std::filesystem::path &file);
// The same, giving the errno value (0: done).
int syncFolderOf(const std::filesystem::path &file);

// A file that replaces its target once it is complete. It is written beside the target under
// a temporary name of its own and moved into place by commit(), made durable first, so a
// failure never leaves a broken target and never removes anything but its own temporary
// file; after the move the folder is made durable too, so that the new file is the one a
// power cut leaves. Destroyed without commit(), it removes the temporary file and the target stays as it
// was. Every failure is a RuntimeError described "cannot write <target>: <the system's reason>".
class ReplacementFile
{
public:
    explicit ReplacementFile(std::filesystem::path target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    void write(std::string_view bytes);
    void commit();

private:
    void flush();
    RuntimeError failure(int err) const;

    std::filesystem::path m_target;
    std::string m_temporary;
    int m_fd = -1;
    std::string m_buffer;
};

// Replaces target with bytes through a ReplacementFile.
void replaceFile(const std::filesystem::path &target, std::string_view bytes);

// A text file open for appending, closed when destroyed. Lines end in CR LF.
class AppendFile
{
public:
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens an existing file for appending or creates it, wherever a link at the path leads
    // (a record file may be kept on a shared drive); throws RuntimeError on failure (70
    // permission denied, 76 path not found, 61 disk full, 75 any other).
    static std::unique_ptr<AppendFile> open(const std::filesystem::path &path);
    // The same for a file that must be a regular file at the path itself, opened as
    // openRegularFile opens it: a link planted in its place cannot send the lines elsewhere.
    static std::unique_ptr<AppendFile> openRegular(const std::filesystem::path &path, std::string_view kind);
    // The same for a file that this call creates: it fails (as openRegularFile names it) when
    // anything is at the path already.
    static std::unique_ptr<AppendFile> createRegular(const std::filesystem::path &path, std::string_view kind);

    // Appends the pieces in order. Either all of them land, or the file is cut back to its
    // size before this call and RuntimeError is thrown: the file never ends in a torn line.
    void write(std::initializer_list<std::string_view> pieces);
    void write(std::string_view bytes) { write({bytes}); }
    void writeLine(std::string_view line) { write({line, "\r\n"}); }
    // Makes what was written durable (its data and size; fdatasync); RuntimeError when it
    // could not be stored.
    void sync();
    // Flushes and closes; throws RuntimeError when the data could not be stored.
    void close();
    // True when the path, not following a link, still names the file open here.
    bool pathNamesThisFile() const;

    // The file's size when it was opened, and now.
    std::uintmax_t sizeAtOpen() const { return m_file.size(); }
    std::uintmax_t size() const;
    // Cuts the file back to a size (to take back lines of a failed write).
    void truncate(std::uintmax_t size);

    const std::filesystem::path &path() const { return m_path; }

private:
    AppendFile(RegularFile file, std::filesystem::path path);

    RegularFile m_file;
    std::filesystem::path m_path;
};

// The run-time error for a failed file operation with errno value err.
RuntimeError fileError(int err);

// The text OpenFileForAppend shows for a failure to open.
std::string openFailureMessage(const RuntimeError &error);

// True when the file exists.
bool FileExists(const std::filesystem::path &path);

// Opens a file for appending, or creates it. On failure shows "Error writing log file"
// through the dialogs service and returns nullptr.
std::unique_ptr<AppendFile> OpenFileForAppend(const std::filesystem::path &path);

}  // namespace tellumic
