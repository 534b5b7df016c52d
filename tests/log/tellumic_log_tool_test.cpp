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

Bytes received(std::int32_t newest, std::int32_t count, bool isShort)
{
    Bytes b;
    for (std::int32_t n = newest; n > newest - count; --n)
        test::appendRecordBytes(b, test::sampleRecord(n, isShort), isShort);
    return b;
}

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
            Bytes raw = received(500, 40, isShort);
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
    downloaded(csv, received(1201, 30, true), true, false);
    const ToolRun r = run("last m.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Last Record#: 1201\nLast Date/Time: " + FormatDateTime(test::sampleRecord(1201, true).dateTime) +
                         "\n");
    test::writeFile(file("empty.csv"), "");
    EXPECT_EQ(run("last empty.csv").out, "Last Record#: none\nLast Date/Time: none\n");
}

struct BadInputCase
{
    const char *name;
    std::size_t rawBytes;  // bytes of short records written to raw.bin
    const char *args;
    int status;
    const char *errorContains;
    bool printsLines;
};

class TellumicLogBadInputTest : public TellumicLogToolTest, public ::testing::WithParamInterface<BadInputCase>
{
};

TEST_P(TellumicLogBadInputTest, ClearMessageAndExitStatus)
{
    const BadInputCase &c = GetParam();
    Bytes raw = received(100, 3, true);
    raw.resize(c.rawBytes);
    writeBytes("raw.bin", raw);
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.errorContains), std::string::npos) << r.err;
    EXPECT_EQ(!r.out.empty(), c.printsLines) << r.out;
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
        BadInputCase{"NoWholeRecord", 12, "decode --short raw.bin", 1, "holds no whole record (12 bytes", false},
        BadInputCase{"EndsInsideARecord", 62, "decode --short raw.bin", 1, "LogLoadData() - 9,Subscript out of range",
                     true},
        BadInputCase{"TrailingBytes", 30, "decode --short raw.bin", 1, "not a whole number of 24-byte records", true},
        BadInputCase{"LastMissingFile", 72, "last nothing.csv", 1, "nothing.csv is not a file", false},
        BadInputCase{"LastTwoFiles", 72, "last a.csv b.csv", 2, "give one CSV file", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(TellumicLogToolTest, HelpDescribesBothCommands)
{
    const ToolRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("tellumic-log decode --short|--long [--keep-bad] [--header] FILE"), std::string::npos);
    EXPECT_NE(r.out.find("tellumic-log last FILE.csv"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(programFolder() / "TmPlugin.log")) << "the tool must not trace";
}

}  // namespace
}  // namespace tellumic
