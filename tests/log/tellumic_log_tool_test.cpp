#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "foundation/file_io.h"
#include "log/log_file.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "tests/log/record_bytes.h"
#include "tests/log/recording_window.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

class TellumicLogToolTest : public test::HomeTest
{
protected:
    std::filesystem::path file(const std::string &name) const { return home.root() / name; }

    void writeBytes(const std::string &name, const Bytes &bytes) const
    {
        test::writeFile(file(name), std::string(bytes.begin(), bytes.end()));
    }

    // Runs the built tool in the test's folder; file names in args are relative to it.
    ToolRun run(const std::string &args) const
    {
        const std::string cmd = "cd '" + home.root().string() + "' && '" TELLUMIC_LOG_TOOL "' " + args +
                                " >tool.out 2>tool.err";
        const int raw = std::system(cmd.c_str());
        ToolRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = test::readFile(file("tool.out"));
        r.err = test::readFile(file("tool.err"));
        return r;
    }
};

// What a download of these bytes writes into a new file, through the product's own path.
std::string downloaded(const std::filesystem::path &csv, const Bytes &bytes, bool isShort, bool keepBad)
{
    auto f = OpenLogFileForAppend(csv);
    test::RecordingLogWindow window;
    EXPECT_EQ(storeLogData(bytes, *f, isShort, keepBad, window), StoreResult::Stored);
    f->close();
    return test::readFile(csv);
}

TEST_F(TellumicLogToolTest, DecodeEqualsWhatTheDownloadWrites)
{
    for (const bool isShort : {true, false}) {
        for (const bool keepBad : {false, true}) {
            Bytes raw = test::receivedLog(500, 40, isShort);
            raw[5 * recordSize(isShort) + 10] ^= 0xFF;  // one record fails its check
            raw[7 * recordSize(isShort)] = 2;           // one has an unknown type
            writeBytes("raw.bin", raw);
            const auto csv = file(std::string("dl-") + (isShort ? "s" : "l") + (keepBad ? "k" : "") + ".csv");
            const std::string expected = downloaded(csv, raw, isShort, keepBad);
            const ToolRun r = run(std::string("decode ") + (isShort ? "--short" : "--long") +
                                  (keepBad ? " --keep-bad" : "") + " --header raw.bin");
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out, expected) << "short " << isShort << " keep " << keepBad;
        }
    }
}

TEST_F(TellumicLogToolTest, LastReadsTheEndOfACsvFile)
{
    const auto csv = file("m.csv");
    downloaded(csv, test::receivedLog(1201, 30, true), true, false);
    const ToolRun r = run("last m.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Last Record#: 1201\nLast Date/Time: " + FormatDateTime(test::sampleRecord(1201, true).dateTime) +
                         "\n");
    test::writeFile(file("empty.csv"), "");
    EXPECT_EQ(run("last empty.csv").out, "Last Record#: none\nLast Date/Time: none\n");

    // What the Logging tab finds, never a number or a date that no download writes.
    test::writeFile(file("edited.csv"), test::readFile(csv) + "-5,2026-13-45 25:61:61,1,2\r\n");
    const ToolRun edited = run("last edited.csv");
    EXPECT_EQ(edited.status, 0) << edited.err;
    EXPECT_EQ(edited.out, r.out);

    // A last line that no download wrote whole is passed over like other bad lines; a file
    // with lines but none usable fails, as a New Records download would fetch everything.
    const std::string text = test::readFile(csv);
    const std::size_t lastLine = text.rfind("\r\n", text.size() - 3) + 2;
    const std::string header = text.substr(0, text.find("\r\n1") + 2);
    const std::string record = text.substr(lastLine + 4, text.size() - lastLine - 6);  // ",date,...", no number
    const std::string none = "Last Record#: none\nLast Date/Time: none\n";
    struct Row
    {
        const char *what;
        std::string content;
        int status;
        std::string out;
    };
    const Row rows[] = {
        {"a NUL", text + "1202" + record + std::string(1, '\0') + "\r\n", 0, r.out},
        {"an overflowing number", text + "99999999999" + record + "\r\n", 0, r.out},
        {"no line end", text + "1202" + record, 0, r.out},
        {"only the header", header, 0, none},
        {"nothing usable", header + "99999999999" + record + "\r\n1202" + record + std::string(1, '\0') + "\r\n", 1, none},
    };
    for (const auto &row : rows) {
        test::writeFile(file("odd.csv"), row.content);
        const ToolRun odd = run("last odd.csv");
        EXPECT_EQ(odd.status, row.status) << row.what << ": " << odd.err;
        EXPECT_EQ(odd.out, row.out) << row.what;
        EXPECT_EQ(odd.err.empty(), row.status == 0) << row.what << ": " << odd.err;
    }
}

struct BadInputCase
{
    const char *name;
    std::size_t rawBytes;  // bytes of short records written to raw.bin
    const char *args;
    int status;
    const char *errorContains;
    bool printsLines;
    void (*prepare)(const std::filesystem::path &folder) = nullptr;
};

class TellumicLogBadInputTest : public TellumicLogToolTest, public ::testing::WithParamInterface<BadInputCase>
{
};

