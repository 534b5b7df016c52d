#include "harvest/harvest_console.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/text.h"
#include "model/date_time.h"

namespace tellumic::harvest {

namespace {

constexpr auto kDrawInterval = std::chrono::milliseconds(250);

// No byte of a device name or a message may steer the terminal or break a journal line.
std::string printable(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

std::string jsonRecord(const LastLogRecord &r)
{
    if (r.recordNumber == 0)
        return "null";
    return "{\"record\":" + std::to_string(r.recordNumber) + ",\"time\":" + jsonQuoted(FormatDateTime(r.dateTime)) +
           "}";
}

std::string jsonNumber(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", std::isfinite(v) ? v : 0.0);
    return buf;
}

std::string jsonObject(const MeterResult &r)
{
    std::string notes = "[";
    for (const auto &n : r.notes)
        notes += (notes.size() > 1 ? "," : "") + jsonQuoted(n);
    notes += "]";
    return "{\"network\":" + jsonQuoted(r.network) + ",\"name\":" + jsonQuoted(r.name) +
           ",\"file\":" + jsonQuoted(r.file) + ",\"records\":" + std::to_string(r.records) +
           ",\"bytes\":" + std::to_string(r.bytes) + ",\"first\":" + jsonRecord(r.first) +
           ",\"last\":" + jsonRecord(r.last) + ",\"seconds\":" + jsonNumber(r.seconds) +
           ",\"tries\":" + std::to_string(r.tries) +
           ",\"left\":" + (r.left < 0 ? std::string("null") : std::to_string(r.left)) +
           ",\"outcome\":" + jsonQuoted(harvestOutcomeName(r.outcome)) +
           ",\"error\":" + (r.error.empty() ? std::string("null") : jsonQuoted(r.error)) + ",\"notes\":" + notes +
           ",\"failed_check\":" + std::to_string(r.lost.failedCheck) +
           ",\"unrecognized\":" + std::to_string(r.lost.unrecognized) +
           (r.stored < 0 && r.storeError.empty()
                ? std::string()
                : ",\"stored\":" + std::to_string(std::max<std::int64_t>(r.stored, 0)) + ",\"storeError\":" +
                      (r.storeError.empty() ? std::string("null") : jsonQuoted(r.storeError))) +
           "}";
}

std::string percentText(double fraction)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * std::clamp(fraction, 0.0, 1.0));
    return buf;
}

std::string rateText(double perSecond)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f rec/s", perSecond);
    return buf;
}

}  // namespace

std::string formatDuration(double seconds)
{
    char buf[48];
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    if (seconds < 60) {
        std::snprintf(buf, sizeof buf, "%.1f s", seconds);
    } else if (seconds < 3600) {
        const auto s = static_cast<long long>(std::lround(seconds));
        std::snprintf(buf, sizeof buf, "%lld min %02lld s", s / 60, s % 60);
    } else {
        const auto m = static_cast<long long>(std::lround(seconds / 60));
        std::snprintf(buf, sizeof buf, "%lld h %02lld min", m / 60, m % 60);
    }
    return buf;
}

