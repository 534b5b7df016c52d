// Downloads from the simulated logging meter into the CSV file, end to end.

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "sim/models/meter_state.h"
#include "tests/log/recording_window.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic {
namespace {

class LogDownloadTest : public sim::test::SimTest
{
protected:
    std::filesystem::path csv(bool isShort = true) const
    {
        return programFolder() / GetLogFilename(meter->Name(), isShort);
    }
    void download() { download(true, LogMode::kCountOfRecords, 100, {}, 0); }
    void download(bool isShort, std::uint8_t mode, std::int32_t count, const LogDateTime &stop, std::int32_t stopRecnum)
    {
        ReadLogDataFtp(count, *system, meter, isShort, mode, stop, stopRecnum, false, window);
    }

    test::RecordingLogWindow window;
};

// Without the request the meter would send records of whatever request it held before.
TEST_F(LogDownloadTest, RequestNotWrittenReadsNothingAndFails)
{
    sim::DeviceFaults faults;
    faults.refuseWrites = true;
    setFaults(faults);
    download();
    EXPECT_EQ(window.percentComplete, "Failed");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with("SetupLogReadFtp() Error: ")) << home.dialogs.shown()[0].text;
    EXPECT_FALSE(FileExists(csv())) << "no file is created for a download that cannot start";
    EXPECT_FALSE(logFtpState().LogReading);
    EXPECT_EQ(sink.idles, 0) << "file 5 was never read";

    const std::string earlier = std::string(logCsvHeader(true)) + "\r\n1,2011-03-05 12:15:00,.0,0.00,900,,,,,,,,\r\n";
    test::writeFile(csv(), earlier);
    download();
    EXPECT_EQ(window.percentComplete, "Failed");
    EXPECT_EQ(test::readFile(csv()), earlier);
}

TEST_F(LogDownloadTest, LogInformationErrorsReachTheCaller)
{
    sim::DeviceFaults faults;
    faults.commFailAtCall = 1;
    setFaults(faults);
    try {
        ReadLogInfoFtp(*system, meter);
        FAIL() << "the read should fail";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kCommunicationFailure);
    }
    EXPECT_TRUE(home.dialogs.shown().empty());
}

// A CSV reader's view of a file: records end in CR LF, fields are split at commas outside
// double quotes, and "" inside quotes is one quote. Malformed quoting fails the test.
std::vector<std::vector<std::string>> readCsv(const std::string &text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else {
            EXPECT_TRUE(c != '"' && c != '\r' && c != '\n') << "stray character " << int(c) << " at byte " << i;
            field += c;
        }
    }
    EXPECT_FALSE(quoted) << "unterminated quote";
    EXPECT_TRUE(field.empty() && row.empty()) << "the file ends inside a line";
    return rows;
}

// The record numbers of the data lines (after the two header lines; a line without values
// has none); every line of the file has the format's field count.
std::vector<std::int32_t> recordNumbers(const std::string &text, bool isShort)
{
    const auto rows = readCsv(text);
    std::vector<std::int32_t> numbers;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].size(), isShort ? 13u : 36u) << "line " << i + 1;
        if (i >= 2 && !rows[i].empty() && !rows[i][0].empty())
            numbers.push_back(std::stoi(rows[i][0]));
    }
    return numbers;
}

std::vector<std::int32_t> range(std::int32_t first, std::int32_t last)
{
    std::vector<std::int32_t> v;
    for (auto n = first; n <= last; ++n)
        v.push_back(n);
    return v;
}

constexpr std::int32_t kWholeLog = 24392;
// The meter's clock starts at 2011-03-05 14:07:09; its records close every 15 minutes.
const LogDateTime kTwelveOClock{2011, 3, 5, 12, 0, 0};

struct DownloadCase
{
    const char *name;
    bool isShort;
    std::uint8_t mode;
    std::int32_t count;
    std::int32_t stopFromNewest;  // back-to-record: stop record = newest - this
    std::int32_t expected;        // records; 0: the whole log the meter holds
};
void PrintTo(const DownloadCase &c, std::ostream *os)
{
    *os << c.name;
}