// Exit 0 whenever the lines printed are the whole answer; 1 only when the input could not
// be used, with a message that says why; 2 for a bad command line.
TEST_P(TellumicLogBadInputTest, ClearMessageAndExitStatus)
{
    const BadInputCase &c = GetParam();
    Bytes raw = test::receivedLog(100, 3, true);
    raw.resize(c.rawBytes);
    writeBytes("raw.bin", raw);
    if (c.prepare)
        c.prepare(home.root());
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.errorContains), std::string::npos) << r.err;
    EXPECT_EQ(!r.out.empty(), c.printsLines) << r.out;
}

void sparseFile(const std::filesystem::path &folder)
{
    test::writeFile(folder / "big.bin", "");
    std::filesystem::resize_file(folder / "big.bin", 3'000'000);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TellumicLogBadInputTest,
    ::testing::Values(
        BadInputCase{"NoCommand", 72, "", 2, "no command given", false},
        BadInputCase{"UnknownCommand", 72, "dump raw.bin", 2, "unknown command \"dump\"", false},
        BadInputCase{"NoFormat", 72, "decode raw.bin", 2, "exactly one of --short and --long", false},
        BadInputCase{"BothFormats", 72, "decode --short --long raw.bin", 2, "exactly one of", false},
        BadInputCase{"UnknownOption", 72, "decode --short --fast raw.bin", 2, "unexpected argument \"--fast\"", false},
        BadInputCase{"NoFile", 72, "decode --short", 2, "no FILE given", false},
        BadInputCase{"MissingFile", 72, "decode --short nothing.bin", 1, "cannot read nothing.bin", false},
        BadInputCase{"Folder", 72, "decode --short .", 1, ". is not a regular file", false},
        BadInputCase{"EndlessDevice", 72, "decode --long /dev/zero", 1,
                     "/dev/zero holds more than a meter's whole log (24392 records, 2097712 bytes)", false},
        BadInputCase{"LargerThanAWholeLog", 72, "decode --short big.bin", 1,
                     "big.bin holds more than a meter's whole log (24392 records, 585408 bytes)", false, sparseFile},
        BadInputCase{"NoWholeRecord", 12, "decode --short raw.bin", 1, "holds no whole record (12 bytes", false},
        BadInputCase{"EndsInsideARecord", 62, "decode --short raw.bin", 0,
                     "1 record: LogLoadData() - 9,Subscript out of range", true},
        BadInputCase{"CutRecordIsNamed", 62, "decode --short raw.bin", 0,
                     "raw.bin is 62 bytes, not a whole number of 24-byte records; its last record is cut short", true},
        BadInputCase{"TrailingBytes", 30, "decode --short raw.bin", 0,
                     "raw.bin is 30 bytes, not a whole number of 24-byte records; its last 6 bytes are left out", true},
        BadInputCase{"LastMissingFile", 72, "last nothing.csv", 1, "cannot read nothing.csv: Path not found", false},
        BadInputCase{"LastOfAFolder", 72, "last .", 1, ". is not a regular file", false},
        BadInputCase{"LastThroughALink", 72, "last link.csv", 1, "link.csv is a symbolic link", false,
                     [](const std::filesystem::path &folder) {
                         test::writeFile(folder / "m.csv", "RecordNum\r\n7,2011-03-05 12:15:00,1\r\n");
                         std::filesystem::create_symlink(folder / "m.csv", folder / "link.csv");
                     }},
        BadInputCase{"LastTwoFiles", 72, "last a.csv b.csv", 2, "give one CSV file", false}),
    [](const auto &info) { return std::string(info.param.name); });

// A damaged download gives every line and one summary line per kind of fault, not one
// message per record; the output is complete, so the status is 0.
TEST_F(TellumicLogToolTest, RecordFaultsAreSummedUpByKind)
{
    Bytes raw = test::receivedLog(1000, 300, true);
    for (std::size_t i = 0; i < 300; ++i) {
        std::uint8_t *record = raw.data() + i * 24;
        if (i < 250)
            record[6] = 0x80;  // a year that overflows
        else if (i < 255)
            record[10] ^= 0xFF;  // fails its check
        else if (i < 257)
            record[0] = 2;  // a type the plug-in does not know
    }
    writeBytes("raw.bin", raw);
    const ToolRun r = run("decode --short raw.bin");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 300);
    EXPECT_EQ(r.err, "tellumic-log: 250 records: LogLoadData() - 6,Overflow\n"
                     "tellumic-log: 255 records: CRC mismatch\n"
                     "tellumic-log: 2 records: Unrecognized log record type\n");
}

TEST_F(TellumicLogToolTest, HelpDescribesBothCommands)
{
    const ToolRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("tellumic-log decode --short|--long [--keep-bad] [--header] FILE"), std::string::npos);
    EXPECT_NE(r.out.find("tellumic-log last FILE.csv"), std::string::npos);
    EXPECT_NE(r.out.find("Exit status: 0 the output is complete"), std::string::npos);
    EXPECT_NE(r.out.find("1 the input could not be used"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(programFolder() / "TmPlugin.log")) << "the tool must not trace";
}

}  // namespace
}  // namespace tellumic
