// tellumic-log: the log download's decoding and CSV writing, for support engineers who hold
// raw downloads (the bytes of file 5) or CSV logs.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "tools/tellumic_log_view.h"

namespace tellumic {
namespace {

constexpr const char *kUsage =
    "Usage:\n"
    "  tellumic-log decode --short|--long [--keep-bad] [--header] FILE\n"
    "  tellumic-log last FILE.csv\n"
    "  tellumic-log view FILE.csv\n"
    "  tellumic-log --help\n"
    "\n"
    "decode  Reads FILE, the raw bytes of a meter log download (short records are 24 bytes,\n"
    "        long records 86), and prints the CSV lines a download of those bytes appends to\n"
    "        the device's log file, in the same order (the last record of FILE first; the\n"
    "        meter sends its newest first) and with lines ending in CR LF.\n"
    "          --short / --long  the record format of the download (one is required)\n"
    "          --keep-bad        keep the values of records that fail their CRC\n"
    "          --header          print the two header lines first, as for a new file\n"
    "        Exits 1 when FILE cannot be read, holds no whole record or does not end on a\n"
    "        record boundary (the lines are printed all the same).\n"
    "last    Prints the last record number and date/time stored in a CSV log file, as the\n"
    "        Logging tab finds them, or \"none\". Exits 1 when the file cannot be read.\n"
    "view    Shows a CSV log file in the log viewer window (needs a display). Exits 1 when\n"
    "        the file is not a CSV log or there is no display.\n"
    "\n"
    "Exit status: 0 success, 1 bad input, 2 bad command line.\n";

// Message boxes of the shared code become lines on standard error.
class StderrDialogs final : public Dialogs
{
public:
    MsgResult messageBox(std::string_view text, int style, std::string_view) override
    {
        std::cerr << "tellumic-log: " << text << '\n';
        ++m_shown;
        return defaultButtonOf(style);
    }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
    int shown() const { return m_shown; }

private:
    int m_shown = 0;
};

int usageError(const std::string &text)
{
    std::cerr << "tellumic-log: " << text << "\n\n" << kUsage;
    return 2;
}

bool readBytes(const std::string &path, std::vector<std::uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "tellumic-log: cannot read " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::cerr << "tellumic-log: error reading " << path << '\n';
        return false;
    }
    return true;
}

int decode(const std::vector<std::string> &args, StderrDialogs &dialogs)
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
    std::vector<std::uint8_t> bytes;
    if (!readBytes(file, bytes))
        return 1;
    const std::size_t size = recordSize(isShort);
    const std::size_t records = receivedRecordCount(bytes.size(), isShort);
    if (records == 0) {
        std::cerr << "tellumic-log: " << file << " holds no whole record (" << bytes.size() << " bytes; a "
                  << (isShort ? "short" : "long") << " record is " << size << " bytes)\n";
        return 1;
    }
    std::string out;
    appendReceivedLogCsv(out, header, bytes, records, isShort, keepBad);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) {
        std::cerr << "tellumic-log: cannot write the output: " << std::strerror(errno) << '\n';
        return 1;
    }
    if (bytes.size() % size != 0) {
        std::cerr << "tellumic-log: " << file << " is " << bytes.size() << " bytes, not a whole number of "
                  << size << "-byte records\n";
        return 1;
    }
    return dialogs.shown() == 0 ? 0 : 1;
}

int last(const std::vector<std::string> &args, StderrDialogs &dialogs)
{
    if (args.size() != 1 || args[0].starts_with("-"))
        return usageError("last: give one CSV file");
    const std::string &file = args[0];
    if (!FileExists(file)) {
        std::cerr << "tellumic-log: " << file << " is not a file\n";
        return 1;
    }
    LogDateTime dateTime;
    const std::int32_t recnum = FindLastLogRecnum(file, dateTime);
    if (recnum == 0)
        std::cout << "Last Record#: none\nLast Date/Time: none\n";
    else
        std::cout << "Last Record#: " << recnum << "\nLast Date/Time: " << FormatDateTime(dateTime) << '\n';
    return dialogs.shown() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tellumic

int main(int argc, char **argv)
{
    using namespace tellumic;
    // The plug-in's trace belongs to the plug-in: the tool neither writes nor creates it.
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
    StderrDialogs dialogs;
    setDialogs(&dialogs);

    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage;
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "decode")
        return decode(rest, dialogs);
    if (args[0] == "last")
        return last(rest, dialogs);
    if (args[0] == "view")
        return runLogView(rest, argc, argv);
    return usageError("unknown command \"" + args[0] + "\"");
}