class LogDownloadModes : public LogDownloadTest, public ::testing::WithParamInterface<DownloadCase>
{
};

// Each mode appends exactly the meter's records, oldest first, under one header; a later
// download of what came since appends after them without touching the earlier bytes.
TEST_P(LogDownloadModes, AppendsTheMetersRecordsAsCsv)
{
    const DownloadCase &c = GetParam();
    const LogInfo info = ReadLogInfoFtp(*system, meter);
    const std::int32_t newest = info.newest.recordNumber;
    const std::int32_t first = c.expected ? newest - c.expected + 1 : info.oldest.recordNumber;
    ASSERT_GT(newest, kWholeLog) << "the meter's log has wrapped";

    download(c.isShort, c.mode, c.count, kTwelveOClock, newest - c.stopFromNewest);
    EXPECT_EQ(window.percentComplete, "Done");
    EXPECT_TRUE(home.dialogs.shown().empty());
    const std::string once = test::readFile(csv(c.isShort));
    EXPECT_TRUE(once.starts_with(std::string(logCsvHeader(c.isShort)) + "\r\n"));
    EXPECT_EQ(recordNumbers(once, c.isShort), range(first, newest));
    if (c.mode == LogMode::kBackToDateTime) {
        const auto rows = readCsv(once);
        ASSERT_GT(rows.size(), 2u);
        EXPECT_EQ(rows[2][1], FormatDateTime(kTwelveOClock)) << "the first record at or after the stop";
    }
    EXPECT_EQ(window.fileRecNum, std::to_string(newest));

    home.clock.advance(std::chrono::hours(1));
    const std::int32_t newer = ReadLogInfoFtp(*system, meter).newest.recordNumber;
    ASSERT_GE(newer, newest + 4);
    download(c.isShort, LogMode::kBackToRecord, kWholeLog, {}, newest + 1);
    EXPECT_EQ(window.percentComplete, "Done");
    const std::string twice = test::readFile(csv(c.isShort));
    ASSERT_TRUE(twice.starts_with(once));
    EXPECT_EQ(recordNumbers(twice, c.isShort), range(first, newer)) << "no second header, nothing lost";
    LogDateTime last;
    EXPECT_EQ(FindLastLogRecnum(csv(c.isShort), last), newer);
}

INSTANTIATE_TEST_SUITE_P(
    Meter, LogDownloadModes,
    ::testing::Values(DownloadCase{"ShortWholeLog", true, LogMode::kFullLog, kWholeLog, 0, 0},
                      DownloadCase{"LongWholeLog", false, LogMode::kFullLog, kWholeLog, 0, 0},
                      DownloadCase{"ShortCount", true, LogMode::kCountOfRecords, 100, 0, 100},
                      DownloadCase{"LongCount", false, LogMode::kCountOfRecords, 7, 0, 7},
                      DownloadCase{"ShortBackToDateTime", true, LogMode::kBackToDateTime, kWholeLog, 0, 9},
                      DownloadCase{"LongBackToDateTime", false, LogMode::kBackToDateTime, kWholeLog, 0, 9},
                      DownloadCase{"ShortBackToRecord", true, LogMode::kBackToRecord, kWholeLog, 9, 10},
                      DownloadCase{"LongBackToRecord", false, LogMode::kBackToRecord, kWholeLog, 20, 21}),
    [](const auto &p) { return std::string(p.param.name); });

