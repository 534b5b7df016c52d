// tellumic-log audit and tellumic-log harvest --fill-gaps: whether the CSV logs hold every
// record from their first to their last, and the fetching of what they lack from the meters.

#include "harvest/log_gaps_main.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "log/log_backfill.h"
#include "log/log_csv_line.h"
#include "log/log_file.h"
#include "model/product_tables.h"
#include "sim/sim_object_server.h"
#include "sim/installation.h"

namespace tellumic::harvest {

namespace {

// Audit (and backfill) statuses.
constexpr int kComplete = 0, kIncomplete = 1, kUnreadable = 2;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onFillStop(int signo)
{
    g_stop = signo;
}

void printLines(const std::vector<std::string> &lines)
{
    for (const auto &line : lines)
        std::printf("%s\n", line.c_str());
}

// Audits one file: prints its report, returns its status.
int auditFile(const std::filesystem::path &path, const std::string &name, bool json)
{
    std::string text;
    try {
        text = readLogFileTail(path, std::numeric_limits<std::size_t>::max());
    } catch (const RuntimeError &e) {
        std::fprintf(stderr, "tellumic-log: cannot read %s: %s\n", name.c_str(), e.description().c_str());
        return kUnreadable;
    }
    // The judgement that keeps a harvest from appending to a file and a backfill from
    // rewriting it: the audit calls no file complete that those leave alone.
    if (const std::string fault = logCsvFileFault(text, text, std::nullopt); !fault.empty()) {
        std::fprintf(stderr, "tellumic-log: %s is not a CSV log (%s)\n", name.c_str(), fault.c_str());
        return kUnreadable;
    }
    const LogAudit audit = auditLogCsv(text);
    if (!audit.headerFound && audit.records == 0) {
        std::fprintf(stderr, "tellumic-log: %s is not a CSV log\n", name.c_str());
        return kUnreadable;
    }
    if (json)
        std::printf("%s\n", auditReportJson(name, audit).c_str());
    else
        printLines(auditReportLines(name, audit));
    return audit.complete() ? kComplete : kIncomplete;
}

// An opened network of the simulated installation and its logging meters.
class OpenNetwork
{
public:
    OpenNetwork(const std::string &network) : m_server(sim::installedLonWorksFolder(), installationOptions())
    {
        m_server.SetBooleanOption(false);
        m_server.Open();
        m_network = m_server.Networks().Item(network);
        m_network->Open();
        m_system = m_network->Systems().Item(1);
        m_system->Open();
    }
    ~OpenNetwork()
    {
        try {
            m_system->Close();
            m_network->Close();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: Backfill.closeNetwork()," + errorText(e));
        }
    }

    // The logging meters, or those named (a named one that is no logging meter is left out).
    std::vector<std::shared_ptr<lns::AppDevice>> loggingMeters(const std::vector<std::string> &named)
    {
        std::vector<std::shared_ptr<lns::AppDevice>> out;
        for (const auto &subsystem : m_system->Subsystems())
            for (const auto &device : subsystem->AppDevices()) {
                if (!named.empty() && std::find(named.begin(), named.end(), device->Name()) == named.end())
                    continue;
                const ProgramIdRecord *model = findProgramId(device->ProgramId());
                if (model && model->logging)
                    out.push_back(device);
            }
        return out;
    }

    lns::ObjectServer &server() { return m_server; }
    lns::System &system() { return *m_system; }

private:
    static sim::SimOptions installationOptions() { return sim::installationOptions(sim::installedLonWorksFolder()); }

