#include "foundation/trace_log.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "foundation/paths.h"

namespace tellumic {

namespace {

void appendBytes(const std::filesystem::path &path, std::string_view bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "ab");
    if (!f)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::unique_ptr<TraceLog> g_log;

}  // namespace

TraceLog::TraceLog(std::filesystem::path folder, const Clock &clock)
    : m_folder(std::move(folder)), m_path(m_folder / "TmPlugin.log"), m_clock(clock)
{
}

void TraceLog::decide()
{
    std::error_code ec;
    if (std::filesystem::exists(m_folder / "EnableLog.txt", ec)) {
        m_state = On;
    } else if (std::filesystem::exists(m_path, ec)) {
        m_state = Off;
    } else {
        m_state = On;
        // Created empty; if that fails the lines that follow are dropped one by one.
        std::ofstream created(m_path, std::ios::binary | std::ios::trunc);
    }
}

void TraceLog::write(std::string_view message) noexcept
{
    try {
        if (m_state == Undecided)
            decide();
        if (m_state != On || message.empty())
            return;
        const auto dateTime = m_clock.now();
        const auto secondsReading = m_clock.now();
        appendBytes(m_path, formatLine(dateTime, secondsReading, message));
    } catch (...) {
        // Tracing is diagnostic only; the traced work goes on.
    }
}

std::string TraceLog::formatLine(Clock::TimePoint dateTime, Clock::TimePoint secondsReading,
                                 std::string_view message)
{
    const LocalTime t = toLocalTime(dateTime);
    const LocalTime s = toLocalTime(secondsReading);
    // The hundredths are the two decimals of the seconds since midnight rounded to 0.01.
    const double sinceMidnight = s.hour * 3600.0 + s.minute * 60.0 + s.second + s.millisecond / 1000.0;
    const long long hundredths = std::llround(sinceMidnight * 100.0) % 100;
    char head[40];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.%02lld ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, hundredths);
    std::string line(head);
    line.append(message);
    line.append("\r\n");
    return line;
}

TraceLog &processTraceLog()
{
    if (!g_log)
        g_log = std::make_unique<TraceLog>(programFolder(), processClock());
    return *g_log;
}

void setProcessTraceLog(std::unique_ptr<TraceLog> log)
{
    g_log = std::move(log);
}

void DebugLog(std::string_view message) noexcept
{
    try {
        processTraceLog().write(message);
    } catch (...) {
    }
}

}  // namespace tellumic
