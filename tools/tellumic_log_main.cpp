// tellumic-log: the log download's decoding and CSV writing, for support engineers who hold
// raw downloads (the bytes of file 5) or CSV logs.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "tools/tellumic_log_view.h"
#include "tools/harvest_command.h"
#include "tools/audit_command.h"
#include "harvest/log_gaps_main.h"
#include "tools/standard_output.h"
#include "tools/store/store_main.h"

namespace tellumic {
namespace {

constexpr const char *kUsage =
    "Usage:\n"
    "  tellumic-log decode --short|--long [--keep-bad] [--header] FILE\n"
    "  tellumic-log last FILE.csv\n"
    "  tellumic-log view FILE.csv\n"
    "  tellumic-log harvest NETWORK... [--meter NAME]... [--short] [--keep-bad] [--dry-run] [--json]\n"
    "  tellumic-log harvest NETWORK... --fill-gaps [--meter NAME]... [--short] [--json]\n"
    "  tellumic-log audit FILE.csv... | --network NETWORK [--json]\n"
    "  tellumic-log store FILE.csv... --store URL [--network NAME]\n"
    "  tellumic-log export --store URL --meter NAME [--from TIME] [--to TIME]\n"
    "  tellumic-log --help\n"
    "\n"
    "decode  Reads FILE, the raw bytes of a meter log download (short records are 24 bytes,\n"
    "        long records 86), and prints the CSV lines a download of those bytes appends to\n"
    "        the device's log file, in the same order (the last record of FILE first; the\n"
    "        meter sends its newest first) and with lines ending in CR LF.\n"
    "          --short / --long  the record format of the download (one is required)\n"
    "          --keep-bad        keep the values of records that fail their CRC\n"
    "          --header          print the two header lines first, as for a new file\n"
    "        Records that cannot be decoded, fail their CRC or have an unknown type are\n"
    "        written as a download writes them; standard error then gets one line per kind\n"
    "        of fault with the number of records it hit. FILE must be a regular file, a\n"
    "        pipe or a character device, and hold at most a whole log (24392 records).\n"
    "last    Prints the last record number and date/time stored in a CSV log file, as the\n"
    "        Logging tab finds them, or \"none\". Lines no download wrote whole (no line end,\n"
    "        a NUL, a number out of range) are passed over; a file with lines but no usable\n"
    "        record (beyond the header) exits 1.\n"
    "view    Shows a CSV log file in the log viewer window (needs a display). Exits 1 when\n"
    "        the file is not a CSV log or there is no display.\n"
    "harvest Appends the new records of every logging meter of each NETWORK to its CSV log,\n"
    "        unattended (see tellumic-log harvest --help).\n"
    "audit   Reports what CSV logs lack: missing records, lost lines, duplicates, time jumps\n"
    "        (see tellumic-log audit --help; it has exit statuses of its own).\n"
    "store   Loads CSV logs into the record store (see tellumic-log store --help).\n"
    "export  Writes a meter's stored records as a CSV log (see tellumic-log export --help).\n"
    "\n"
    "Exit status: 0 the output is complete (faults of single records or lines do not count);\n"
    "1 the input could not be used (missing, unreadable, not a file, larger than a whole\n"
    "log, no whole record) or the output could not be written; 2 bad command line.\n"
    "A harvest has exit statuses of its own (tellumic-log harvest --help).\n";

int usageError(const std::string &text)
{
    std::cerr << "tellumic-log: " << text << "\n\n" << kUsage;
    return 2;
}

// Reads a raw download of at most maxBytes. A folder or a socket is not read at all; a pipe
// or a device is read only as far as the bound, so /dev/zero ends with a message instead of
// filling the memory.
bool readDownload(const std::string &path, std::size_t maxBytes, std::vector<std::uint8_t> &bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << "tellumic-log: cannot read " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        std::cerr << "tellumic-log: cannot read " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) {
        std::cerr << "tellumic-log: " << path << " is not a regular file\n";
        return false;
    }
    const auto tooLarge = [&] {
        std::cerr << "tellumic-log: " << path << " holds more than a meter's whole log (" << kMaxDownloadRecords
                  << " records, " << maxBytes << " bytes)\n";
        return false;
    };
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        return tooLarge();
    bytes.assign(maxBytes + 1, 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::cerr << "tellumic-log: error reading " << path << ": " << std::strerror(errno) << '\n';
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes)
        return tooLarge();
    bytes.resize(got);
    return true;
}

// The faults of single records in the lines written, one count per kind: the decoding
// messages in the order they came, then records that failed their check, then records of
// a type the plug-in does not know.
void reportRecordFaults(const LostRecords &lost, const CountingDialogs &dialogs)
{
    std::vector<std::pair<std::string, std::size_t>> kinds = dialogs.texts();
    kinds.emplace_back("CRC mismatch", lost.failedCheck);
    kinds.emplace_back("Unrecognized log record type", lost.unrecognized);
    for (const auto &[kind, n] : kinds)
        if (n > 0)
            std::cerr << "tellumic-log: " << n << (n == 1 ? " record: " : " records: ") << kind << '\n';
}

int decode(const std::vector<std::string> &args, CountingDialogs &dialogs)
{
    int formats = 0;
    bool isShort = false, keepBad = false, header = false;
    std::string file;
    for (const std::string &a : args) {
        if (a == "--short" || a == "--long") {
            ++formats;
            isShort = a == "--short";
        } else if (a == "--keep-bad") {
            keepBad = true;
        } else if (a == "--header") {
            header = true;
        } else if (a.starts_with("-") || !file.empty()) {
            return usageError("decode: unexpected argument \"" + a + "\"");
        } else {
            file = a;
        }
    }
    if (formats != 1)
        return usageError("decode: give exactly one of --short and --long");
    if (file.empty())
        return usageError("decode: no FILE given");
    const std::size_t size = recordSize(isShort);
    std::vector<std::uint8_t> bytes;
    if (!readDownload(file, size * kMaxDownloadRecords, bytes))
        return 1;
    const std::size_t records = receivedRecordCount(bytes.size(), isShort);
    if (records == 0) {
        std::cerr << "tellumic-log: " << file << " holds no whole record (" << bytes.size() << " bytes; a "
                  << (isShort ? "short" : "long") << " record is " << size << " bytes)\n";
        return 1;
    }
    std::string out;
    ReceivedLogTally tally;
    appendReceivedLogCsv(out, header, bytes, records, isShort, keepBad, &tally);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::cerr << "tellumic-log: cannot write the output: " << std::strerror(errno) << '\n';
        return 1;
    }
    if (const std::size_t rest = bytes.size() % size; rest != 0) {
        std::cerr << "tellumic-log: " << file << " is " << bytes.size() << " bytes, not a whole number of " << size
                  << "-byte records; "
                  << (records * size > bytes.size() ? "its last record is cut short"
                                                    : "its last " + std::to_string(rest) + " bytes are left out")
                  << '\n';
    }
    reportRecordFaults(tally.lost, dialogs);
    return 0;
}

