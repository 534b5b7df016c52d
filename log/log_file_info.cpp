#include <limits>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"

#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_window.h"

namespace tellumic {

namespace {

// A line stands for a stored record only when its date and time exist on the calendar; a
// line with "2026-13-45 25:61:61" was not written by a download.
bool isCalendarDateTime(const LogDateTime &dt)
{
    return dt.year >= 1 && dt.year <= 9999 && isCalendarDate(dt.year, dt.month, dt.day) && dt.hour < 24 &&
           dt.minute < 60 && dt.second < 60;
}

void setLogFileInfo(std::string_view deviceName, bool isShort, LogWindow &window)
{
    const std::string name = GetLogFilename(deviceName, isShort);
    LogDateTime dateTime;
    const std::int32_t last = FindLastLogRecnum(programFolder() / name, dateTime);
    if (last != 0) {
        window.setLogFilename(name, (programFolder() / name).string());
        window.setFileRecNum(std::to_string(last));
        window.setFileDateTime(FormatDateTime(dateTime));
        return;
    }
    const std::string shown = GetLogFilename(deviceName, window.shortRecordsTicked());
    window.setLogFilename(shown, (programFolder() / shown).string());
    window.setFileRecNum("none");
    window.setFileDateTime("none");
}

}  // namespace

void scanLastLogRecnum(std::string_view tail, LastLogRecord &found)
{
    constexpr auto npos = std::string_view::npos;
    // The text before the first line end may be a cut line or the header: never used; nor
    // is a last line without its line end (a write cut short), whose record is not whole.
    std::size_t eol = tail.find("\r\n");
    while (eol != npos) {
        const std::size_t start = eol + 2;
        eol = tail.find("\r\n", start);
        if (eol == npos)
            break;
        const std::string_view line = tail.substr(start, eol - start);
        // Header, units and no-value lines have no number first, and the meter numbers its
        // records from 1; a line without the number and the date, with a NUL or with a
        // number out of range is nothing this program wrote, and is passed over.
        const std::size_t comma = line.find(',');
        if (comma == npos || line.find('\0') != npos || line.find('\n') != npos)
            continue;
        const auto number = parseWholeNumber(line.substr(0, comma), 1, std::numeric_limits<std::int32_t>::max());
        const std::size_t next = line.find(',', comma + 1);
        if (!number || next == npos)
            continue;
        try {
            const LogDateTime dateTime = ParseDateTime(line.substr(comma + 1, next - comma - 1));
            // The highest record, not the last line's: two lines out of order would otherwise
            // send the next download back over a record the file holds.
            if (isCalendarDateTime(dateTime) && *number >= found.recordNumber)
                found = {static_cast<std::int32_t>(*number), dateTime};
        } catch (const RuntimeError &) {
            // A date that does not parse: not a stored record either.
        }
    }
}

std::int32_t FindLastLogRecnum(const std::filesystem::path &file, LogDateTime &lastDateTime)
{
    DebugLog("MLogFtp.FindLastLogRecnum()");
    if (!FileExists(file))
        return 0;
    LastLogRecord found;
    try {
        scanLastLogRecnum(readLogFileTail(file, kLastLogRecnumTailBytes), found);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.FindLastLogRecnum()," + errorText(e));
        MsgBox("Error scanning log file: " + errorText(e), MsgStyle::kOkOnly, "Finding most recent log record");
    }
    if (found.recordNumber != 0)
        lastDateTime = found.dateTime;
    return found.recordNumber;
}

void SetShortLogRecords(std::string_view deviceName, LogWindow &window)
{
    DebugLog("MLogFtp.SetShortLogRecords()");
    setLogFileInfo(deviceName, true, window);
}

void SetLongLogRecords(std::string_view deviceName, LogWindow &window)
{
    DebugLog("MLogFtp.SetLongLogRecords()");
    setLogFileInfo(deviceName, false, window);
}

}  // namespace tellumic