ConsoleOptions detectConsole()
{
    ConsoleOptions o;
    const char *term = std::getenv("TERM");
    o.terminal = ::isatty(STDERR_FILENO) == 1 && term && *term && std::string_view(term) != "dumb";
    // systemd names the journal stream it connects: "device:inode".
    if (const char *stream = std::getenv("JOURNAL_STREAM")) {
        struct stat st {};
        if (::fstat(STDERR_FILENO, &st) == 0) {
            const std::string mine = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
            o.journal = mine == stream;
        }
    }
    struct winsize ws {};
    if (o.terminal && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        o.columns = ws.ws_col;
    return o;
}

ConsoleReport::ConsoleReport(ConsoleOptions options, std::FILE *out, std::FILE *err)
    : m_options(options), m_out(out), m_err(err)
{
}

void ConsoleReport::line(Priority priority, const std::string &text)
{
    clearLive();
    if (m_options.journal)
        std::fprintf(m_err, "<%d>", static_cast<int>(priority));
    std::fprintf(m_err, "%s\n", printable(text).c_str());
    redraw(true);
    std::fflush(m_err);
}

void ConsoleReport::error(const std::string &text)
{
    line(Priority::Error, text);
}

void ConsoleReport::info(const std::string &text)
{
    line(Priority::Info, text);
}

void ConsoleReport::clearLive()
{
    if (m_liveLines > 0)
        std::fprintf(m_err, "\x1b[%dA\x1b[J", m_liveLines);
    m_liveLines = 0;
}

void ConsoleReport::redraw(bool force)
{
    if (!m_options.terminal)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kDrawInterval)
        return;
    m_lastDraw = now;
    clearLive();
    std::vector<std::string> lines;
    for (const auto &[network, p] : m_running)
        lines.push_back(liveLine(p));
    if (!m_networks.empty())
        lines.push_back(totalLine());
    const auto width = static_cast<std::size_t>(std::max(20, m_options.columns - 1));
    for (auto &l : lines) {
        l = printable(l);
        if (l.size() > width)
            l.resize(width);
        std::fprintf(m_err, "%s\n", l.c_str());
    }
    m_liveLines = static_cast<int>(lines.size());
    std::fflush(m_err);
}

std::string ConsoleReport::liveLine(const MeterProgress &p) const
{
    const double seconds = p.recordsPerSecond > 0 ? static_cast<double>(p.expected) / p.recordsPerSecond : 0;
    return "  " + p.network + "/" + p.name + "  ~" + std::to_string(p.records) + "/" + std::to_string(p.expected) +
           " records  " + percentText(seconds > 0 ? p.elapsed / seconds : 0) + "  " + rateText(p.recordsPerSecond) +
           "  " + formatDuration(p.left) + " left";
}

std::string ConsoleReport::totalLine() const
{
    std::size_t meters = 0;
    std::int64_t planned = 0, remaining = 0, moved = m_records;
    bool estimated = true;
    double left = 0;  // networks run side by side: the slowest one decides
    for (const auto &[network, t] : m_networks) {
        meters += t.meters;
        planned += t.plannedRecords;
        estimated = estimated && t.estimated;
        std::int64_t rest = 0;
        for (const auto &[name, records] : t.pending)
            rest += records;
        double rate = t.rate;
        if (const auto it = m_running.find(network); it != m_running.end()) {
            rest -= std::min(it->second.records, rest);
            moved += it->second.records;
            rate = it->second.recordsPerSecond;
        }
        remaining += rest;
        if (rate > 0)
            left = std::max(left, static_cast<double>(rest) / rate);
    }
    const int done = m_counts[0] + m_counts[1] + m_counts[2] + m_counts[3];
    std::string text = "  total  " + std::to_string(done) + "/" + std::to_string(meters) + " meters  ~" +
                       std::to_string(moved) + " records";
    if (estimated && planned > 0)
        text += "  " + percentText(static_cast<double>(planned - remaining) / static_cast<double>(planned)) + "  " +
                formatDuration(left) + " left";
    return text;
}

// The records a download could not vouch for, as the meter's line says them; empty if none.
std::string lostText(const MeterResult &r)
{
    std::string text;
    if (r.lost.failedCheck > 0)
        text += ", " + std::to_string(r.lost.failedCheck) +
                (r.lost.failedCheck == 1 ? " failed its check" : " failed their check");
    if (r.lost.unrecognized > 0)
        text += ", " + std::to_string(r.lost.unrecognized) + " of an unrecognised type";
    return text;
}

// What a meter that did not finish kept of this run, and how often it was tried.
std::string partText(const MeterResult &r)
{
    std::string text;
    if (r.tries > 1)
        text += " (" + std::to_string(r.tries) + " tries)";
    if (r.records > 0)
        text += "; " + std::to_string(r.records) + " records kept in " + r.file;
    return text;
}

