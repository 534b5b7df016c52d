#include "tools/config/config_tool.h"

#include "config/dry_run.h"
#include "tools/config/stop_signals.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <fstream>
#include <ostream>

#include <nlohmann/json.hpp>

#include "config/config_apply.h"
#include "config/config_file.h"
#include "foundation/paths.h"
#include "foundation/trace_log.h"
#include "log/log_file.h"
#include "model/product_tables.h"

namespace tellumic::config {

const char *const kConfigUsage = R"(Usage:
  tellumic-config save NETWORK DEVICE [FILE]
  tellumic-config diff FILE NETWORK DEVICE [--json]
  tellumic-config apply FILE NETWORK (--meter NAME... | --model PROGRAM-ID | --all)
                        [--only ENTRY...] [--dry-run] [--json]

save   writes a meter's configuration as JSON to FILE (standard output without FILE).
diff   compares FILE with a meter: exit 0 equal, 1 different, 2 error.
apply  writes FILE to each chosen meter in turn, each all-or-nothing: exit 0 all applied,
       1 some failed or were skipped (the rest applied), 2 usage or network errors.
       --dry-run prints each meter's differences and writes nothing.
       SIGTERM, SIGINT or SIGHUP puts the meter being written back and ends with 128 and
       the signal's number; the meters after it are not written.
The network is opened in the LNS installation under TELLUMIC_HOME.
)";

// The file's lock per network: two applies of one network would interleave their writes
// and their roll-backs.
std::filesystem::path applyLockPath(const std::string &network)
{
    std::string name = ".config-apply-";
    for (const unsigned char c : network) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            name.push_back(static_cast<char>(c));
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            name += {'%', kHex[c >> 4], kHex[c & 0xF]};
        }
    }
    return logLockPath(programFolder() / name);
}

namespace {

using Json = nlohmann::ordered_json;

// Enough processes to keep a channel's latency from adding up, few enough for a small machine.
constexpr int kDryRunWorkers = 4;

struct UsageError
{
    std::string text;
};

struct Site
{
    std::shared_ptr<lns::System> system;
    std::string network;

