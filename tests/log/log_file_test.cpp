#include <csignal>
#include <sys/resource.h>

#include <gtest/gtest.h>

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

std::vector<std::string> csvLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t eol; (eol = text.find("\r\n", at)) != std::string::npos; at = eol + 2)
        lines.push_back(text.substr(at, eol - at));
    if (at != text.size())
        lines.push_back("TORN:" + text.substr(at));
    return lines;
}

class LogFileTest : public test::HomeTest
{
protected:
    std::filesystem::path csv(bool isShort = true) const
    {
        return programFolder() / GetLogFilename("Meter1", isShort);
    }
    StoreResult store(const Bytes &bytes, bool isShort = true, bool keepBad = false)
    {
        auto file = OpenLogFileForAppend(csv(isShort));
        EXPECT_TRUE(file);
        const StoreResult r = storeLogData(bytes, *file, isShort, keepBad, window);
        file->close();
        return r;
    }

    test::RecordingLogWindow window;
};

TEST_F(LogFileTest, FirstDownloadWritesHeaderAndLaterOnesAppend)
{
    ASSERT_EQ(store(test::receivedLog(100, 3, true)), StoreResult::Stored);
    EXPECT_EQ(window.fileRecNum, "100");
    EXPECT_EQ(window.fileDateTime, FormatDateTime(test::sampleRecord(100, true).dateTime));
    ASSERT_EQ(window.infos.size(), 1u);
    EXPECT_EQ(window.infos[0], "Log read complete. Records = 3, Bytes = 72");
    ASSERT_EQ(store(test::receivedLog(102, 2, true)), StoreResult::Stored);

    const auto lines = csvLines(test::readFile(csv()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(lines[0].starts_with("RecordNum,"));
    EXPECT_TRUE(lines[1].starts_with(",YYYY"));
    const char *order[] = {"98,", "99,", "100,", "101,", "102,"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(lines[i + 2].starts_with(order[i])) << lines[i + 2];
    for (const auto &l : lines)
        EXPECT_EQ(std::count(l.begin(), l.end(), ','), 12) << l;
    LogDateTime last;
    EXPECT_EQ(FindLastLogRecnum(csv(), last), 102);
    EXPECT_EQ(last, test::sampleRecord(102, true).dateTime);
}

TEST_F(LogFileTest, NoWholeRecordLeavesNoFileAndALaterOneGetsItsHeader)
{
    for (std::size_t n : {0u, 12u}) {
        EXPECT_EQ(store(Bytes(n, 1)), StoreResult::NoRecords);
        ASSERT_FALSE(home.dialogs.shown().empty());
        EXPECT_EQ(home.dialogs.shown().back().text, "Zero log records downloaded!");
        EXPECT_EQ(home.dialogs.shown().back().caption, "Read Log");
        EXPECT_FALSE(std::filesystem::exists(csv()));
    }
    // A file left empty (by a program that stopped before writing) gets its header too.
    test::writeFile(csv(false), "");
    ASSERT_EQ(store(test::receivedLog(5, 1, false), false), StoreResult::Stored);
    // The long file is another file: it starts with its own header.
    ASSERT_EQ(store(test::receivedLog(5, 1, true)), StoreResult::Stored);
    const auto lines = csvLines(test::readFile(csv()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with("RecordNum,"));
    EXPECT_EQ(csvLines(test::readFile(csv(false))).size(), 3u);
}

// Records that fail their check or are of an unknown type are written as their lines say,
// and counted: in the event log, a line per cause, and in what the download reports stored.
struct LostCase
{
    const char *name;
    bool keepBad;
    std::vector<std::string> errors;
};
void PrintTo(const LostCase &c, std::ostream *os)
{
    *os << c.name;
}

class LostRecordsTest : public LogFileTest, public ::testing::WithParamInterface<LostCase>
{
};

TEST_P(LostRecordsTest, AreCountedAndTold)
{
    const LostCase &c = GetParam();
    // Records 110 down to 101 as the meter sends them; 105 fails its check, 103 and 101 are
    // of types this plug-in does not know.
    Bytes bytes;
    for (std::int32_t n = 110; n > 100; --n) {
        LogRecord r = test::sampleRecord(n, true);
        if (n == 103 || n == 101)
            r.recordType = static_cast<std::uint8_t>(n == 103 ? 2 : 7);
        test::appendRecordBytes(bytes, r, true);
        if (n == 105)
            bytes.back() ^= 0x5A;
    }
    ASSERT_EQ(store(bytes, true, c.keepBad), StoreResult::Stored);
    EXPECT_EQ(window.errors, c.errors);
    EXPECT_EQ(window.stored.lost, (LostRecords{1, 2}));
    EXPECT_EQ(window.stored.records, 10u);
    EXPECT_EQ(window.stored.first.recordNumber, 102);
    EXPECT_EQ(window.stored.last.recordNumber, 110);
    const std::string text = test::readFile(csv());
    EXPECT_NE(text.find("CRC mismatch. "), std::string::npos);
    EXPECT_NE(text.find(",Unrecognized log record type: 2\r\n"), std::string::npos);
    EXPECT_NE(text.find(",Unrecognized log record type: 7\r\n"), std::string::npos);

    // A download without such records tells of none.
    window.errors.clear();
    ASSERT_EQ(store(test::receivedLog(120, 10, true), true, c.keepBad), StoreResult::Stored);
    EXPECT_TRUE(window.errors.empty());
    EXPECT_EQ(window.stored.lost, LostRecords{});
}

INSTANTIATE_TEST_SUITE_P(
    KeepBad, LostRecordsTest,
    ::testing::Values(LostCase{"Off", false,
                               {"1 record failed its check (CRC mismatch); written without values",
                                "2 records were of an unrecognised type and written without values"}},
                      LostCase{"On", true,
                               {"1 record failed its check (CRC mismatch); kept with its values",
                                "2 records were of an unrecognised type and written without values"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LogFileTest, CutLastRecordIsWrittenAsUnrecognised)
{
    Bytes b = test::receivedLog(10, 2, true);
    b.resize(24 + 13);
    ASSERT_EQ(store(b), StoreResult::Stored);
    const auto lines = csvLines(test::readFile(csv()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], ",,,,,,,,,,,,Unrecognized log record type: 0");
    EXPECT_TRUE(lines[3].starts_with("10,"));
    EXPECT_EQ(window.infos.back(), "Log read complete. Records = 2, Bytes = 37");
    EXPECT_EQ(window.stored.lost, (LostRecords{0, 1})) << "a record cut short has no values either";
    EXPECT_EQ(window.errors, std::vector<std::string>{"1 record was of an unrecognised type and written without values"});
}

// A write that fails part-way (here the file-size limit stands in for a full disk) must
// leave the file exactly as it was: no torn line, earlier lines untouched, "Failed". A torn
// last line that the open cut off stays cut: what is taken back is this write only.
TEST_F(LogFileTest, FailedAppendTakesBackEverythingItWrote)
{
    for (const std::string torn : {"", "103,2011-0"}) {
    SCOPED_TRACE("torn last line: \"" + torn + "\"");
    std::filesystem::remove(csv());
    home.dialogs.clearShown();
    ASSERT_EQ(store(test::receivedLog(100, 3, true)), StoreResult::Stored);
    const std::string before = test::readFile(csv());
    test::writeFile(csv(), before + torn);
    const int status = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + torn.size() + 100, before.size() + torn.size() + 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            std::_Exit(10);
        auto file = OpenLogFileForAppend(csv());
        test::RecordingLogWindow w;
        const StoreResult r = storeLogData(test::receivedLog(200, 50, true), *file, true, false, w);
        if (r != StoreResult::WriteFailed)
            std::_Exit(11);
        if (w.fileRecNum != "unset")
            std::_Exit(12);
        if (home.dialogs.shown().empty() || !home.dialogs.shown().back().text.starts_with("LogDataCsv() Error: "))
            std::_Exit(13);
        std::_Exit(0);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(csv()), before);
    }
}

// The first write of a new log failing leaves no file, not even an empty one.
TEST_F(LogFileTest, FailedFirstWriteLeavesNoFile)
{
    const int status = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};  // less than the header
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            std::_Exit(10);
        auto file = OpenLogFileForAppend(csv());
        test::RecordingLogWindow w;
        if (storeLogData(test::receivedLog(200, 50, true), *file, true, false, w) != StoreResult::WriteFailed)
            std::_Exit(11);
        file->close();
        std::_Exit(0);
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(csv()));
}

struct LastCase
{
    const char *name;
    std::string content;
    std::int32_t recnum;
    const char *dateTime;
    bool message;
};

class FindLastLogRecnumTest : public LogFileTest, public ::testing::WithParamInterface<LastCase>
{
};

TEST_P(FindLastLogRecnumTest, Finds)
{
    const LastCase &c = GetParam();
    test::writeFile(csv(), c.content);
    LogDateTime dt{1, 1, 1, 1, 1, 1};
    EXPECT_EQ(FindLastLogRecnum(csv(), dt), c.recnum);
    if (c.recnum != 0) {
        EXPECT_EQ(FormatDateTime(dt), c.dateTime);
    }
    EXPECT_EQ(!home.dialogs.shown().empty(), c.message);
}

std::string header()
{
    return std::string(logCsvHeader(true)) + "\r\n";
}

std::string line(std::int32_t n)
{
    return std::to_string(n) + ",2011-03-05 12:15:00,10000.0,1000.00,900,1,,,,,,1,Reset. Power failed. \r\n";
}

std::string lines(std::int32_t first, std::int32_t count)
{
    std::string s;
    for (std::int32_t n = first; n < first + count; ++n)
        s += line(n);
    return s;
}

const std::string kNoValue = ",,,,,,,,,,,,CRC mismatch. \r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, FindLastLogRecnumTest,
    ::testing::Values(
        LastCase{"HeaderOnly", header(), 0, "", false},
        LastCase{"OneRecord", header() + line(1201), 1201, "2011-03-05 12:15:00", false},
        LastCase{"NoValueLineLast", header() + lines(1, 100) + kNoValue, 100, "2011-03-05 12:15:00", false},
        LastCase{"GoodRecordOutOfWindow", header() + line(7) + std::string(4000, 'x') + "\r\n" + kNoValue, 0, "", false},
        LastCase{"FirstLineNeverUsed", line(5), 0, "", false},
        LastCase{"TornLastLine", header() + line(41) + "42,2011-03", 41, "2011-03-05 12:15:00", false},
        LastCase{"HighestOfLinesOutOfOrder", header() + line(40) + line(42) + line(41), 42, "2011-03-05 12:15:00",
                 false},
        LastCase{"TornAfterItsDate", header() + line(41) + "42,2011-03-05 12:30:00,10000.0,10", 41,
                 "2011-03-05 12:15:00", false},
        // Lines with a number out of range or a NUL are passed over like other bad lines.
        LastCase{"RecnumTooLarge", header() + line(41) + line(41).replace(0, 2, "99999999999"), 41,
                 "2011-03-05 12:15:00", false},
        LastCase{"NulInTheLine", header() + line(41) + line(42).replace(25, 1, std::string(1, '\0')), 41,
                 "2011-03-05 12:15:00", false},
        LastCase{"NoLineEnds", "1,2,3,4", 0, "", false},
        // Lines no download writes: passed over, never shown as the last record.
        LastCase{"NegativeRecnumAndNoDate", header() + line(41) + "-5,2026-13-45 25:61:61,1,2,3\r\n", 41,
                 "2011-03-05 12:15:00", false},
        LastCase{"DayNotInTheMonth", header() + line(41) + "42,2026-02-29 10:00:00,1,2\r\n", 41,
                 "2011-03-05 12:15:00", false},
        LastCase{"HourOutOfRange", header() + line(41) + "42,2026-03-05 24:00:00,1,2\r\n", 41,
                 "2011-03-05 12:15:00", false},
        LastCase{"NoDate", header() + line(41) + "42,,1,2\r\n", 41, "2011-03-05 12:15:00", false},
        LastCase{"LeapDay", header() + line(41) + "42,2024-02-29 23:59:59,1,2\r\n", 42, "2024-02-29 23:59:59",
                 false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LogFileTest, MissingFileIsNoRecord)
{
    LogDateTime dt{2011, 1, 1, 0, 0, 0};
    EXPECT_EQ(FindLastLogRecnum(csv(), dt), 0);
    EXPECT_EQ(dt, (LogDateTime{2011, 1, 1, 0, 0, 0}));
    EXPECT_TRUE(home.dialogs.shown().empty());
}

TEST_F(LogFileTest, LogFileInfoShowsTheFileOrNone)
{
    test::writeFile(csv(false), header() + lines(300, 5));
    SetLongLogRecords("Meter1", window);
    EXPECT_EQ(window.logFilename, GetLogFilename("Meter1", false));
    EXPECT_EQ(window.toolTip, (programFolder() / GetLogFilename("Meter1", false)).string());
    EXPECT_EQ(window.fileRecNum, "304");
    EXPECT_EQ(window.fileDateTime, "2011-03-05 12:15:00");

    window.shortTicked = false;
    SetShortLogRecords("Meter1", window);
    EXPECT_EQ(window.logFilename, GetLogFilename("Meter1", false)) << "no short file: the ticked format's name";
    EXPECT_EQ(window.fileRecNum, "none");
    EXPECT_EQ(window.fileDateTime, "none");
}

}  // namespace
}  // namespace tellumic

namespace tellumic {
namespace {

// Opening a log for appending cuts off a last line without its line end, so that the next
// line starts on a line of its own; a file that was only a torn header starts afresh.
TEST(LogCsvFileTornLineTest, OpeningCutsATornLastLine)
{
    test::TempHome home;
    struct Row
    {
        const char *what;
        std::string before, after;
    };
    const std::string whole = header() + line(1);
    const Row rows[] = {
        {"empty", "", ""},
        {"whole", whole, whole},
        {"torn record", whole + "2,2011-03", whole},
        {"torn line end", whole + line(2).substr(0, line(2).size() - 1), whole},
        {"torn header", "RecordNum,Da", ""},
        {"torn after the header", header() + "1,2011-03-05 12:15:00,10", header()},
    };
    for (const auto &row : rows) {
        const auto path = home.root() / "torn.csv";
        test::writeFile(path, row.before);
        auto file = LogCsvFile::open(path, true);
        EXPECT_EQ(file->sizeAtOpen(), row.after.size()) << row.what;
        EXPECT_EQ(file->tornBytesCut(), row.before.size() - row.after.size()) << row.what;
        EXPECT_EQ(file->tornLineNote().empty(), row.before == row.after) << row.what;
        file->append({line(3)});
        file->close();
        EXPECT_EQ(test::readFile(path), row.after + line(3)) << row.what;
    }
}

// A file that is not a CSV log of the format is never cut, appended to or rewritten, by the
// Logging tab's download as by the harvest: its end is no torn line of a log, and what follows
// could not be told from it. The download is refused with the reason.
TEST_F(LogFileTest, AFileThatIsNoLogOfTheFormatIsLeftAsItIs)
{
    const std::string log = header() + lines(1, 20);
    std::string crOnly;
    for (const char c : log)
        if (c != '\n')
            crOnly.push_back(c);
    std::string binary(1 << 20, '\0');
    std::uint32_t x = 7;
    for (char &c : binary) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    std::string nuls = line(21);
    nuls.insert(nuls.find(",10000.0") + 3, std::string(4096, '\0'));
    struct Row
    {
        const char *what;
        std::string text;
        const char *why;
    };
    const Row rows[] = {
        {"lines ending in CR alone", crOnly, "its lines do not end in CR LF"},
        {"random binary data", binary, ""},
        {"a log of long records", std::string(logCsvHeader(false)) + "\r\n", "it is a log of long records"},
        {"the header and then binary data", header() + binary, ""},
        {"a torn end longer than a line", log + std::string(200'000, 'y'), "its end is not a line of a log"},
        {"a torn end with a NUL", log + std::string("21,2011\0", 8), "its end is not a line of a log"},
        {"a last line with NULs in its values", log + nuls, "its last line is not a line of a log"},
        {"a last line ending in LF alone", log + "21,x\n", "its lines do not end in CR LF"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        test::writeFile(csv(), row.text);
        try {
            LogCsvFile::open(csv(), true);
            ADD_FAILURE() << "opened";
        } catch (const RuntimeError &e) {
            EXPECT_NE(e.description().find("is not a CSV log of this meter (" + std::string(row.why)),
                      std::string::npos)
                << e.description();
        }
        home.dialogs.clearShown();
        EXPECT_FALSE(OpenLogFileForAppend(csv(), nullptr, true));
        EXPECT_EQ(home.dialogs.shown().size(), 1u);
        EXPECT_TRUE(test::readFile(csv()) == row.text) << "the file was changed";
    }
}

}  // namespace
}  // namespace tellumic
