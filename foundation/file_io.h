#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/runtime_error.h"

namespace tellumic {

// A regular file opened without following a symbolic link and without blocking (a pipe or a
// device in its place is refused, never read or written). The descriptor is the caller's.
struct RegularFile
{
    int fd = -1;
    std::uintmax_t size = 0;
};

// Opens path with the open(2) flags (O_RDONLY, O_WRONLY | O_CREAT | O_APPEND, ...).
// RuntimeError on failure: 70 permission denied, 76 path not found, 61 disk full, 75 a
// symbolic link ("... is a symbolic link; <kind> are never used through links"), not a
// regular file, or any other failure.
RegularFile openRegularFile(const std::filesystem::path &path, int flags, std::string_view kind = "files");

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

    // Each write either lands whole or throws RuntimeError.
    void write(std::string_view bytes);
    void writeLine(std::string_view line);
    // Makes what was written durable; RuntimeError when it could not be stored.
    void sync();
    // Flushes and closes; throws RuntimeError when the data could not be stored.
    void close();
    // True when the path, not following a link, still names the file open here.
    bool pathNamesThisFile() const;

    // The file's size when it was opened, and now.
    std::uintmax_t sizeAtOpen() const { return m_sizeAtOpen; }
    std::uintmax_t size() const;
    // Cuts the file back to a size (to take back lines of a failed write).
    void truncate(std::uintmax_t size);

    const std::filesystem::path &path() const { return m_path; }

private:
    AppendFile(int fd, std::filesystem::path path, std::uintmax_t size);

    int m_fd = -1;
    std::filesystem::path m_path;
    std::uintmax_t m_sizeAtOpen = 0;
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
