// tellumic-log store and export: CSV logs into the record store, and a meter's records back
// out as a CSV log.

#include "tools/store/store_main.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "store/csv_loader.h"
#include "store/csv_records.h"
#include "store/record_columns.h"

namespace tellumic::storecli {

namespace {

constexpr const char *kStoreUsage =
    "Usage:\n"
    "  tellumic-log store FILE.csv... --store URL [--network NAME]\n"
    "\n"
    "Loads CSV log files into the record store URL (sqlite:PATH, sqlite: for the default\n"
    "file in the program folder, or postgresql://...). The meter is the device the file is\n"
    "named after, in the network NAME; without --network, the meter of that name the store\n"
    "holds already (from a harvest), and the file is refused when the store has none or\n"
    "several. Records already stored are not added again.\n"
    "A file loaded before is read on from where that load stopped (whole when it no longer\n"
    "begins with what was loaded), so loading it again costs next to nothing.\n"
    "Exit status: 0 every file was stored; 1 the store failed, or a file could not be read, had\n"
    "no line of a CSV log or no meter to go to (the other files were stored); 2 bad command line.\n";

constexpr const char *kExportUsage =
    "Usage:\n"
    "  tellumic-log export --store URL --meter NAME [--network NAME] [--short|--long]\n"
    "                      [--from TIME] [--to TIME]\n"
    "\n"
    "Writes the meter's stored records to standard output as a CSV log in its format, header\n"
    "first, oldest record first, lines as the meter's CSV file has them. TIME is\n"
    "\"YYYY-MM-DD hh:mm:ss\" (or YYYY-MM-DD): records from --from on, before --to.\n"
    "Exit status: 0 written; 1 the store failed or has no such meter; 2 bad command line.\n";

struct Args
{
    std::vector<std::string> files;
    std::string url, network, meter, from, to;
    bool networkGiven = false;
    int format = -1;  // -1 any, 1 short, 0 long
    bool help = false;
    std::string error;
};

Args parse(const std::vector<std::string> &args)
{
    Args a;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const auto value = [&](std::string &into) {
            if (i + 1 == args.size() || args[i + 1].empty())
                a.error = arg + " needs a value";
            else
                into = args[++i];
        };
        if (arg == "--help" || arg == "-h")
            a.help = true;
        else if (arg == "--store")
            value(a.url);
        else if (arg == "--network") {
            value(a.network);
            a.networkGiven = true;
        } else if (arg == "--meter")
            value(a.meter);
        else if (arg == "--from")
            value(a.from);
        else if (arg == "--to")
            value(a.to);
        else if (arg == "--short")
            a.format = 1;
        else if (arg == "--long")
            a.format = 0;
        else if (arg.starts_with("-"))
            a.error = "unknown option \"" + arg + "\"";
        else
            a.files.push_back(arg);
        if (!a.error.empty())
            break;
    }
    if (a.error.empty() && !a.help && a.url.empty())
        a.error = "--store URL is required";
    return a;
}

int usage(const char *command, const std::string &error, const char *text)
{
    std::fprintf(stderr, "tellumic-log %s: %s\n\n%s", command, error.c_str(), text);
    return 2;
}

// "YYYY-MM-DD" or "YYYY-MM-DD hh:mm:ss" as a record time text; false when neither.
bool timeBound(std::string &text)
{
    if (text.empty())
        return true;
    if (text.size() == 10)
        text += " 00:00:00";
    LogDateTime dt;
    return store::readRecordTime(text, dt);
}

// A file tells its device name only: without --network its meter is the one the store has
// under that name (a harvest stored it with its network and Neuron ID). Another meter is not
// made up with an empty network, which would hold every record a second time; when the store
// cannot tell which meter it is, the file is refused.
void identifyMeter(store::RecordStore &s, store::MeterInfo &meter)
{
    std::vector<store::MeterInfo> known = s.meters(meter.key.name);
    std::vector<std::string> networks;
    const store::MeterInfo *same = nullptr;
    for (const auto &m : known) {
        if (std::find(networks.begin(), networks.end(), m.key.network) == networks.end())
            networks.push_back(m.key.network);
        if (m.key.isShort == meter.key.isShort)
            same = &m;
    }
    if (networks.empty())
        throw store::StoreError("the record store has no meter \"" + meter.key.name +
                                "\" yet, so it cannot tell its network: give it with --network NAME");
    if (networks.size() > 1) {
        std::string list;
        for (const auto &n : networks)
            list += (list.empty() ? "\"" : ", \"") + n + "\"";
        throw store::StoreError("the record store has a meter \"" + meter.key.name + "\" in several networks (" +
                                list + "): choose one with --network NAME");
    }
    meter.key.network = networks.front();
    if (same) {
        meter.neuronId = same->neuronId;
        meter.programId = same->programId;
        meter.model = same->model;
    }
}

}  // namespace