// An empty log, or one with only the header that a download writes first.
bool holdsNoRecordsYet(const std::string &file)
{
    try {
        const std::string text = readLogFileTail(file, 4096);
        return text.empty() || text == std::string(logCsvHeader(false)) + "\r\n" ||
               text == std::string(logCsvHeader(true)) + "\r\n";
    } catch (const RuntimeError &) {
        return false;
    }
}

int last(const std::vector<std::string> &args, CountingDialogs &dialogs)
{
    if (args.size() != 1 || args[0].starts_with("-"))
        return usageError("last: give one CSV file");
    const std::string &file = args[0];
    // The scan takes a file only as the Logging tab would: a regular file, not through a link.
    try {
        readLogFileTail(file, 0);
    } catch (const RuntimeError &e) {
        std::cerr << "tellumic-log: cannot read " << file << ": " << e.description() << '\n';
        return 1;
    }
    LogDateTime dateTime;
    const std::int32_t recnum = FindLastLogRecnum(file, dateTime);
    if (recnum == 0)
        std::cout << "Last Record#: none\nLast Date/Time: none\n";
    else
        std::cout << "Last Record#: " << recnum << "\nLast Date/Time: " << FormatDateTime(dateTime) << '\n';
    for (const auto &[text, n] : dialogs.texts())
        std::cerr << "tellumic-log: " << text << '\n';
    std::cout.flush();
    // A file with lines but no record a download could go on from is not "no records yet":
    // a New Records download would fetch the whole log again.
    if (recnum == 0 && !holdsNoRecordsYet(file)) {
        std::cerr << "tellumic-log: " << file << " holds no usable record\n";
        return 1;
    }
    return std::cout && dialogs.texts().empty() ? 0 : 1;
}

bool asksForHelp(const std::vector<std::string> &args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string &a) { return a == "--help" || a == "-h"; });
}

int run(int argc, char **argv)
{
    // The plug-in's trace belongs to the plug-in: the tool neither writes nor creates it.
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
    CountingDialogs dialogs;
    const DialogsScope boxes(dialogs);

    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage;
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const std::string &command = args[0];
    // The commands without a help of their own show the program's.
    if ((command == "decode" || command == "last" || command == "view") && asksForHelp(rest)) {
        std::cout << kUsage;
        return 0;
    }
    // Every command turns the failures it expects into its message and status; anything
    // else (memory, a file system or database answer nobody foresaw) still ends in a message
    // and the command's error status, never in an abort.
    const int errorStatus = command == "harvest" || command == "audit" ? 2 : 1;
    try {
        if (command == "decode")
            return decode(rest, dialogs);
        if (command == "last")
            return last(rest, dialogs);
        if (command == "view")
            return runLogView(rest, argc, argv);
        if (command == "harvest")
            return harvest::harvestMain(rest);
        if (command == "audit")
            return harvest::auditMain(rest);
        if (command == "store")
            return storecli::storeMain(rest);
        if (command == "export")
            return storecli::exportMain(rest);
    } catch (const std::exception &e) {
        std::cerr << "tellumic-log " << command << ": " << e.what() << '\n';
        return errorStatus;
    } catch (...) {
        std::cerr << "tellumic-log " << command << ": an unexpected error\n";
        return errorStatus;
    }
    return usageError("unknown command \"" + command + "\"");
}

}  // namespace
}  // namespace tellumic

int main(int argc, char **argv)
{
    using namespace tellumic;
    const bool harvestStatuses = argc > 1 && (std::strcmp(argv[1], "harvest") == 0 || std::strcmp(argv[1], "audit") == 0);
    return checkedExit("tellumic-log", run(argc, argv), harvestStatuses ? 2 : 1);
}