    std::vector<std::shared_ptr<lns::AppDevice>> devices() const
    {
        std::vector<std::shared_ptr<lns::AppDevice>> all;
        for (const auto &sub : system->Subsystems())
            for (const auto &d : sub->AppDevices())
                all.push_back(d);
        return all;
    }
    std::shared_ptr<lns::AppDevice> device(const std::string &name) const
    {
        for (const auto &d : devices())
            if (d->Name() == name)
                return d;
        throw RuntimeError(lns::LcaError::kObjectNotFound, "no device " + name + " on network " + network);
    }
};

Site openSite(lns::ObjectServer &server, const std::string &network)
{
    if (!server.IsOpen()) {
        server.SetBooleanOption(false);
        server.Open();
    }
    auto net = server.Networks().Item(network);
    net->Open();
    auto system = net->Systems().Item(1);
    system->Open();
    return {system, network};
}

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

int save(const std::vector<std::string> &a, lns::ObjectServer &server, std::ostream &out)
{
    if (a.size() < 3 || a.size() > 4)
        throw UsageError{"'save' takes NETWORK DEVICE [FILE]"};
    const Site site = openSite(server, a[1]);
    const MeterConfig config = captureConfig(*site.device(a[2]), a[1], now());
    if (a.size() == 4)
        saveConfig(config, a[3]);
    else
        out << toJson(config);
    return kExitDone;
}

int diff(const std::vector<std::string> &a, lns::ObjectServer &server, std::ostream &out, bool json)
{
    if (a.size() != 4)
        throw UsageError{"'diff' takes FILE NETWORK DEVICE"};
    const MeterConfig file = loadConfig(a[1]);
    const Site site = openSite(server, a[2]);
    const Comparison c = compareConfig(file, *site.device(a[3]));
    if (json)
        out << comparisonJson(c).dump(2) << "\n";
    else
        printComparison(c, out, "");
    return c.differing == 0 ? kExitDone : kExitPartly;
}

struct ApplyArgs
{
    std::string file, network, model;
    std::vector<std::string> meters;
    std::set<std::string> only;
    bool all = false, dryRun = false;
};

ApplyArgs parseApply(const std::vector<std::string> &a)
{
    ApplyArgs r;
    std::vector<std::string> positional;
    std::vector<std::string> *list = nullptr;
    for (std::size_t i = 1; i < a.size(); ++i) {
        const std::string &arg = a[i];
        if (arg == "--meter") {
            list = &r.meters;
        } else if (arg == "--only") {
            list = nullptr;
            if (i + 1 >= a.size() || a[i + 1].starts_with("--"))
                throw UsageError{"--only takes ENTRY..."};
            while (i + 1 < a.size() && !a[i + 1].starts_with("--"))
                r.only.insert(a[++i]);
        } else if (arg == "--model") {
            if (++i >= a.size())
                throw UsageError{"--model takes a PROGRAM-ID"};
            r.model = a[i];
            list = nullptr;
        } else if (arg == "--all" || arg == "--dry-run") {
            (arg == "--all" ? r.all : r.dryRun) = true;
            list = nullptr;
        } else if (arg.starts_with("--")) {
            throw UsageError{"unknown option " + arg};
        } else {
            (list ? *list : positional).push_back(arg);
        }
    }
    if (positional.size() != 2)
        throw UsageError{"'apply' takes FILE NETWORK and one of --meter, --model, --all"};
    r.file = positional[0];
    r.network = positional[1];
    if ((r.meters.empty() ? 0 : 1) + (r.model.empty() ? 0 : 1) + (r.all ? 1 : 0) != 1)
        throw UsageError{"'apply' takes exactly one of --meter NAME..., --model PROGRAM-ID, --all"};
    return r;
}

std::vector<std::shared_ptr<lns::AppDevice>> chosenMeters(const Site &site, const ApplyArgs &a)
{
    std::vector<std::shared_ptr<lns::AppDevice>> chosen;
    if (!a.meters.empty()) {
        for (const auto &name : a.meters)
            chosen.push_back(site.device(name));
        return chosen;
    }
    for (const auto &d : site.devices()) {
        const std::string programId = d->ProgramId();
        if (a.all ? findProgramId(programId) != nullptr : programId == a.model)
            chosen.push_back(d);
    }
    return chosen;
}

// Applies the file to one meter: its JSON object and its line; false when it failed or
// was skipped.
bool applyOne(const MeterConfig &file, const Site &site, lns::AppDevice &meter, const std::set<std::string> &only,
              Json &item, std::string &line)
{
    const std::string name = meter.Name();
    const ApplyResult r = applyConfig(file, meter,
                                      {.only = only, .note = {}, .system = site.system,
                                       .stopRequested = [] { return StopSignals::received() != 0; }});
    const char *const afterwards = r.restored ? "; the meter reads as before" : "; the meter could not be put back as it was";
    if (r.stopped) {
        item["result"] = "stopped";
        item["restored"] = r.restored;
        line = name + ": stopped by " + signalName(StopSignals::received()) + afterwards;
    } else if (r.applied) {
        item["result"] = "applied";
        item["written"] = r.written;
        line = name + ": applied, " + std::to_string(r.written) + " entries written";
    } else {
        const bool skipped = r.failedEntry.empty() && r.reason.starts_with("The file is for family");
        item["result"] = skipped ? "skipped" : "failed";
        item["entry"] = r.failedEntry;
        item["reason"] = r.reason;
        item["restored"] = r.restored;
        line = name + (skipped ? ": skipped: " + r.reason : ": failed at " + r.failedEntry + ": " + r.reason + afterwards);
    }
    return r.applied;
}

int apply(const std::vector<std::string> &args, lns::ObjectServer &server, const ServerFactory &openServer, std::ostream &out, std::ostream &err,
          bool json, bool terminal)
{
    const ApplyArgs a = parseApply(args);
    // Caught from here on: a stop ends the apply between device calls, with the meter being
    // written put back (a dry run writes nothing and ends at once).
    std::optional<StopSignals> stopSignals;
    if (!a.dryRun)
        stopSignals.emplace();
    const MeterConfig file = loadConfig(a.file);
    std::unique_ptr<FileLock> lock;
    if (!a.dryRun) {
        std::filesystem::create_directories(programFolder());
        lock = FileLock::tryAcquire(applyLockPath(a.network));
        if (!lock) {
            const std::string holder = FileLock::holderNote(applyLockPath(a.network));
            err << "tellumic-config: an apply on network " << a.network << " is already running"
                << (holder.empty() ? "" : " (" + holder + ")") << "\n";
            return kExitError;
        }
    }
    const Site site = openSite(server, a.network);
    const auto meters = chosenMeters(site, a);
    if (meters.empty())
        throw UsageError{"no meter of network " + a.network + " is chosen"};
    int status = kExitDone;
    Json results = Json::array();
    if (a.dryRun) {
        std::vector<std::string> names;
        for (const auto &m : meters)
            names.push_back(m->Name());
        for (auto &r : dryRunMeters(file, a.network, names, openServer, kDryRunWorkers)) {
            status = r.partly ? kExitPartly : status;
            results.push_back(std::move(r.item));
            if (!json)
                out << r.text;
        }
        if (json)
            out << results.dump(2) << "\n";
        return status;
    }
    std::size_t i = 0;
    for (; i < meters.size() && StopSignals::received() == 0; ++i) {
        auto &meter = *meters[i];
        const std::string name = meter.Name();
        if (terminal && !json)
            out << "\r[" << (i + 1) << "/" << meters.size() << "] " << name << " ..." << std::flush;
        Json item{{"meter", name}};
        std::string line;
        const bool done = applyOne(file, site, meter, a.only, item, line);
        status = done ? status : kExitPartly;
        results.push_back(item);
        if (!json)
            out << (terminal ? "\r\33[K" : "") << line << "\n" << std::flush;
    }
    if (json)
        out << results.dump(2) << "\n";
    if (const int signal = StopSignals::received()) {
        out.flush();
        err << "tellumic-config: stopped by " << signalName(signal) << "; " << (meters.size() - i)
            << " meter(s) not written\n";
        return kExitSignalBase + signal;
    }
    return status;
}

}  // namespace

