#pragma once

// The pieces of a harvest's download that stand in for the device window: the Logging tab's
// fields and event log, and the message boxes' texts made into one-line notes.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dialogs.h"
#include "foundation/event_log.h"
#include "foundation/object_server.h"
#include "log/log_window.h"

namespace tellumic::harvest_parts {

// Messages of the shared procedures are made for a message box; a harvest's lines are one
// line each.
std::string oneLine(std::string_view text);

// Every text of the boxes the procedures showed (answered with their default button, each
// kept once with its count) but the one given and the notice of a download that found
// nothing new: the meter's notes.
std::vector<std::string> boxNotes(const CountingDialogs &boxes, std::string_view except);

// The Logging tab's fields as a download without a window fills them.
class HarvestWindow final : public LogWindow, public EventLog
{
public:
    HarvestWindow(bool isShort, std::function<void()> onProgress)
        : m_isShort(isShort), m_onProgress(std::move(onProgress))
    {
    }

    void setPercentComplete(std::string_view text) override { percent = text; }
    void setFileRecNum(std::string_view) override {}
    void setFileDateTime(std::string_view) override {}
    void setLogFilename(std::string_view, std::string_view) override {}
    EventLog &echLog() override { return *this; }
    bool shortRecordsTicked() const override { return m_isShort; }
    void UpdateLogProgress() override { m_onProgress(); }
    void processPendingEvents() override {}
    void logDataStored(const StoredLogData &data) override { stored = data; }

    void addError(const std::string &text) override { notes.push_back(oneLine(text)); }
    void addInfo(const std::string &text) override
    {
        // The completion line says what the result says already.
        if (!text.starts_with("Log read complete."))
            notes.push_back(oneLine(text));
    }

    std::string percent;
    std::optional<StoredLogData> stored;
    std::vector<std::string> notes;

private:
    bool m_isShort;
    std::function<void()> m_onProgress;
};

class EventSinkScope
{
public:
    EventSinkScope(lns::ObjectServer &server, lns::ObjectServerEvents *sink) : m_server(server)
    {
        m_server.SetEventSink(sink);
    }
    ~EventSinkScope() { m_server.SetEventSink(nullptr); }
    EventSinkScope(const EventSinkScope &) = delete;
    EventSinkScope &operator=(const EventSinkScope &) = delete;

private:
    lns::ObjectServer &m_server;
};

}  // namespace tellumic::harvest_parts
