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
    // The text before the first line end may be a cut line or the header: never used.
    for (std::size_t eol = tail.find("\r\n"); eol != npos; eol = tail.find("\r\n", eol + 2)) {
        const std::size_t start = eol + 2;
        const std::size_t comma = tail.find(',', start);
        if (comma == npos)
            break;
        const std::string_view first = tail.substr(start, comma - start);
        // Header, units and no-value lines have no number first, and the meter numbers its
        // records from 1; a line without a comma is nothing this program wrote.
        if (first.find('\n') != npos || Val(first) <= 0)
            continue;
        // A line cut before the end of its date is not a stored record.
        const std::size_t next = tail.find(',', comma + 1);
        if (next == npos)
            break;
        const LogDateTime dateTime = ParseDateTime(tail.substr(comma + 1, next - comma - 1));
        const std::int32_t recordNumber = toLong(first);
        if (isCalendarDateTime(dateTime))
            found = {recordNumber, dateTime};
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