    sim::SimObjectServer m_server;
    std::shared_ptr<lns::Network> m_network;
    std::shared_ptr<lns::System> m_system;
};

// A meter's CSV logs in the program folder: every year of both formats.
std::vector<std::filesystem::path> meterLogFiles(const std::string &meter)
{
    std::vector<std::filesystem::path> out;
    for (const bool isShort : {false, true}) {
        const std::string current = GetLogFilename(meter, isShort);
        const std::string prefix = current.substr(0, current.size() - std::string_view("2026.csv").size());
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(programFolder(), ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() == prefix.size() + 8 && name.starts_with(prefix) && name.ends_with(".csv") &&
                std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end() - 4,
                            [](char c) { return c >= '0' && c <= '9'; }))
                out.push_back(entry.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

int auditNetwork(const std::string &network, bool json)
{
    std::vector<std::shared_ptr<lns::AppDevice>> meters;
    try {
        OpenNetwork net(network);
        meters = net.loggingMeters({});
        int status = kComplete;
        for (const auto &meter : meters)
            for (const auto &file : meterLogFiles(meter->Name()))
                status = std::max(status, auditFile(file, file.filename().string(), json));
        return status;
    } catch (const RuntimeError &e) {
        std::fprintf(stderr, "tellumic-log: cannot open the network %s: %s\n", network.c_str(), e.description().c_str());
        return kUnreadable;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tellumic-log: cannot open the network %s: %s\n", network.c_str(), e.what());
        return kUnreadable;
    }
}

std::string rangesText(const std::vector<RecordRange> &ranges)
{
    std::string out;
    for (const auto &r : ranges)
        out += (out.empty() ? "" : ", ") +
               (r.first == r.last ? std::to_string(r.first) : std::to_string(r.first) + " to " + std::to_string(r.last));
    return out;
}

std::string rangesJson(const std::vector<RecordRange> &ranges)
{
    std::string out = "[";
    for (const auto &r : ranges)
        out += (out.size() > 1 ? ",[" : "[") + std::to_string(r.first) + "," + std::to_string(r.last) + "]";
    return out + "]";
}

// Cancels the running transfer once a stop was asked for, as the Logging tab's Cancel does.
class StopOnSignal final : public lns::ObjectServerEvents
{
public:
    explicit StopOnSignal(lns::System &system) : m_system(system) {}
    void OnNetworkVariableUpdate(std::int32_t, const std::string &, std::shared_ptr<lns::Nv>) override {}
    void OnNvUpdateError(std::int32_t, const RuntimeError &) override {}
    void OnSystemServicePin(const std::string &, const std::string &) override {}
    void OnSystemNssIdle() override
    {
        if (!g_stop || m_cancelled)
            return;
        m_cancelled = true;
        try {
            m_system.CancelRunningOperation();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: Backfill.OnSystemNssIdle()," + errorText(e));
        }
    }

private:
    lns::System &m_system;
    bool m_cancelled = false;
};

struct MeterOutcome
{
    int status = kComplete;
    std::string line, json;
};

MeterOutcome fillMeter(lns::System &system, const std::shared_ptr<lns::AppDevice> &device, const std::string &network,
                       const HarvestOptions &options)
{
    const std::string name = device->Name();
    const std::string file = GetLogFilename(name, options.isShort);
    MeterOutcome m;
    const std::string jsonHead =
        "{\"network\":" + jsonQuoted(network) + ",\"name\":" + jsonQuoted(name) + ",\"file\":" + jsonQuoted(file);
    CountingDialogs boxes;
    const DialogsScope scope(boxes);
    // The file stays as it was; the next meter is taken all the same.
    const auto failed = [&](const std::string &why) {
        m.status = kIncomplete;
        m.line = network + "/" + name + ": " + file + ": not filled: " + why;
        m.json = jsonHead + ",\"outcome\":\"failed\",\"error\":" + jsonQuoted(why) + "}";
    };
    try {
        const BackfillResult r = backfillLogFile(system, device, programFolder() / file, options.keepBad);
        if (r.noFile) {
            m.line = network + "/" + name + ": no log file " + file;
            m.json = jsonHead + ",\"outcome\":\"no file\"}";
            return m;
        }
        const LogAudit &a = r.after;
        m.status = a.complete() ? kComplete : kIncomplete;
        m.line = network + "/" + name + ": " + file + ": " + std::to_string(r.counts.filled) + " filled, " +
                 std::to_string(r.counts.replaced) + " lost lines replaced";
        if (r.counts.stillFailed > 0)
            m.line += ", " + std::to_string(r.counts.stillFailed) + " failed their check again";
        if (!r.lostForGood.empty())
            m.line += "; lost for good (the meter no longer holds them): records " + rangesText(r.lostForGood);
        if (r.notSent > 0)
            m.line += "; " + std::to_string(r.notSent) + " records asked for were not sent";
        m.line += a.complete() ? "; complete" : "; still " + auditShortfallText(a);
        m.json = jsonHead + ",\"outcome\":\"" + (a.complete() ? "complete" : "incomplete") +
                 "\",\"asked\":" + rangesJson(r.asked) + ",\"received\":" + std::to_string(r.received) +
                 ",\"filled\":" + std::to_string(r.counts.filled) + ",\"replaced\":" +
                 std::to_string(r.counts.replaced) + ",\"failed_again\":" + std::to_string(r.counts.stillFailed) +
                 ",\"lost_for_good\":" + rangesJson(r.lostForGood) + ",\"missing\":" + rangesJson(a.missing) +
                 ",\"lost\":" + std::to_string(a.lostRecords()) + "}";
    } catch (const RuntimeError &e) {
        failed(boxes.empty() ? errorText(e) : boxes.last());
    } catch (const std::exception &e) {
        failed(e.what());
    }
    return m;
}

}  // namespace

int auditLogs(const std::string &network, const std::vector<std::string> &files, bool json)
{
    if (!network.empty())
        return auditNetwork(network, json);
    int status = kComplete;
    for (const auto &file : files) {
        try {
            status = std::max(status, auditFile(file, file, json));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "tellumic-log: cannot audit %s: %s\n", file.c_str(), e.what());
            status = kUnreadable;
        }
    }
    return status;
}

int fillGapsMain(const std::vector<std::string> &networks, const HarvestOptions &options, bool json)
{
    struct sigaction sa {};
    sa.sa_handler = onFillStop;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    int status = kComplete;
    for (const auto &network : networks) {
        try {
            // A backfill and a harvest of one network would ask its meters at once.
            std::filesystem::create_directories(programFolder());
            const auto lock = FileLock::tryAcquire(harvestLockPath(network));
            if (!lock) {
                std::fprintf(stderr, "%s: a harvest of this network is already running\n", network.c_str());
                status = HarvestStatus::kNotHarvested;
                continue;
            }
            OpenNetwork net(network);
            StopOnSignal stopper(net.system());
            net.server().SetEventSink(&stopper);
            for (const auto &meter : net.loggingMeters(options.meters)) {
                if (g_stop)
                    break;
                const MeterOutcome m = fillMeter(net.system(), meter, network, options);
                std::printf("%s\n", (json ? m.json : m.line).c_str());
                std::fflush(stdout);
                status = std::max(status, m.status);
            }
            net.server().SetEventSink(nullptr);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s: cannot open the network: %s\n", network.c_str(), e.what());
            status = HarvestStatus::kNotHarvested;
        }
    }
    return g_stop ? 128 + g_stop : status;
}

}  // namespace tellumic::harvest
