#pragma once

// The meter's CSV logs on disk. Every open of a log file, for appending or for reading its
// end, goes through here, so that what guards a log (no symbolic links, nothing but a
// regular file, the name checked after writing) guards it on every path.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace tellumic {

// A CSV log open for appending. It is opened without following a symbolic link (a link in
// the program folder would send the records wherever it points) and only when it is a
// regular file; it stays open by descriptor while the meter sends, and after writing, the
// caller asks whether its name still leads to the file written: a log deleted, renamed or
// replaced meanwhile would otherwise take the new records with it.
class LogCsvFile
{
public:
    ~LogCsvFile();
    LogCsvFile(const LogCsvFile &) = delete;
    LogCsvFile &operator=(const LogCsvFile &) = delete;

    // Opens the log for appending, or creates it. RuntimeError on failure: 70 permission
    // denied, 76 path not found, 61 disk full, 75 a symbolic link, not a regular file or
    // any other failure.
    static std::unique_ptr<LogCsvFile> open(const std::filesystem::path &path);

    const std::filesystem::path &path() const { return m_path; }
    // The size when opened; 0 means the lines need the header first.
    std::uintmax_t sizeAtOpen() const { return m_sizeAtOpen; }
    std::uintmax_t size() const;

    // Appends the pieces in order. Either all of them land, or the file is cut back to its
    // size before this call and RuntimeError is thrown.
    void append(std::initializer_list<std::string_view> pieces);
    // Makes what was written durable; RuntimeError when it could not be stored.
    void sync();
    // True when the path, not following a link, still names the file open here.
    bool pathNamesThisFile() const;
    // Syncs and closes; RuntimeError when the data could not be stored.
    void close();

private:
    LogCsvFile(int fd, std::filesystem::path path, std::uintmax_t size);

    int m_fd = -1;
    std::filesystem::path m_path;
    std::uintmax_t m_sizeAtOpen = 0;
};

// Opens a log for a download. On failure the user is told as OpenFileForAppend tells it
// ("Error writing log file") and the result is nullptr.
std::unique_ptr<LogCsvFile> OpenLogFileForAppend(const std::filesystem::path &path);

// The last maxBytes bytes of a log (all of it when shorter). The same rules as for
// appending: RuntimeError for a missing file, a symbolic link or anything but a regular
// file (a pipe or a device is never read, so a scan cannot block or run without end).
std::string readLogFileTail(const std::filesystem::path &path, std::size_t maxBytes);

}  // namespace tellumic