int storeMain(const std::vector<std::string> &args)
{
    Args a = parse(args);
    if (a.help) {
        std::fputs(kStoreUsage, stdout);
        return 0;
    }
    if (a.error.empty() && a.files.empty())
        a.error = "no FILE.csv given";
    if (!a.error.empty() || !a.meter.empty() || a.format >= 0)
        return usage("store", a.error.empty() ? "--meter, --short and --long belong to export" : a.error,
                     kStoreUsage);
    try {
        const auto store = store::openRecordStore(a.url);
        int status = 0;
        std::vector<store::MeterFile> files;
        std::vector<std::string> names;  // as given
        for (const auto &file : a.files) {
            try {
                store::MeterInfo meter = store::meterOfLogFile(file, a.network);
                if (!a.networkGiven)
                    identifyMeter(*store, meter);
                files.push_back({std::move(meter), file});
                names.push_back(file);
            } catch (const store::StoreError &e) {
                std::fprintf(stderr, "tellumic-log store: %s: %s\n", file.c_str(), e.what());
                status = 1;
            }
        }
        store::loadLogFiles(*store, files, false,
                            [&](std::size_t i, const store::LoadResult &r, const std::string &error) {
            const char *file = names[i].c_str();
            if (!error.empty()) {
                std::fprintf(stderr, "tellumic-log store: %s: %s\n", file, error.c_str());
                status = 1;
            } else if (r.upToDate) {
                std::printf("%s: nothing new since the last load\n", file);
            } else {
                std::printf("%s: %lld records, %lld added, %lld failed their check, %lld unrecognised, %lld "
                            "unreadable\n",
                            file, static_cast<long long>(r.records), static_cast<long long>(r.added),
                            static_cast<long long>(r.failed), static_cast<long long>(r.unrecognised),
                            static_cast<long long>(r.unreadable));
            }
        });
        return status;
    } catch (const store::StoreError &e) {
        std::fprintf(stderr, "tellumic-log store: %s\n", e.what());
        return 1;
    }
}

int exportMain(const std::vector<std::string> &args)
{
    Args a = parse(args);
    if (a.help) {
        std::fputs(kExportUsage, stdout);
        return 0;
    }
    if (a.error.empty() && a.meter.empty())
        a.error = "--meter NAME is required";
    if (a.error.empty() && !a.files.empty())
        a.error = "unexpected argument \"" + a.files.front() + "\"";
    if (a.error.empty() && (!timeBound(a.from) || !timeBound(a.to)))
        a.error = "a TIME must be YYYY-MM-DD or \"YYYY-MM-DD hh:mm:ss\"";
    if (!a.error.empty())
        return usage("export", a.error, kExportUsage);
    try {
        const auto store = store::openRecordStore(a.url);
        std::vector<store::MeterInfo> found;
        for (auto &m : store->meters(a.meter))
            if ((!a.networkGiven || m.key.network == a.network) && (a.format < 0 || m.key.isShort == (a.format == 1)))
                found.push_back(std::move(m));
        if (found.empty()) {
            std::fprintf(stderr, "tellumic-log export: the record store has no meter \"%s\"\n", a.meter.c_str());
            return 1;
        }
        if (found.size() > 1) {
            std::fprintf(stderr, "tellumic-log export: \"%s\" names several meters; choose one with --network "
                                 "and --short or --long:\n", a.meter.c_str());
            for (const auto &m : found)
                std::fprintf(stderr, "  network \"%s\", %s records\n", m.key.network.c_str(),
                             m.key.isShort ? "short" : "long");
            return 1;
        }
        const bool isShort = found[0].key.isShort;
        std::string out(logCsvHeader(isShort));
        out += "\r\n";
        for (const auto &r : store->records({found[0].key, a.from, a.to})) {
            appendLogCsvValues(out, r, isShort);
            out += "\r\n";
        }
        if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "tellumic-log export: cannot write the output: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    } catch (const store::StoreError &e) {
        std::fprintf(stderr, "tellumic-log export: %s\n", e.what());
        return 1;
    }
}

}  // namespace tellumic::storecli