std::string ConsoleReport::meterLine(const MeterResult &r) const
{
    const std::string who = r.network + "/" + r.name + ": ";
    const std::string tries = r.tries > 1 ? ", on try " + std::to_string(r.tries) : std::string();
    switch (r.outcome) {
    case HarvestOutcome::Harvested:
        if (r.records == 0)
            return who + "up to date, no new records (" + r.file + "), " + formatDuration(r.seconds);
        return who + "harvested " + std::to_string(r.records) + " records (" + std::to_string(r.bytes) +
               " bytes" + lostText(r) + ") into " + r.file +
               (r.first.recordNumber != 0 ? ", records " + std::to_string(r.first.recordNumber) + " to " +
                                                std::to_string(r.last.recordNumber) + " (" +
                                                FormatDateTime(r.first.dateTime) + " to " +
                                                FormatDateTime(r.last.dateTime) + ")"
                                          : std::string()) +
               ", " + formatDuration(r.seconds) + tries;
    case HarvestOutcome::Failed:
        return who + "FAILED after " + formatDuration(r.seconds) + partText(r) + ": " + r.error;
    case HarvestOutcome::Busy: return who + "busy, skipped: " + r.error;
    case HarvestOutcome::Cancelled: return who + "cancelled: " + r.error + partText(r);
    case HarvestOutcome::DryRun:
        return who + "would fetch " + std::to_string(r.records) + " records (" + std::to_string(r.bytes) +
               " bytes) into " + r.file + ", about " + formatDuration(r.seconds);
    }
    return who + r.error;
}

void ConsoleReport::planned(const std::string &network, const std::vector<MeterPlan> &meters)
{
    NetworkTotals &t = m_networks[network];
    t.meters = meters.size();
    for (const MeterPlan &m : meters) {
        t.plannedRecords += m.records;
        t.pending[m.name] = m.records;
        t.estimated = t.estimated && m.estimated;
    }
    if (meters.empty() && !m_options.namedMeters)
        line(Priority::Warning, network + ": no logging meters to harvest");
    else
        redraw(true);
}

void ConsoleReport::started(const MeterProgress &progress)
{
    m_running[progress.network] = progress;
    m_networks[progress.network].rate = progress.recordsPerSecond;
    redraw(true);
}

void ConsoleReport::progress(const MeterProgress &progress)
{
    m_running[progress.network] = progress;
    m_networks[progress.network].rate = progress.recordsPerSecond;
    redraw(false);
}

void ConsoleReport::finished(const MeterResult &r)
{
    m_running.erase(r.network);
    m_seen.insert(r.name);
    ++m_counts[static_cast<int>(r.outcome)];
    m_records += r.records;
    m_bytes += r.bytes;
    m_lostRecords += static_cast<std::int64_t>(r.lost.total());
    m_lostMeters += r.lost.total() > 0 ? 1 : 0;
    if (const auto it = m_networks.find(r.network); it != m_networks.end())
        it->second.pending.erase(r.name);
    json(jsonObject(r));
    if (r.outcome == HarvestOutcome::DryRun) {
        m_dryRunSeconds[r.network] += r.seconds;
        if (!m_options.json) {
            std::fprintf(m_out, "%s\n", printable(meterLine(r)).c_str());
            std::fflush(m_out);
        }
        return;
    }
    // Meters a stop left out are summed up per network instead of a line each.
    if (r.outcome == HarvestOutcome::Cancelled && r.error == kStoppedBeforeMeter) {
        ++m_notTaken[r.network];
        return;
    }
    const Priority priority = r.outcome == HarvestOutcome::Failed                               ? Priority::Error
                              : r.outcome == HarvestOutcome::Harvested && r.lost.total() == 0 ? Priority::Info
                                                                                              : Priority::Warning;
    line(priority, meterLine(r));
    for (const auto &note : r.notes)
        line(Priority::Warning, r.network + "/" + r.name + ": note: " + note);
    if (!r.storeError.empty())
        line(Priority::Error, r.network + "/" + r.name + ": record store: " + r.storeError);
}

// With --json every outcome is on standard output too: a script that reads it alone learns
// what became of each network and meter it asked for.
void ConsoleReport::json(const std::string &object)
{
    if (!m_options.json)
        return;
    std::fputs((object + "\n").c_str(), m_out);
    std::fflush(m_out);
}

