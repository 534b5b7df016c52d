#include "config/dry_run.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <ostream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tellumic::config {

namespace {

using Json = nlohmann::ordered_json;

const char *stateName(RowState s)
{
    switch (s) {
    case RowState::Differs: return "differs";
    case RowState::Equal: return "equal";
    case RowState::NotOnMeter: return "not on this meter";
    case RowState::ReadOnly: return "read-only";
    }
    return "";
}

std::shared_ptr<lns::AppDevice> findMeter(lns::ObjectServer &server, const std::string &network, const std::string &name)
{
    if (!server.IsOpen()) {
        server.SetBooleanOption(false);
        server.Open();
    }
    auto net = server.Networks().Item(network);
    net->Open();
    auto system = net->Systems().Item(1);
    system->Open();
    for (const auto &sub : system->Subsystems())
        if (auto d = sub->AppDevices().Find(name))
            return d;
    throw RuntimeError(lns::LcaError::kObjectNotFound, "no device " + name + " on network " + network);
}

MeterReport failedReport(const std::string &name, const std::string &reason)
{
    return {Json{{"meter", name}, {"result", "failed"}, {"reason", reason}}, name + ": failed: " + reason + "\n", true};
}

// A worker's meters (every workers-th from its index), one JSON line each, to fd.
[[noreturn]] void runWorker(const MeterConfig &file, const std::string &network, const std::vector<std::string> &meters,
                            const ServerFactory &openServer, std::size_t first, std::size_t step, int fd)
{
    std::unique_ptr<lns::ObjectServer> server;
    try {
        server = openServer();
    } catch (const std::exception &e) {
        server.reset();
    }
    for (std::size_t i = first; i < meters.size(); i += step) {
        MeterReport r;
        try {
            if (!server)
                throw RuntimeError(lns::LcaError::kNotOpen, "the object server did not open");
            r = dryRunMeter(file, *findMeter(*server, network, meters[i]));
        } catch (const RuntimeError &e) {
            r = failedReport(meters[i], errorText(e));
        } catch (const std::exception &e) {
            r = failedReport(meters[i], e.what());
        }
        const std::string line = Json{{"i", i}, {"item", r.item}, {"text", r.text}, {"partly", r.partly}}.dump() + "\n";
        for (std::size_t done = 0; done < line.size();) {
            const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::_Exit(1);
            done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    std::_Exit(0);
}

// Reads the workers' lines until every pipe ends; each line is one meter's report.
void collectReports(std::vector<pollfd> &fds, std::vector<MeterReport> &reports, std::vector<bool> &answered)
{
    std::vector<std::string> pending(fds.size());
    for (std::size_t open = fds.size(); open > 0;) {
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            break;
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0)
                continue;
            char buf[8192];
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(fds[k].fd);
                fds[k].fd = -1;
                --open;
                continue;
            }
            pending[k].append(buf, static_cast<std::size_t>(n));
            for (std::size_t eol; (eol = pending[k].find('\n')) != std::string::npos; pending[k].erase(0, eol + 1)) {
                const Json line = Json::parse(pending[k].substr(0, eol), nullptr, false);
                if (line.is_discarded() || !line.contains("i"))
                    continue;
                const auto i = line["i"].get<std::size_t>();
                if (i >= reports.size())
                    continue;
                reports[i] = {line["item"], line["text"].get<std::string>(), line["partly"].get<bool>()};
                answered[i] = true;
            }
        }
    }
}

}  // namespace

Json comparisonJson(const Comparison &c)
{
    Json rows = Json::array();
    for (const auto &r : c.rows)
        if (r.state != RowState::Equal)
            rows.push_back({{"entry", r.name}, {"caption", r.caption}, {"state", stateName(r.state)},
                            {"file", r.fileText}, {"meter", r.meterText}, {"unit", r.unit}});
    return {{"differences", rows},
            {"warnings", c.warnings},
            {"read", c.read}, {"differing", c.differing}, {"equal", c.equal},
            {"notOnMeter", c.notOnMeter}, {"readOnly", c.readOnly}};
}

void printComparison(const Comparison &c, std::ostream &out, const std::string &indent)
{
    for (const auto &w : c.warnings)
        out << indent << "warning: " << w << "\n";
    for (const auto &r : c.rows) {
        if (r.state == RowState::Differs)
            out << indent << r.name << ": file " << r.fileText << (r.unit.empty() ? "" : " " + r.unit) << ", meter "
                << r.meterText << (r.unit.empty() ? "" : " " + r.unit) << "\n";
        else if (r.state != RowState::Equal)
            out << indent << r.name << ": " << stateName(r.state) << "\n";
    }
    out << indent << summaryLine(c) << "\n";
}

MeterReport dryRunMeter(const MeterConfig &file, lns::AppDevice &meter)
{
    const std::string name = meter.Name();
    const Comparison c = compareConfig(file, meter);
    std::ostringstream text;
    text << name << ": " << (c.otherFamily ? "skipped, another family; " : "") << c.differing << " differing\n";
    printComparison(c, text, "  ");
    return {Json{{"meter", name}, {"result", c.otherFamily ? "skipped" : "dry-run"}, {"comparison", comparisonJson(c)}},
            text.str(), c.otherFamily};
}

std::vector<MeterReport> dryRunMeters(const MeterConfig &file, const std::string &network,
                                      const std::vector<std::string> &meters, const ServerFactory &openServer,
                                      int workers)
{
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), meters.size());
    std::vector<MeterReport> reports(meters.size());
    std::vector<bool> answered(meters.size(), false);
    std::fflush(nullptr);  // nothing buffered may be written twice
    std::vector<pollfd> fds;
    std::vector<pid_t> pids;
    for (std::size_t k = 0; k < count; ++k) {
        int p[2];
        if (::pipe(p) != 0)
            break;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(p[0]);
            runWorker(file, network, meters, openServer, k, count, p[1]);
        }
        ::close(p[1]);
        if (pid < 0) {
            ::close(p[0]);
            break;
        }
        pids.push_back(pid);
        fds.push_back({p[0], POLLIN, 0});
    }
    collectReports(fds, reports, answered);
    for (const pid_t pid : pids)
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    for (std::size_t i = 0; i < meters.size(); ++i)
        if (!answered[i])
            reports[i] = failedReport(meters[i], "the dry run of this meter ended without an answer");
    return reports;
}

}  // namespace tellumic::config