// "Cancel" clicked three times while the window takes input reaches the system once, at the
// next idle event; the download fails with the message and the file keeps its earlier lines.
TEST_F(LogDownloadTest, CancelPassesOneRequestAndKeepsTheFile)
{
    download(true, LogMode::kCountOfRecords, 30, {}, 0);
    const std::string before = test::readFile(csv(true));
    ASSERT_EQ(recordNumbers(before, true).size(), 30u);

    int clickedAt = 0, requests = 0, requestedAt = 0;
    sink.idles = 0;
    sink.onIdle = [&] {
        if (handleLogNssIdle(*system, window) == LogIdleAction::CancelRequested) {
            ++requests;
            requestedAt = sink.idles;
        }
        if (sink.idles == 10) {
            clickedAt = sink.idles;
            for (int click = 0; click < 3; ++click)
                logFtpState().LogCancel = true;
        }
    };
    download(true, LogMode::kFullLog, kWholeLog, {}, 0);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(requestedAt, clickedAt + 1);
    EXPECT_FALSE(logFtpState().LogCancel);
    EXPECT_FALSE(logFtpState().LogReading);
    EXPECT_EQ(window.percentComplete, "Failed");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with("Error retrieving log data: ")) << home.dialogs.shown()[0].text;
    EXPECT_EQ(test::readFile(csv(true)), before);
}

// A meter that stops answering part-way through its records: the download fails, the
// file keeps exactly what it held, and the next download appends as if nothing happened.
TEST_F(LogDownloadTest, TransferThatFailsPartWayLeavesTheFileAsItWas)
{
    download(true, LogMode::kCountOfRecords, 20, {}, 0);
    const std::string before = test::readFile(csv());
    ASSERT_EQ(recordNumbers(before, true).size(), 20u);
    sim::SimControl control(lonWorks);
    const auto id = control.device(meter->Name()).id;
    control.setDeviceValue(id, sim::kFaultFailAfterKey, "1000");

    sink.idles = 0;
    download(true, LogMode::kCountOfRecords, 100, {}, 0);
    EXPECT_GT(sink.idles, 10) << "the meter sent for a while before it stopped";
    EXPECT_EQ(window.percentComplete, "Failed");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Read Log");
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "Error retrieving log data: -2147220478,LCA: Communication failure (TMC-FT-Log-364 stopped answering "
              "after 1000 of 2400 bytes)");
    EXPECT_EQ(test::readFile(csv()), before);
    EXPECT_FALSE(logFtpState().LogReading);

    control.setDeviceValue(id, sim::kFaultFailAfterKey, "");
    const std::int32_t newest = ReadLogInfoFtp(*system, meter).newest.recordNumber;
    download(true, LogMode::kCountOfRecords, 100, {}, 0);
    EXPECT_EQ(window.percentComplete, "Done");
    const std::string after = test::readFile(csv());
    EXPECT_TRUE(after.starts_with(before));
    EXPECT_EQ(recordNumbers(after, true).size(), 120u);
    EXPECT_EQ(recordNumbers(after, true).back(), newest);
}

// A first download that ends without a record stored: how it ends, and the box it shows.
struct NothingStoredCase
{
    const char *name;
    std::string faultKey;  // a fault of the meter's log reads ("" none)
    std::string faultValue;
    bool cancel;  // "Cancel" is clicked during the transfer
    std::string percent;
    std::string box;  // how the box the user sees begins
};
void PrintTo(const NothingStoredCase &c, std::ostream *os)
{
    *os << c.name;
}

class FirstDownloadStoringNothing : public LogDownloadTest, public ::testing::WithParamInterface<NothingStoredCase>
{
};

