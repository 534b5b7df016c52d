// tellumic-log audit's command line: its arguments, --help and the status of a bad command
// line; the audit itself is the harvest room's.

#include "tools/audit_command.h"

#include <cstdio>

#include "harvest/log_gaps_main.h"

namespace tellumic::harvest {

namespace {

constexpr const char *kAuditUsage =
    "Usage:\n"
    "  tellumic-log audit FILE... [--json]\n"
    "  tellumic-log audit --network NETWORK [--json]\n"
    "\n"
    "Reads CSV logs (no meter is asked) and reports per file: the records, the first and the\n"
    "last, the record numbers missing between them, the lines that failed their check or were\n"
    "not recognised (with the record they stand for where the records around tell it), record\n"
    "numbers written more than once, record times that go back or jump past the logging\n"
    "interval, and the records flagged \"Power failed\" or \"Date/time changed\". With --network,\n"
    "the logs of every logging meter of NETWORK in the program folder (every year, both\n"
    "formats). --json prints one object per file instead.\n"
    "\n"
    "Exit status: 0 every file is complete (records written twice lose nothing); 1 records\n"
    "are missing or their lines carry no values to trust, lines are damaged or out of record\n"
    "order;\n"
    "2 a file cannot be read or is not a CSV log, or a bad command line.\n";
constexpr int kBadCommandLine = 2;

}  // namespace

int auditMain(const std::vector<std::string> &args)
{
    bool json = false;
    std::string network;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kAuditUsage, stdout);
            return 0;
        } else if (args[i] == "--network") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                std::fprintf(stderr, "tellumic-log audit: --network needs a network name\n\n%s", kAuditUsage);
                return kBadCommandLine;
            }
            network = args[++i];
        } else if (args[i].starts_with("-")) {
            std::fprintf(stderr, "tellumic-log audit: unknown option \"%s\"\n\n%s", args[i].c_str(), kAuditUsage);
            return kBadCommandLine;
        } else {
            files.push_back(args[i]);
        }
    }
    if (network.empty() == files.empty()) {
        std::fprintf(stderr, "tellumic-log audit: give CSV files or --network NETWORK\n\n%s", kAuditUsage);
        return kBadCommandLine;
    }
    return auditLogs(network, files, json);
}

}  // namespace tellumic::harvest
