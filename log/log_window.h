#pragma once

#include <string_view>

#include "foundation/event_log.h"
#include "log/log_csv.h"

namespace tellumic {

// What a download stored: the records and the bytes received, the first and the last good
// record among the lines written (record number 0: none), and the records written without
// values to trust.
struct StoredLogData
{
    std::size_t records = 0;
    std::size_t bytes = 0;
    LastLogRecord first, last;
    LostRecords lost;
};

// What the log procedures need of the device window's Logging tab: its text fields, its
// event log and the event processing of a long read. The tab implements it.
class LogWindow
{
public:
    virtual ~LogWindow() = default;

    virtual void setPercentComplete(std::string_view text) = 0;  // txtPercentComplete
    virtual void setFileRecNum(std::string_view text) = 0;       // txtFileRecNum
    virtual void setFileDateTime(std::string_view text) = 0;     // txtFileDateTime
    // txtLogFilename and its tool tip (the full path).
    virtual void setLogFilename(std::string_view name, std::string_view toolTip) = 0;
    // The window's event log (EchLog).
    virtual EventLog &echLog() = 0;
    // The "Short Records" box is ticked.
    virtual bool shortRecordsTicked() const = 0;

    // While a download blocks: refresh the progress text, and let the window repaint and
    // take pending user input (this is how a "Cancel" click arrives).
    virtual void UpdateLogProgress() = 0;
    virtual void processPendingEvents() = 0;

    // A download's lines are in the file (after its completion line). The tab shows what it
    // needs through the fields above; a harvest reports it.
    virtual void logDataStored(const StoredLogData & /*stored*/) {}
};

}  // namespace tellumic
