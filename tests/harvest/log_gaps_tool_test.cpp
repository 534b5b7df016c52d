// tellumic-log audit and tellumic-log harvest --fill-gaps as a user runs them: the built
// tool on crafted files and on an installation made by the built lns-sim.

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include <gtest/gtest.h>

#include <ostream>

#include "foundation/paths.h"
#include "log/log_csv.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string recordLine(std::int32_t n, bool isShort)
{
    LogRecord r;
    r.recordType = 1;
    r.crcGood = true;
    r.recordNumber = n;
    r.dateTime = {2026, 4, static_cast<std::uint8_t>(1 + n / 96 % 28), static_cast<std::uint8_t>(n % 96 / 4),
                  static_cast<std::uint8_t>(n % 4 * 15), 0};
    r.energySum = 5000 + n;
    r.demand = 800;
    return FormatLogDataCsv(r, isShort, false) + "\r\n";
}

// Records 1 to 200 of a short log; skip drops some, crc writes some as failed checks.
std::string shortLog(const std::vector<std::int32_t> &skip = {}, const std::vector<std::int32_t> &crc = {})
{
    std::string text = std::string(logCsvHeader(true)) + "\r\n";
    for (std::int32_t n = 1; n <= 200; ++n) {
        if (std::find(skip.begin(), skip.end(), n) != skip.end())
            continue;
        text += std::find(crc.begin(), crc.end(), n) != crc.end() ? std::string(12, ',') + "CRC mismatch. \r\n"
                                                                   : recordLine(n, true);
    }
    return text;
}

// The text with a line put in after the count-th record line.
std::string withLine(const std::string &text, int count, const std::string &line)
{
    std::size_t at = 0;
    for (int n = 0; n < count + 2; ++n)
        at = text.find("\r\n", at) + 2;
    return text.substr(0, at) + line + text.substr(at);
}

// The text with 4096 NULs inside the values of the record line of number n.
std::string nulsIn(const std::string &text, std::int32_t n)
{
    std::string out = text;
    const std::size_t at = out.find("\r\n" + std::to_string(n) + ",") + 2;
    out.insert(out.find(",", at + std::to_string(n).size() + 1) + 2, std::string(4096, '\0'));
    return out;
}

std::string garbage(std::size_t bytes)
{
    std::string out(bytes, '\0');
    std::uint32_t x = 99;
    for (char &c : out) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return out + "\r\n";
}

std::string swapLastTwo(const std::string &text)
{
    const std::size_t last = text.rfind("\r\n", text.size() - 3) + 2;
    const std::size_t before = text.rfind("\r\n", last - 3) + 2;
    return text.substr(0, before) + text.substr(last) + text.substr(before, last - before);
}

std::string crOnly(const std::string &text)
{
    std::string out;
    for (const char c : text)
        if (c != '\n')
            out.push_back(c);
    return out;
}