// The log is created with the first lines written: a first download that stores nothing
// leaves no file (nor its lock file), and while the meter sends there is no empty file that
// the viewer would be offered. The next download writes the file with its header.
TEST_P(FirstDownloadStoringNothing, LeavesNoFileBehind)
{
    const NothingStoredCase &c = GetParam();
    sim::SimControl control(lonWorks);
    const auto id = control.device(meter->Name()).id;
    if (!c.faultKey.empty())
        control.setDeviceValue(id, c.faultKey, c.faultValue);
    int idles = 0, seenDuring = 0;
    sink.onIdle = [&] {
        ++idles;
        seenDuring += std::filesystem::exists(csv()) ? 1 : 0;
        if (c.cancel && idles == 3)
            logFtpState().LogCancel = true;
        handleLogNssIdle(*system, window);
    };
    download(true, LogMode::kCountOfRecords, 100, {}, 0);
    EXPECT_GT(idles, 0) << "the transfer ran";
    EXPECT_EQ(seenDuring, 0) << "no log exists while the meter sends";
    EXPECT_EQ(window.percentComplete, c.percent);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with(c.box)) << home.dialogs.shown()[0].text;
    EXPECT_FALSE(std::filesystem::exists(csv()));
    EXPECT_FALSE(std::filesystem::exists(logLockPath(csv())));
    EXPECT_EQ(window.fileRecNum, "unset");

    if (!c.faultKey.empty())
        control.setDeviceValue(id, c.faultKey, "");
    sink.onIdle = nullptr;
    download(true, LogMode::kCountOfRecords, 100, {}, 0);
    EXPECT_EQ(window.percentComplete, "Done");
    EXPECT_EQ(recordNumbers(test::readFile(csv()), true).size(), 100u) << "with its header";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, FirstDownloadStoringNothing,
    ::testing::Values(
        NothingStoredCase{"Cancelled", "", "", true, "Failed", "Error retrieving log data: "},
        NothingStoredCase{"MeterStopsAnswering", sim::kFaultFailAfterKey, "1000", false, "Failed",
                          "Error retrieving log data: "},
        NothingStoredCase{"NoRecordArrives", sim::kFaultShortReadKey, "2400", false, "Done",
                          "Zero log records downloaded!"}),
    [](const auto &p) { return std::string(p.param.name); });

struct VanishCase
{
    const char *name;
    void (*act)(const std::filesystem::path &csv);
    std::vector<std::int32_t> (*kept)(std::int32_t firstNew);  // records under the name before the new ones
};
void PrintTo(const VanishCase &c, std::ostream *os)
{
    *os << c.name;
}

class LogGoneDuringDownload : public LogDownloadTest, public ::testing::WithParamInterface<VanishCase>
{
};

// The log deleted, renamed or replaced while the meter sends: the download still ends with
// the records under the log's name, after a header, and says what happened.
TEST_P(LogGoneDuringDownload, RecordsAreWrittenToTheNameAfresh)
{
    const VanishCase &c = GetParam();
    download(true, LogMode::kCountOfRecords, 20, {}, 0);
    ASSERT_EQ(window.percentComplete, "Done");
    const std::string name = csv().filename().string();
    const std::string told = "Log file " + name + " was deleted or replaced during the download: the records were "
                             "written to " + name + " afresh";
    EXPECT_EQ(std::count(window.infos.begin(), window.infos.end(), told), 0);

    home.clock.advance(std::chrono::hours(2));
    const std::int32_t newest = ReadLogInfoFtp(*system, meter).newest.recordNumber;
    sink.idles = 0;
    sink.onIdle = [&] {
        if (sink.idles == 3)
            c.act(csv());
    };
    download(true, LogMode::kCountOfRecords, 30, {}, 0);
    EXPECT_EQ(window.percentComplete, "Done");
    EXPECT_TRUE(home.dialogs.shown().empty());
    const std::string now = test::readFile(csv());
    EXPECT_TRUE(now.starts_with(std::string(logCsvHeader(true)) + "\r\n"));
    std::vector<std::int32_t> expected = c.kept(newest - 29);
    for (const auto n : range(newest - 29, newest))
        expected.push_back(n);
    EXPECT_EQ(recordNumbers(now, true), expected);
    EXPECT_EQ(std::count(window.infos.begin(), window.infos.end(), told), 1);
    LogDateTime last;
    EXPECT_EQ(FindLastLogRecnum(csv(), last), newest);
}

