#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/clock.h"

namespace tellumic {

// The diagnostic trace "TmPlugin.log" in the program folder. Whether a process traces is
// decided once, on its first line: on when "EnableLog.txt" is present, or when no trace
// file exists yet (the process then creates one); otherwise off. Each line is appended
// with the file opened and closed around it, so support can copy or delete it any time.
class TraceLog
{
public:
    enum State : short { Undecided = 0, Off = 1, On = 2 };

    TraceLog(std::filesystem::path folder, const Clock &clock);

    // Writes one line when tracing is on. A line that cannot be written is dropped: a
    // failure of tracing never reaches the traced procedure.
    void write(std::string_view message) noexcept;

    State state() const { return m_state; }
    // Settles the state without looking at the folder: a command-line tool that shares the
    // code must neither write the plug-in's trace nor create it.
    void forceState(State state) { m_state = state; }
    const std::filesystem::path &path() const { return m_path; }

    // "YYYY-MM-DD HH:NN:SS.hh message" for two readings of the clock.
    static std::string formatLine(Clock::TimePoint dateTime, Clock::TimePoint secondsReading,
                                  std::string_view message);

private:
    void decide();

    std::filesystem::path m_folder;
    std::filesystem::path m_path;
    const Clock &m_clock;
    State m_state = Undecided;
};

// The process's trace log, in the program folder on the process clock, made on first use.
TraceLog &processTraceLog();
// Puts another trace log in its place (tests; nullptr makes a fresh default on next use).
void setProcessTraceLog(std::unique_ptr<TraceLog> log);

void DebugLog(std::string_view message) noexcept;

}  // namespace tellumic