bool asksForHelp(const std::vector<std::string> &args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string &a) { return a == "--help" || a == "-h"; });
}

int runConfigTool(const std::vector<std::string> &args, lns::ObjectServer &server, const ServerFactory &openServer,
                  std::ostream &out, std::ostream &err, bool terminal)
{
    DebugLog("tellumic-config");
    std::vector<std::string> a;
    bool json = false;
    for (const auto &arg : args)
        (arg == "--json" ? json = true : (a.push_back(arg), false));
    try {
        if (a.empty() || asksForHelp(a)) {
            (a.empty() ? err : out) << kConfigUsage;
            return a.empty() ? kExitError : kExitDone;
        }
        if (a[0] == "save")
            return save(a, server, out);
        if (a[0] == "diff")
            return diff(a, server, out, json);
        if (a[0] == "apply")
            return apply(a, server, openServer, out, err, json, terminal);
        throw UsageError{"unknown command '" + a[0] + "'"};
    } catch (const UsageError &e) {
        err << "tellumic-config: " << e.text << "; see 'tellumic-config --help'.\n";
    } catch (const RuntimeError &e) {
        err << "tellumic-config: " << e.description() << "\n";
    } catch (const std::exception &e) {
        err << "tellumic-config: " << e.what() << "\n";
    }
    return kExitError;
}

}  // namespace tellumic::config