INSTANTIATE_TEST_SUITE_P(
    Meter, LogGoneDuringDownload,
    ::testing::Values(
        VanishCase{"Deleted", [](const auto &csv) { std::filesystem::remove(csv); },
                   [](std::int32_t) { return std::vector<std::int32_t>{}; }},
        VanishCase{"RenamedAway",
                   [](const auto &csv) { std::filesystem::rename(csv, std::filesystem::path(csv) += ".old"); },
                   [](std::int32_t) { return std::vector<std::int32_t>{}; }},
        VanishCase{"ReplacedByAnotherLog",
                   [](const auto &csv) {
                       std::filesystem::remove(csv);
                       test::writeFile(csv, std::string(logCsvHeader(true)) +
                                                "\r\n1,2011-03-01 00:15:00,.0,0.00,900,,,,,,,,\r\n");
                   },
                   [](std::int32_t) { return std::vector<std::int32_t>{1}; }}),
    [](const auto &p) { return std::string(p.param.name); });

// A download under locks held for a file writes that file, also when the year in the log's
// name turns between taking the locks and opening the file.
TEST_F(LogDownloadTest, AHeldDownloadWritesTheFileItsLockGuards)
{
    home.clock.set(localTimePoint(2011, 12, 31, 23, 59, 0));
    const auto lastYears = csv();
    HeldLogDownload held = holdLogDownload(*meter, lastYears);
    home.clock.advance(std::chrono::minutes(2));
    ASSERT_NE(csv(), lastYears);
    ReadLogDataFtp(10, *system, meter, true, LogMode::kCountOfRecords, {}, 0, false, window, std::move(held));
    EXPECT_EQ(window.percentComplete, "Done");
    EXPECT_FALSE(std::filesystem::exists(csv())) << "written outside the lock";
    EXPECT_EQ(recordNumbers(test::readFile(lastYears), true).size(), 10u);
}

// Support's tool, given the raw record bytes of a download, prints exactly what it appended,
// records failing their check included (kept or left out as the download was told).
TEST_F(LogDownloadTest, ToolDecodesTheRawBytesToTheDownloadedFile)
{
    {
        sim::SimControl control(lonWorks);
        control.setDeviceValue(control.device(meter->Name()).id, sim::kFaultBadCrcKey, "7");
    }
    reopen();
    server->SetEventSink(&sink);
    for (const bool isShort : {true, false}) {
        for (const bool keepBad : {false, true}) {
            SCOPED_TRACE(std::string(isShort ? "short" : "long") + (keepBad ? ", bad records kept" : ""));
            std::filesystem::remove(csv(isShort));
            const std::int32_t stop = ReadLogInfoFtp(*system, meter).newest.recordNumber - 39;
            ReadLogDataFtp(kWholeLog, *system, meter, isShort, LogMode::kBackToRecord, {}, stop, keepBad, window);
            ASSERT_EQ(window.percentComplete, "Done");
            const std::string written = test::readFile(csv(isShort));
            EXPECT_EQ(recordNumbers(written, isShort).size(), keepBad ? 40u : 35u);
            const auto rows = readCsv(written);
            EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto &r) { return r.back() == "CRC mismatch. "; }), 5);

            ASSERT_TRUE(SetupLogReadFtp(*system, meter, isShort, LogMode::kBackToRecord, kWholeLog, {}, stop));
            auto read = system->NewFileTransfer();
            read->SetFileNumber(kLogDataFile);
            read->SetLength(static_cast<std::int32_t>(recordSize(isShort)) * kWholeLog);
            read->SetParameters(0, 0, 0);
            read->SetTargetDevice(meter);
            const auto raw = read->Read();
            ASSERT_EQ(raw.size(), 40 * recordSize(isShort));
            const auto rawFile = home.root() / "raw.bin";
            test::writeFile(rawFile, std::string(raw.begin(), raw.end()));

            const auto out = home.root() / "tool.out";
            const std::string cmd = std::string("'" TELLUMIC_LOG_TOOL "' decode ") + (isShort ? "--short" : "--long") +
                                    (keepBad ? " --keep-bad" : "") + " --header '" + rawFile.string() + "' >'" +
                                    out.string() + "'";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            EXPECT_EQ(test::readFile(out), written);
        }
    }
}

}  // namespace
}  // namespace tellumic
