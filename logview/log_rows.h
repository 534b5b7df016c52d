#pragma once

// The file lines behind a range of the plot: the rows of the table view and of an export.
// Lines are read back from the file by their offsets, so an export carries them exactly as
// the download wrote them and a large file need not stay in memory as text.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_io.h"
#include "logview/log_data.h"

namespace tellumic::logview {

struct LogRow
{
    CivilSeconds time = 0;
    std::uint64_t offset = 0;
    std::int64_t record = -1;  // index into the LogData, -1 for a line without values
    std::int64_t marker = -1;  // index of its marker, for a line without values
};

// The records inside the range and the lines without values placed among them, in time order.
std::vector<LogRow> rowsInRange(const LogData &data, TimeRange range);

// Reads single lines of a file by offset.
class LineReader
{
public:
    explicit LineReader(const std::filesystem::path &file);
    bool isOpen() const { return m_file.fd() >= 0 && m_error.empty(); }
    // Why the file cannot be read, once it cannot.
    const std::string &error() const { return m_error; }
    // The line that starts at offset, without its line end; false when it cannot be read.
    bool lineAt(std::uint64_t offset, std::string &line);

private:
    RegularFile m_file;
    std::string m_error;
};

// splitFields of log_columns.h, as a vector of the fields found.
std::vector<std::string_view> splitFields(std::string_view line, LogFormat format);

// Writes the rows to target as a log file of the source's format: the two header lines,
// then each row's line as the source holds it, lines ending in CR LF. The target is written
// beside and then put in place, so a failure leaves any earlier file as it was. Returns ""
// or what went wrong.
// A row's line as read back must still be that row (its record number, or no values), or
// the file changed since it was read.
bool rowLineMatches(const LogData &data, const LogRow &row, std::string_view line);
std::string exportRows(const std::filesystem::path &source, const LogData &data, const std::vector<LogRow> &rows,
                       const std::filesystem::path &target);

}  // namespace tellumic::logview
