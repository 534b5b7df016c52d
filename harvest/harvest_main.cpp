// tellumic-log harvest: the new records of every logging meter of one or more networks,
// unattended. Each network is harvested by a process of its own, on an object server of its
// own, so that networks run side by side while every harvest keeps the plug-in's one thread;
// the main process shows what they report and ends with their worst status.

#include "harvest/harvest_main.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "sim/network_db.h"
#include "sim/sim_object_server.h"
#include "sim/installation.h"
#include "harvest/harvest_console.h"
#include "harvest/harvest_events.h"
#include "harvest/harvest_store.h"
#include "harvest/log_gaps_main.h"

namespace tellumic::harvest {

namespace {

constexpr const char *kUsage =
    "Usage:\n"
    "  tellumic-log harvest NETWORK... [--meter NAME]... [--short] [--keep-bad] [--dry-run] [--json|--events]\n"
    "                       [--retries N] [--max-time DURATION] [--store URL]\n"
    "  tellumic-log harvest NETWORK... --fill-gaps [--meter NAME]... [--short] [--keep-bad] [--json]\n"
    "\n"
    "Downloads the records that every logging meter of each NETWORK logged since the last one\n"
    "in its CSV log file (the whole log when there is no file yet) and appends them to that\n"
    "file, as a \"New Records\" download of the Logging tab does: the same file, header and\n"
    "lines. The network is opened in the simulated LNS installation under TELLUMIC_HOME; the\n"
    "files are in its program folder. The meters of a network are taken one after another (a\n"
    "channel carries one transfer at a time); several networks are harvested side by side.\n"
    "A meter's records come in chunks of 512, oldest first, each appended as soon as it is\n"
    "whole: a harvest stopped at any moment keeps every whole chunk, and the next goes on\n"
    "after the last record in the file.\n"
    "\n"
    "  --meter NAME  only the meter NAME (repeat for more); by default every logging meter\n"
    "  --short       short records (\"Short Records\"), into the device's -log-short- file;\n"
    "                by default long records, into its -log-full- file\n"
    "  --keep-bad    keep the values of records that fail their check (\"Keep Bad Records\")\n"
    "  --dry-run     read only the meters' log information and show what would be fetched\n"
    "                and how long it would take\n"
    "  --retries N   try a meter that failed (it did not answer, its transfer was cut short)\n"
    "                up to N more times in the run: after the network's other meters, then\n"
    "                at growing intervals (10 s, 30 s, 60 s, ...); default 2, 0 for none\n"
    "  --max-time DURATION\n"
    "                end the run within DURATION (seconds, or with units: 90m, 5h, 1h30m):\n"
    "                no chunk is begun that would not end in time; what is left of each\n"
    "                meter is reported and fetched by the next harvest\n"
    "  --store URL   after each meter's records are appended to its file, store what the\n"
    "                record store URL (sqlite:PATH, postgresql://...) lacks of that file, in\n"
    "                one transaction; a store that fails is reported per meter and ends the\n"
    "                harvest with 1, the files keep every record and the next harvest\n"
    "                catches the store up\n"
    "  --json        print one summary object per meter on standard output (network, name,\n"
    "                file, records, bytes, first, last, seconds, tries, left: the records\n"
    "                not fetched or null when not known, outcome, error, notes,\n"
    "                failed_check, unrecognized), one per network that brings nothing\n"
    "                (network, outcome \"not harvested\", error) and one per meter named\n"
    "                that no network has (network, name, outcome \"not found\", error)\n"
    "  --events      print what happens as it happens on standard output, for a program\n"
    "                that shows the harvest: one event a line, its fields separated by tabs\n"
    "                (planned, started, progress, finished, message)\n"
    "\n"
    "On a terminal a progress line per running meter and a total show on standard error;\n"
    "otherwise one line per meter when it ends, without control codes. A log file that another\n"
    "download (the Logging tab, another harvest) is appending to is skipped as busy; a second\n"
    "harvest of a network that is being harvested says so and ends. SIGINT, SIGTERM or SIGHUP\n"
    "cancels the running transfers as the Logging tab's Cancel button does; every file stays\n"
    "whole.\n"
    "\n"
    "  --fill-gaps   instead of new records, fetch what each meter's log file lacks between\n"
    "                its first and last record (missing records, lines that failed their\n"
    "                check or were not recognised) as far as the meter still holds them, and\n"
    "                put them into the file in record order; a range older than the meter's\n"
    "                oldest record is reported as lost for good. Exit 1 when a file is still\n"
    "                not complete (see tellumic-log audit).\n"
    "\n"
    "Exit status: 0 every meter was harvested; 1 some meters failed, were busy, were not\n"
    "found or were left by --max-time, or records failed their check or were of an\n"
    "unrecognised type (the rest was harvested); 2 bad command line, no installation, or a network that\n"
    "cannot be opened or is being harvested already; 128 + the signal's number when stopped.\n";

volatile std::sig_atomic_t g_signal = 0;

extern "C" void onStopSignal(int signo)
{
    g_signal = signo;
}

struct Args
{
    std::vector<std::string> networks;
    HarvestOptions options;
    bool json = false;
    bool events = false;
    bool help = false;
    bool fillGaps = false;
    bool retriesGiven = false;
    std::string storeUrl;
    std::string error;
};

// A duration as "3600", "90m", "5h" or "1h30m" (units h, m, s); nullopt when it is none or 0.
std::optional<std::chrono::seconds> parseDuration(const std::string &text)
{
    std::chrono::seconds total{0};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t digits = at;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == at || digits - at > 9)
            return std::nullopt;
        const long long n = std::stoll(text.substr(at, digits - at));
        long long unit = 1;
        if (digits < text.size()) {
            const char u = text[digits++];
            unit = u == 'h' ? 3600 : u == 'm' ? 60 : u == 's' ? 1 : 0;
            if (unit == 0)
                return std::nullopt;
        } else if (at != 0) {
            return std::nullopt;  // "1h30" lacks the unit of its last number
        }
        total += std::chrono::seconds(n * unit);
        at = digits;
    }
    if (total <= std::chrono::seconds::zero())
        return std::nullopt;
    return total;
}

