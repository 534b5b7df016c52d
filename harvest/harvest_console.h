#pragma once

// What a harvest shows: on a terminal a progress line per running meter and a total,
// redrawn in place; without one (a timer's journal, a file) one line per meter when it
// ends, without control codes. --json prints one object per meter on standard output, and
// a dry run its list there. Everything else goes to standard error.

#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "log/harvest.h"

namespace tellumic::harvest {

struct ConsoleOptions
{
    bool terminal = false;  // standard error is a terminal that takes control codes
    bool journal = false;   // standard error is the journal: lines carry a priority prefix
    bool json = false;
    bool dryRun = false;
    bool namedMeters = false;  // --meter: a network may well have none of them
    bool shortRecords = false; // --short: the meters' short-record files
    int columns = 80;          // the terminal's width
};

// Where standard error goes, for ConsoleOptions.
ConsoleOptions detectConsole();

class ConsoleReport final : public HarvestReport
{
public:
    ConsoleReport(ConsoleOptions options, std::FILE *out, std::FILE *err);

    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override;
    void started(const MeterProgress &progress) override;
    void progress(const MeterProgress &progress) override;
    void finished(const MeterResult &result) override;
    void networkMessage(const std::string &network, const std::string &text) override;

    // Networks that bring nothing for a reason of the whole run (no installation, no process
    // to harvest them in): one line, and with --json one object per network.
    void notHarvested(const std::vector<std::string> &networks, const std::string &reason);
    // A network's harvest that ended before it finished (its process died): each meter it
    // had listed and not reported fails with the reason; one that listed none brings nothing.
    void networkEnded(const std::string &network, const std::string &reason);
    // A meter asked for by name that none of the networks has.
    void meterNotFound(const std::string &name, const std::vector<std::string> &networks);

    // A line of the harvest itself (usage problems, the end of the run).
    void error(const std::string &text);
    void info(const std::string &text);
    // The closing lines: the summary, and on a terminal the live lines taken away.
    void summary(double elapsedSeconds);

    // The meter names (of the ones asked for) that some network reported.
    const std::set<std::string> &metersSeen() const { return m_seen; }
    int failedMeters() const { return m_counts[1] + m_counts[2] + m_counts[3] + m_lostMeters; }

private:
    enum class Priority { Error = 3, Warning = 4, Info = 6 };

    void line(Priority priority, const std::string &text);
    void json(const std::string &object);
    void redraw(bool force);
    void clearLive();
    std::string meterLine(const MeterResult &r) const;
    std::string liveLine(const MeterProgress &p) const;
    std::string totalLine() const;

    ConsoleOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    std::map<std::string, MeterProgress> m_running;  // by network
    struct NetworkTotals
    {
        std::int64_t plannedRecords = 0;
        std::map<std::string, std::int64_t> pending;  // records of the meters not yet finished
        std::size_t meters = 0;
        bool estimated = true;
        double rate = 0;  // records per second of the network's last download
    };
    std::map<std::string, NetworkTotals> m_networks;
    std::map<std::string, double> m_dryRunSeconds;  // by network
    std::map<std::string, int> m_notTaken;           // meters a stop left out, by network
    std::set<std::string> m_seen;
    int m_counts[5] = {};  // finished meters by outcome
    std::int64_t m_records = 0, m_bytes = 0;
    std::int64_t m_lostRecords = 0;
    int m_lostMeters = 0;  // meters that lost records
    int m_liveLines = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

// "3 min 12 s", "41.2 s", "2 h 05 min"
std::string formatDuration(double seconds);

}  // namespace tellumic::harvest
