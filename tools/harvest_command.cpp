// tellumic-log harvest's command line: its arguments, --help and the exit status of a bad
// command line; the run itself is the harvest room's.

#include "tools/harvest_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "harvest/harvest_main.h"
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
    return runHarvest({std::move(a.networks), std::move(a.options), a.json, a.events, std::move(a.storeUrl)});
}

}  // namespace tellumic::harvest