Args parseArgs(const std::vector<std::string> &args)
{
    Args a;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--help" || arg == "-h") {
            a.help = true;
        } else if (arg == "--meter" || arg.starts_with("--meter=")) {
            std::string name;
            if (arg == "--meter") {
                if (i + 1 == args.size()) {
                    a.error = "--meter needs a meter name";
                    return a;
                }
                name = args[++i];
            } else {
                name = arg.substr(8);
            }
            if (name.empty()) {
                a.error = "--meter needs a meter name";
                return a;
            }
            a.options.meters.push_back(name);
        } else if (arg == "--short") {
            a.options.isShort = true;
        } else if (arg == "--keep-bad") {
            a.options.keepBad = true;
        } else if (arg == "--dry-run") {
            a.options.dryRun = true;
        } else if (arg == "--store") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                a.error = "--store needs a URL";
                return a;
            }
            a.storeUrl = args[++i];
        } else if (arg == "--retries") {
            const std::string n = i + 1 < args.size() ? args[++i] : std::string();
            if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos) {
                a.error = "--retries needs a count from 0 to 999";
                return a;
            }
            a.options.retries = std::stoi(n);
            a.retriesGiven = true;
        } else if (arg == "--max-time") {
            const auto bound = parseDuration(i + 1 < args.size() ? args[++i] : std::string());
            if (!bound) {
                a.error = "--max-time needs a duration: seconds, or a number with h, m or s (5h, 1h30m)";
                return a;
            }
            a.options.maxTime = bound;
        } else if (arg == "--json") {
            a.json = true;
        } else if (arg == "--events") {
            a.events = true;
        } else if (arg == "--fill-gaps") {
            a.fillGaps = true;
        } else if (arg == "--") {
            a.networks.insert(a.networks.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.starts_with("-")) {
            a.error = "unknown option \"" + arg + "\"";
            return a;
        } else {
            a.networks.push_back(arg);
        }
    }
    if (!a.help && a.networks.empty())
        a.error = "no NETWORK given";
    if (a.json && a.events)
        a.error = "--json and --events both write to standard output; give one";
    if (!a.storeUrl.empty() && !a.storeUrl.starts_with("sqlite:") && !a.storeUrl.starts_with("postgresql:") &&
        !a.storeUrl.starts_with("postgres://"))
        a.error = "\"" + a.storeUrl + "\" is not a record store URL: use sqlite:PATH or postgresql://...";
    for (const auto &n : a.networks)
        if (n.empty())
            a.error = "a NETWORK name is empty";
    // A network named twice is harvested once.
    std::vector<std::string> unique;
    for (const auto &n : a.networks)
        if (std::find(unique.begin(), unique.end(), n) == unique.end())
            unique.push_back(n);
    a.networks = std::move(unique);
    return a;
}

void installSignalHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a waiting poll wakes up at once
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    // A terminal that goes away stops the harvest as cleanly.
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// The harvest of one network, in the child process that runs it; never returns.
[[noreturn]] void runNetwork(const std::string &network, const HarvestOptions &options, const std::string &storeUrl,
                             int fd)
{
    int status = HarvestStatus::kNotHarvested;
    {
        PipeReport pipe(fd);
        std::optional<StoringReport> storing;
        if (!storeUrl.empty() && !options.dryRun)
            storing.emplace(storeUrl, options.isShort, pipe);
        HarvestReport &report = storing ? static_cast<HarvestReport &>(*storing) : pipe;
        try {
            const auto folder = sim::installedLonWorksFolder();
            sim::SimObjectServer server(folder, sim::installationOptions(folder));
            // The main process gone is a stop too: nobody would learn what happened.
            status = harvestNetwork(server, network, options, report,
                                    [&pipe] { return g_signal != 0 || pipe.broken(); });
            if (storing && storing->failed())
                status = std::max(status, HarvestStatus::kSomeFailed);
        } catch (const std::exception &e) {
            report.networkMessage(network, std::string("cannot harvest the network: ") + e.what());
        } catch (...) {
            report.networkMessage(network, "cannot harvest the network: an unexpected error");
        }
    }
    ::close(fd);
    std::_Exit(status);
}

struct Child
{
    std::string network;
    pid_t pid = -1;
    int fd = -1;
    std::string pending;  // a line not yet complete
    int status = HarvestStatus::kNotHarvested;
};

// Replays what a child wrote; false at its end.
bool readChild(Child &c, HarvestReport &report)
{
    char buf[4096];
    const ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0)
        return false;
    c.pending.append(buf, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t eol; (eol = c.pending.find('\n', start)) != std::string::npos; start = eol + 1)
        replayEvent(std::string_view(c.pending).substr(start, eol - start), report);
    c.pending.erase(0, start);
    return true;
}

// Networks from this one on that no process harvests.
void notStarted(const std::vector<Child> &children, const Child &from, const std::string &why, ConsoleReport &report)
{
    std::vector<std::string> networks;
    for (auto it = children.begin() + (&from - children.data()); it != children.end(); ++it)
        networks.push_back(it->network);
    report.notHarvested(networks, "cannot start a harvest: " + why);
}

bool startChildren(std::vector<Child> &children, const HarvestOptions &options, const std::string &storeUrl,
                   ConsoleReport &report)
{
    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t parent = ::getpid();
    for (Child &c : children) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) {
            notStarted(children, c, std::strerror(errno), report);
            return false;
        }
        const pid_t pid = ::fork();
        if (pid < 0) {
            const int err = errno;
            ::close(p[0]);
            ::close(p[1]);
            notStarted(children, c, std::strerror(err), report);
            return false;
        }
        if (pid == 0) {
            // A worker outlives no main process, however that one ends: left alone it would
            // hold the network's lock with nobody to report to. Killed, it keeps every whole
            // chunk, as a killed harvest does. The parent may have gone before the request.
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
                std::_Exit(HarvestStatus::kNotHarvested);
            ::close(p[0]);
            for (const Child &other : children)
                if (other.fd >= 0)
                    ::close(other.fd);
            runNetwork(c.network, options, storeUrl, p[1]);
        }
        ::close(p[1]);
        c.pid = pid;
        c.fd = p[0];
    }
    return true;
}

// Passes every event to the console and, with --events, as a line to standard output.
class EventsReport final : public HarvestReport
{
public:
    EventsReport(ConsoleReport &console, bool events) : m_console(console), m_events(events ? STDOUT_FILENO : -1) {}

    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override
    {
        m_console.planned(network, meters);
        if (m_events.fd() >= 0)
            m_events.planned(network, meters);
    }
    void started(const MeterProgress &progress) override
    {
        m_console.started(progress);
        if (m_events.fd() >= 0)
            m_events.started(progress);
    }
    void progress(const MeterProgress &progress) override
    {
        m_console.progress(progress);
        if (m_events.fd() >= 0)
            m_events.progress(progress);
    }
    void finished(const MeterResult &result) override
    {
        m_console.finished(result);
        if (m_events.fd() >= 0)
            m_events.finished(result);
    }
    void networkMessage(const std::string &network, const std::string &text) override
    {
        m_console.networkMessage(network, text);
        if (m_events.fd() >= 0)
            m_events.networkMessage(network, text);
    }

private:
    ConsoleReport &m_console;
    PipeReport m_events;
};