class LogGapsToolTest : public test::HomeTest
{
protected:
    int shell(const std::string &cmd) const
    {
        const int raw = std::system(("cd '" + home.root().string() + "' && " + cmd).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    ToolRun run(const std::string &args) const
    {
        ToolRun r;
        r.status = shell("'" TELLUMIC_LOG_TOOL "' " + args + " >tool.out 2>tool.err");
        r.out = test::readFile(home.root() / "tool.out");
        r.err = test::readFile(home.root() / "tool.err");
        return r;
    }
    void makeSite()
    {
        ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 1 >/dev/null"), 0);
        ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    }
    // The meter's long-record log of the tool's year (the system clock's).
    std::filesystem::path csv() const
    {
        const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm local{};
        ::localtime_r(&t, &local);
        return programFolder() / ("Site-Meter-01-log-full-" + std::to_string(local.tm_year + 1900) + ".csv");
    }
};

struct AuditCase
{
    const char *name;
    std::string file;  // "" for no file at all
    const char *options;
    int status;
    std::vector<std::string> says;
};

void PrintTo(const AuditCase &c, std::ostream *os)
{
    *os << c.name;
}

class AuditTool : public LogGapsToolTest, public ::testing::WithParamInterface<AuditCase>
{
};

TEST_P(AuditTool, ReportsAndExits)
{
    const AuditCase &c = GetParam();
    const auto path = home.root() / "Meter-log-short-2026.csv";
    if (!c.file.empty())
        test::writeFile(path, c.file);
    const ToolRun r = run(std::string("audit ") + c.options + " '" + path.string() + "'");
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    for (const auto &part : c.says)
        EXPECT_NE((r.out + r.err).find(part), std::string::npos) << part << "\n" << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, AuditTool,
    ::testing::Values(
        AuditCase{"Clean", shortLog(), "", 0,
                  {"200 records, first 1 (2026-04-01 00:15:00), last 200 (2026-04-03 02:00:00)", "  complete\n"}},
        AuditCase{"Gaps", shortLog({10, 11, 12, 150}, {40, 41}), "", 1,
                  {"  missing records: 10 to 12 (3), 150\n",
                   "  failed check: line 39 (record 40), line 40 (record 41)\n",
                   "  not complete: 4 missing, 2 lost\n"}},
        AuditCase{"Json", shortLog({10, 11, 12}), "--json", 1,
                  {"\"records\":197", "\"missing\":[[10,12]]", "\"complete\":false}\n"}},
        // A record written twice loses nothing; a garbled line among whole records stands for none.
        AuditCase{"Duplicate", shortLog() + recordLine(77, true), "", 0,
                  {"  duplicates: record 77 (2 lines)\n", "  complete\n"}},
        // A damaged line is reported, and numbered where the records around leave one number
        // free; a file with one is not complete.
        AuditCase{"Garbled", withLine(shortLog(), 100, "100,2026-04-0\r\n"), "", 1,
                  {"  unreadable: line 103 (record not known)\n", "  not complete: 0 missing, 0 lost, 1 unreadable line\n"}},
        AuditCase{"GarbledInPlaceOfARecord", withLine(shortLog({100}), 99, "100,2026-04-0\r\n"), "", 1,
                  {"  unreadable: line 102 (record 100)\n", "  not complete: 0 missing, 1 lost\n"}},
        AuditCase{"NulsInARecord", nulsIn(shortLog(), 100), "", 1,
                  {"  unreadable: line 102 (record 100)\n", "  not complete: 0 missing, 1 lost\n"}},
        AuditCase{"GarbageAmongRecords", withLine(shortLog(), 100, garbage(1 << 20)), "", 1,
                  {" unreadable lines\n"}},
        AuditCase{"OutOfOrder", swapLastTwo(shortLog()), "", 1,
                  {"  out of order: line 202 (record 199)\n",
                   "  not complete: 0 missing, 0 lost, 1 line out of order\n"}},
        // Files that a harvest would not append to and a backfill would not rewrite.
        AuditCase{"GarbledLastLine", shortLog() + "200,2026-04-0\r\n", "", 2,
                  {"is not a CSV log (its last line is not a line of a log)"}},
        AuditCase{"HeaderThenGarbage", std::string(logCsvHeader(true)) + "\r\n" + garbage(10 << 20), "", 2,
                  {"is not a CSV log"}},
        AuditCase{"CrOnly", crOnly(shortLog()), "", 2, {"is not a CSV log (its lines do not end in CR LF)"}},
        AuditCase{"NotALog", "hello\r\n", "", 2, {"is not a CSV log"}},
        AuditCase{"Missing", "", "", 2, {"cannot read"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LogGapsToolTest, AuditNeedsFilesOrANetwork)
{
    EXPECT_EQ(run("audit").status, 2);
    const ToolRun both = run("audit --network Site x.csv");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("give CSV files or --network NETWORK"), std::string::npos) << both.err;
}

// Records that failed their check in a harvest and records removed from the file are fetched
// again: the file ends as a clean harvest of the meter writes it, and the audit of the
// network then finds it complete.
TEST_F(LogGapsToolTest, FillGapsEndsAsACleanDownload)
{
    makeSite();
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-01 log-bad-crc 9"), 0);
    ASSERT_EQ(run("harvest Site").status, 1);
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-01 clear"), 0);
    const std::string withCrc = test::readFile(csv());
    ASSERT_NE(withCrc.find(",CRC mismatch. \r\n"), std::string::npos);

    // Remove the 21st to 25th record lines and the 60th.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < withCrc.size();) {
        const std::size_t end = withCrc.find("\r\n", at) + 2;
        lines.push_back(withCrc.substr(at, end - at));
        at = end;
    }
    std::string planted;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!((i >= 22 && i <= 26) || i == 61))
            planted += lines[i];
    test::writeFile(csv(), planted);

    const ToolRun audit = run("audit --network Site");
    EXPECT_EQ(audit.status, 1) << audit.out << audit.err;
    EXPECT_NE(audit.out.find("  missing records: "), std::string::npos) << audit.out;

    // A transfer that fails leaves the file as it was.
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-01 log-fail-after 100"), 0);
    const ToolRun failed = run("harvest Site --fill-gaps");
    EXPECT_EQ(failed.status, 1) << failed.out << failed.err;
    EXPECT_NE(failed.out.find(": not filled: "), std::string::npos) << failed.out;
    EXPECT_EQ(test::readFile(csv()), planted);
    ASSERT_EQ(shell(LNS_SIM " fault Site-Meter-01 clear"), 0);

    const ToolRun fill = run("harvest Site --fill-gaps");
    EXPECT_EQ(fill.status, 0) << fill.out << fill.err;
    EXPECT_NE(fill.out.find("Site/Site-Meter-01: "), std::string::npos) << fill.out;
    EXPECT_NE(fill.out.find("; complete\n"), std::string::npos) << fill.out;
    const std::string filled = test::readFile(csv());
    EXPECT_EQ(run("audit --network Site").status, 0);

    // A clean harvest of the meter, now: a record may have closed since, which it has more.
    std::filesystem::rename(csv(), home.root() / "filled.csv");
    ASSERT_EQ(run("harvest Site").status, 0);
    const std::string clean = test::readFile(csv());
    if (clean.size() > filled.size())
        EXPECT_EQ(clean.substr(0, filled.size()), filled);
    else
        EXPECT_EQ(filled, clean);
}

// A file that is no CSV log is never called complete and never rewritten: the backfill
// refuses it with the reason, as the audit and the harvest do.
TEST_F(LogGapsToolTest, FillGapsLeavesAFileThatIsNoLogAsItIs)
{
    makeSite();
    ASSERT_EQ(run("harvest Site").status, 0);
    const std::string log = test::readFile(csv());
    for (const std::string &text : {crOnly(log), garbage(10 << 20), log + garbage(1 << 16)}) {
        test::writeFile(csv(), text);
        const ToolRun fill = run("harvest Site --fill-gaps");
        EXPECT_EQ(fill.status, 1) << fill.out << fill.err;
        EXPECT_NE(fill.out.find(": not filled: "), std::string::npos) << fill.out;
        EXPECT_NE(fill.out.find("is not a CSV log of this meter"), std::string::npos) << fill.out;
        EXPECT_TRUE(test::readFile(csv()) == text) << "the file was changed";
    }
}

// The backfill replaces the file at once: a write cut short (here by a file size limit) leaves
// the old file whole, and the audit still finds what it lacks.
TEST_F(LogGapsToolTest, FillGapsCutShortLeavesTheOldFile)
{
    // The second meter's log is larger than the installation's databases, which the limit
    // must leave room for.
    ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 2 >/dev/null"), 0);
    ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    ASSERT_EQ(run("harvest Site --meter Site-Meter-02").status, 0);
    const std::filesystem::path path = csv().string().replace(csv().string().find("Meter-01"), 8, "Meter-02");
    const std::string log = test::readFile(path);
    // The file without its 11th to 20th record lines.
    std::size_t from = 0;
    for (int n = 0; n < 12; ++n)
        from = log.find("\r\n", from) + 2;
    std::size_t to = from;
    for (int n = 0; n < 10; ++n)
        to = log.find("\r\n", to) + 2;
    const std::string planted = log.substr(0, from) + log.substr(to);
    test::writeFile(path, planted);

    // Blocks of 512 bytes; an ignored SIGXFSZ makes the write fail instead of the process.
    const std::string limit = std::to_string(planted.size() / 512);
    ToolRun fill;
    fill.status = shell("trap '' XFSZ; ulimit -f " + limit + " && '" TELLUMIC_LOG_TOOL
                        "' harvest Site --meter Site-Meter-02 --fill-gaps >tool.out 2>tool.err");
    fill.out = test::readFile(home.root() / "tool.out");
    EXPECT_EQ(fill.status, 1) << fill.out << test::readFile(home.root() / "tool.err");
    EXPECT_NE(fill.out.find("cannot write " + path.string() + ": File too large"), std::string::npos) << fill.out;
    EXPECT_TRUE(test::readFile(path) == planted) << "the file was changed";
    const ToolRun audit = run("audit '" + path.string() + "'");
    EXPECT_EQ(audit.status, 1) << audit.out << audit.err;
    EXPECT_NE(audit.out.find("  missing records: "), std::string::npos) << audit.out;
    // Nothing of the cut write is left beside the file.
    std::size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(programFolder()))
        files += entry.path().filename().string().starts_with(path.filename().string()) ? 1 : 0;
    EXPECT_EQ(files, 1u);
}

// Two record lines out of order: the audit says so, and the next harvest goes on after the
// highest record in the file instead of writing one again.
TEST_F(LogGapsToolTest, LinesOutOfOrderAreReportedAndNotFetchedAgain)
{
    makeSite();
    ASSERT_EQ(run("harvest Site").status, 0);
    const std::string swapped = swapLastTwo(test::readFile(csv()));
    test::writeFile(csv(), swapped);
    const ToolRun audit = run("audit --network Site");
    EXPECT_EQ(audit.status, 1) << audit.out << audit.err;
    EXPECT_NE(audit.out.find("  out of order: line "), std::string::npos) << audit.out;

    ASSERT_EQ(run("harvest Site").status, 0);
    const ToolRun again = run("audit --network Site");
    EXPECT_EQ(again.out.find("duplicates"), std::string::npos) << again.out;
    EXPECT_EQ(test::readFile(csv()).substr(0, swapped.size()), swapped);
}

// A range the meter no longer holds cannot be fetched: it is reported as lost for good and
// the file stays incomplete; what the meter holds is filled all the same.
TEST_F(LogGapsToolTest, FillGapsReportsWhatTheMeterNoLongerHolds)
{
    ASSERT_EQ(shell(LNS_SIM " init --network Site --logging-meters 2 >/dev/null"), 0);
    ASSERT_EQ(shell(LNS_SIM " latency 0 && " LNS_SIM " transfer-speed 100000"), 0);
    ASSERT_EQ(run("harvest Site --meter Site-Meter-02").status, 0);
    // The second meter's log begins at record 4100: records 4090 and 4091 in the file come
    // from before its oldest, and so do the 4092 to 4099 missing after them.
    const std::filesystem::path path = csv().string().replace(csv().string().find("Meter-01"), 8, "Meter-02");
    const std::string text = test::readFile(path);
    const std::string header = std::string(logCsvHeader(false)) + "\r\n";
    ASSERT_EQ(text.substr(header.size(), 5), "4100,");
    std::string planted = header;
    for (const std::int32_t n : {4090, 4091})
        planted += recordLine(n, false);
    for (std::size_t at = header.size(); at < text.size();) {
        const std::size_t end = text.find("\r\n", at) + 2;
        if (std::stoll(text.substr(at)) != 4110)
            planted += text.substr(at, end - at);
        at = end;
    }
    test::writeFile(path, planted);

    const ToolRun fill = run("harvest Site --meter Site-Meter-02 --fill-gaps");
    EXPECT_EQ(fill.status, 1) << fill.out << fill.err;
    EXPECT_NE(fill.out.find("1 filled, 0 lost lines replaced; lost for good (the meter no longer holds them): "
                            "records 4092 to 4099; still 8 missing, 0 lost\n"),
              std::string::npos)
        << fill.out;
    const ToolRun json = run("harvest Site --meter Site-Meter-02 --fill-gaps --json");
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.out.find("\"outcome\":\"incomplete\",\"asked\":[],"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"lost_for_good\":[[4092,4099]],\"missing\":[[4092,4099]]"), std::string::npos)
        << json.out;
    // The file is the harvest's own with the two older lines before it.
    EXPECT_EQ(test::readFile(path), header + recordLine(4090, false) + recordLine(4091, false) +
                                        text.substr(header.size()));
}

}  // namespace
}  // namespace tellumic
