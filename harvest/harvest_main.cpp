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

namespace tellumic::harvest {

namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void onStopSignal(int signo)
{
    g_signal = signo;
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

int runHarvest(HarvestRequest a)
{
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