void ConsoleReport::networkMessage(const std::string &network, const std::string &text)
{
    line(Priority::Error, network + ": " + text);
    json("{\"network\":" + jsonQuoted(network) + ",\"outcome\":\"not harvested\",\"error\":" + jsonQuoted(text) + "}");
}

void ConsoleReport::notHarvested(const std::vector<std::string> &networks, const std::string &reason)
{
    line(Priority::Error, "harvest: " + reason);
    for (const auto &network : networks)
        json("{\"network\":" + jsonQuoted(network) + ",\"outcome\":\"not harvested\",\"error\":" + jsonQuoted(reason) +
             "}");
}

void ConsoleReport::networkEnded(const std::string &network, const std::string &reason)
{
    const auto it = m_networks.find(network);
    if (it == m_networks.end()) {
        networkMessage(network, reason);
        return;
    }
    const auto pending = it->second.pending;  // finished() takes each out
    for (const auto &[name, records] : pending) {
        MeterResult r;
        r.network = network;
        r.name = name;
        r.file = GetLogFilename(name, m_options.shortRecords);
        r.outcome = HarvestOutcome::Failed;
        r.error = reason;
        finished(r);
    }
}

void ConsoleReport::meterNotFound(const std::string &name, const std::vector<std::string> &networks)
{
    const std::string text = "no meter named \"" + name + "\" in " +
                             (networks.size() == 1 ? "the network " + networks[0] : "these networks");
    line(Priority::Error, "harvest: " + text);
    json("{\"network\":" + (networks.size() == 1 ? jsonQuoted(networks[0]) : std::string("null")) +
         ",\"name\":" + jsonQuoted(name) + ",\"outcome\":\"not found\",\"error\":" + jsonQuoted(text) + "}");
}

void ConsoleReport::summary(double elapsedSeconds)
{
    clearLive();
    m_networks.clear();
    m_running.clear();
    const int meters = m_counts[0] + m_counts[1] + m_counts[2] + m_counts[3] + m_counts[4];
    if (m_options.dryRun) {
        double longest = 0;
        for (const auto &[network, seconds] : m_dryRunSeconds)
            longest = std::max(longest, seconds);
        const std::string total = "total: " + std::to_string(m_counts[4]) + " meters would bring " +
                                  std::to_string(m_records) + " records (" + std::to_string(m_bytes) +
                                  " bytes), about " + formatDuration(longest) +
                                  (m_dryRunSeconds.size() > 1 ? " (networks side by side)" : "");
        if (!m_options.json) {
            std::fprintf(m_out, "%s\n", total.c_str());
            std::fflush(m_out);
        }
        if (m_counts[1] > 0)
            line(Priority::Error, "harvest: " + std::to_string(m_counts[1]) + " of " + std::to_string(meters) +
                                      " meters could not be read");
        return;
    }
    for (const auto &[network, count] : m_notTaken)
        line(Priority::Warning, network + ": " + std::to_string(count) + (count == 1 ? " meter" : " meters") +
                                    " not taken: the harvest was stopped");
    std::string text = "harvest: " + std::to_string(meters) + " meters: " + std::to_string(m_counts[0]) +
                       " harvested (" + std::to_string(m_records) + " records, " + std::to_string(m_bytes) +
                       " bytes)";
    if (m_counts[1])
        text += ", " + std::to_string(m_counts[1]) + " failed";
    if (m_counts[2])
        text += ", " + std::to_string(m_counts[2]) + " busy";
    if (m_counts[3])
        text += ", " + std::to_string(m_counts[3]) + " cancelled";
    if (m_lostRecords)
        text += "; " + std::to_string(m_lostRecords) + " records lost to a failed check or an unrecognised type on " +
                std::to_string(m_lostMeters) + (m_lostMeters == 1 ? " meter" : " meters");
    line(failedMeters() > 0 ? Priority::Warning : Priority::Info, text + "; " + formatDuration(elapsedSeconds));
}

}  // namespace tellumic::harvest