void followChildren(std::vector<Child> &children, ConsoleReport &report, HarvestReport &events)
{
    bool forwarded = false;
    for (;;) {
        if (g_signal != 0 && !forwarded) {
            forwarded = true;
            report.error("harvest: stopping; the running transfers are cancelled");
            for (const Child &c : children)
                if (c.pid > 0)
                    ::kill(c.pid, g_signal);
        }
        std::vector<pollfd> fds;
        std::vector<Child *> of;
        for (Child &c : children)
            if (c.fd >= 0) {
                fds.push_back({c.fd, POLLIN, 0});
                of.push_back(&c);
            }
        if (fds.empty())
            return;
        // The timeout only bounds how late a stop signal is passed on.
        const int n = ::poll(fds.data(), fds.size(), 500);
        if (n < 0 && errno != EINTR)
            return;
        for (std::size_t i = 0; n > 0 && i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            if (!readChild(*of[i], events)) {
                ::close(of[i]->fd);
                of[i]->fd = -1;
            }
        }
    }
}

// How a network's process ended, when not as a harvest ends; "" when it did.
std::string abnormalEnd(int raw)
{
    if (WIFEXITED(raw) && WEXITSTATUS(raw) <= HarvestStatus::kNotHarvested)
        return {};
    if (WIFSIGNALED(raw))
        return "killed by signal " + std::to_string(WTERMSIG(raw)) + " (" + strsignal(WTERMSIG(raw)) + ")";
    return "exit status " + std::to_string(WEXITSTATUS(raw));
}

void reapChildren(std::vector<Child> &children, ConsoleReport &report)
{
    for (Child &c : children) {
        if (c.pid <= 0)
            continue;
        int raw = 0;
        while (::waitpid(c.pid, &raw, 0) < 0 && errno == EINTR) {
        }
        const std::string end = abnormalEnd(raw);
        c.status = end.empty() ? WEXITSTATUS(raw) : HarvestStatus::kSomeFailed;
        // The meters it had not reported would otherwise go unmentioned.
        if (!end.empty())
            report.networkEnded(c.network, "the harvest of this network ended unexpectedly: " + end);
    }
}

}  // namespace

int harvestMain(const std::vector<std::string> &args)
{
    Args a = parseArgs(args);
    if (a.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!a.error.empty()) {
        std::fprintf(stderr, "tellumic-log harvest: %s\n\n%s", a.error.c_str(), kUsage);
        return 2;
    }
    if (a.fillGaps) {
        if (a.options.dryRun || !a.storeUrl.empty() || a.events || a.retriesGiven || a.options.maxTime) {
            std::fprintf(stderr,
                         "tellumic-log harvest: --fill-gaps takes no --dry-run, --store, --events, --retries or "
                         "--max-time\n\n%s",
                         kUsage);
            return 2;
        }
        return fillGapsMain(a.networks, a.options, a.json);
    }
    ConsoleOptions console = detectConsole();
    console.json = a.json;
    console.dryRun = a.options.dryRun;
    console.namedMeters = !a.options.meters.empty();
    console.shortRecords = a.options.isShort;
    ConsoleReport report(console, stdout, stderr);
    try {
        const auto folder = sim::installedLonWorksFolder();
        if (!std::filesystem::exists(sim::networkDbPath(folder)))
            throw RuntimeError(ErrorNumber::kPathNotFound, "no network database");
    } catch (const RuntimeError &e) {
        // A registry that cannot be read (a read-only home) is no missing installation.
        const bool unreadable = e.description().starts_with("The registry ");
        report.notHarvested(a.networks, unreadable ? e.description()
                                                   : sim::noInstallationMessage(tellumicHome()));
        return HarvestStatus::kNotHarvested;
    } catch (const std::exception &e) {
        report.notHarvested(a.networks, "the simulated LNS installation in " + tellumicHome().string() +
                                            " cannot be used: " + e.what());
        return HarvestStatus::kNotHarvested;
    }
    // Someone watching gets the whole harvest's estimate; a timer's run does not pay for it.
    a.options.planFirst = (console.terminal || a.events) && !a.options.dryRun;
    EventsReport events(report, a.events);

    const auto start = std::chrono::steady_clock::now();
    installSignalHandlers();
    std::vector<Child> children;
    for (const auto &network : a.networks) {
        Child c;
        c.network = network;
        children.push_back(std::move(c));
    }
    const bool started = startChildren(children, a.options, a.storeUrl, report);
    followChildren(children, report, events);
    reapChildren(children, report);
    report.summary(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    int status = started ? HarvestStatus::kAllHarvested : HarvestStatus::kNotHarvested;
    for (const Child &c : children)
        status = std::max(status, c.status);
    // A meter asked for that no network has, once every network could be looked through.
    if (status < HarvestStatus::kNotHarvested) {
        for (const auto &name : a.options.meters) {
            if (report.metersSeen().count(name) == 0) {
                report.meterNotFound(name, a.networks);
                status = HarvestStatus::kSomeFailed;
            }
        }
    }
    if (g_signal != 0)
        return 128 + g_signal;
    return status;
}

}  // namespace tellumic::harvest
