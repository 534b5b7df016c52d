#pragma once

#include <string>
#include <vector>

#include "log/log_window.h"

namespace tellumic::test {

// The Logging tab's fields as plain strings, for checking what the log procedures show.
class RecordingLogWindow final : public LogWindow, public EventLog
{
public:
    void setPercentComplete(std::string_view text) override { percentComplete = text; }
    void setFileRecNum(std::string_view text) override { fileRecNum = text; }
    void setFileDateTime(std::string_view text) override { fileDateTime = text; }
    void setLogFilename(std::string_view name, std::string_view tip) override
    {
        logFilename = name;
        toolTip = tip;
    }
    EventLog &echLog() override { return *this; }
    bool shortRecordsTicked() const override { return shortTicked; }
    void UpdateLogProgress() override { ++progressUpdates; }
    void processPendingEvents() override { ++eventRuns; }
    void logDataStored(const StoredLogData &data) override { stored = data; }

    void addError(const std::string &text) override { errors.push_back(text); }
    void addInfo(const std::string &text) override { infos.push_back(text); }

    std::string percentComplete, fileRecNum = "unset", fileDateTime = "unset", logFilename, toolTip;
    std::vector<std::string> errors, infos;
    StoredLogData stored;
    bool shortTicked = false;
    int progressUpdates = 0;
    int eventRuns = 0;
};

}  // namespace tellumic::test
