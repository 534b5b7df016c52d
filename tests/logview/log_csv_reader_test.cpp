// Reading CSV log files: the two formats, every kind of odd line, files that arrive in
// pieces, are cut off, or are not logs at all.

#include <gtest/gtest.h>

#include <cmath>

#include "logview/log_csv_reader.h"
#include "logview/log_rows.h"
#include "logview/log_summary.h"
#include "tests/logview/log_lines.h"
#include "tests/support/case_name.h"

namespace tellumic::logview {
namespace {

using test::civil;

constexpr CivilSeconds kStart = test::civil(2026, 3, 5, 10, 0);

std::string header(bool isShort)
{
    return std::string(logCsvHeader(isShort)) + "\r\n";
}

// A good line of each format, without its line end.
std::string goodLine(bool isShort, std::int32_t number = 7, CivilSeconds at = kStart)
{
    auto r = test::loadRecords(1, number, at);
    std::string text = test::logText(r, isShort, false);
    return text.substr(0, text.size() - 2);
}

std::string withField(std::string line, bool isShort, std::size_t field, std::string_view value)
{
    const auto fields = splitFields(line, isShort ? LogFormat::Short : LogFormat::Long);
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += (i ? "," : "") + std::string(i == field ? value : fields[i]);
    return out;
}

std::string noValues(bool isShort, std::string_view note)
{
    return std::string(isShort ? 12 : 35, ',') + std::string(note);
}

LogCsvReader readAll(std::string_view text, std::size_t maxRecords = kMaxRecordsHeld)
{
    LogCsvReader reader(maxRecords);
    reader.feed(text);
    return reader;
}

enum class Outcome { Record, NoValues, Skipped };

struct OddLine
{
    const char *what;
    std::string (*line)(bool isShort);
    Outcome outcome;
    SkipReason reason = SkipReason::Empty;
};

class OddLines : public ::testing::TestWithParam<std::tuple<OddLine, bool>>
{
};

// Each line is read or left out as it should be, and the good line after it is read.
TEST_P(OddLines, AreReadOrSkipped)
{
    const auto &[c, isShort] = GetParam();
    const std::string text = header(isShort) + c.line(isShort) + "\r\n" + goodLine(isShort, 8) + "\r\n";
    const LogCsvReader reader = readAll(text);
    ASSERT_FALSE(reader.failed()) << reader.error();
    const RawLog &raw = reader.raw();
    const ReadReport report = reader.report();
    EXPECT_EQ(raw.format, isShort ? LogFormat::Short : LogFormat::Long);
    EXPECT_EQ(raw.size(), c.outcome == Outcome::Record ? 2u : 1u);
    EXPECT_EQ(raw.noValueLines.size(), c.outcome == Outcome::NoValues ? 1u : 0u);
    EXPECT_EQ(report.skippedTotal(), c.outcome == Outcome::Skipped ? 1u : 0u) << skippedLinesText(report);
    if (c.outcome == Outcome::Skipped) {
        EXPECT_EQ(report.skipped[static_cast<std::size_t>(c.reason)], 1u) << skippedLinesText(report);
        ASSERT_EQ(report.examples.size(), 1u);
        EXPECT_EQ(report.examples[0].line, 3u);
    }
    EXPECT_EQ(raw.recordNumber.back(), 8);
    EXPECT_EQ(raw.offset.back(), text.size() - goodLine(isShort, 8).size() - 2);
}

const OddLine kOddLines[] = {
    {"a good record", [](bool s) { return goodLine(s); }, Outcome::Record},
    {"a record that failed its check", [](bool s) { return noValues(s, "CRC mismatch. "); }, Outcome::NoValues},
    {"an unrecognised record", [](bool s) { return noValues(s, "Unrecognized log record type: 0"); }, Outcome::NoValues},
    {"a formatting error, with a comma in its note",
     [](bool s) { return noValues(s, "Error parsing log record: 6,Overflow"); }, Outcome::NoValues},
    {"a value written as NaN", [](bool s) { return withField(goodLine(s), s, 3, "NaN"); }, Outcome::Record},
    {"a bad record kept with its note", [](bool s) { return goodLine(s) + "CRC mismatch. "; }, Outcome::Record},
    {"a line cut short", [](bool s) { return goodLine(s).substr(0, 30); }, Outcome::Skipped, SkipReason::FieldCount},
    {"a line of the other format", [](bool s) { return goodLine(!s); }, Outcome::Skipped, SkipReason::FieldCount},
    {"a date that does not exist", [](bool s) { return withField(goodLine(s), s, 1, "2011-02-30 10:00:00"); },
     Outcome::Skipped, SkipReason::BadValue},
    {"a date in another layout", [](bool s) { return withField(goodLine(s), s, 1, "2011/3/5 10:00"); },
     Outcome::Skipped, SkipReason::BadValue},
    {"a record number that is no number", [](bool s) { return withField(goodLine(s), s, 0, "12x"); },
     Outcome::Skipped, SkipReason::BadValue},
    {"a value that is no number", [](bool s) { return withField(goodLine(s), s, 2, "1.2.3"); }, Outcome::Skipped,
     SkipReason::BadValue},
    {"a flag other than 1", [](bool s) { return withField(goodLine(s), s, s ? 5 : 28, "x"); }, Outcome::Skipped,
     SkipReason::BadValue},
    {"an empty line", [](bool) { return std::string(); }, Outcome::Skipped, SkipReason::Empty},
    {"the header again", [](bool s) { return std::string(logCsvHeader(s)).substr(0, 40); }, Outcome::Skipped,
     SkipReason::Header},
    {"binary bytes", [](bool) { return std::string("\x01\xff\x00\x7f,,\x80", 7); }, Outcome::Skipped,
     SkipReason::FieldCount},
};

INSTANTIATE_TEST_SUITE_P(BothFormats, OddLines, ::testing::Combine(::testing::ValuesIn(kOddLines), ::testing::Bool()),
                         [](const auto &info) {
                             return test::caseName(std::get<0>(info.param).what) + (std::get<1>(info.param) ? "_short" : "_long");
                         });

TEST(LogCsvReader, KeepsWhatTheLineCarries)
{
    const std::string kept = withField(goodLine(false), false, 3, "NaN") + "Power failed. CRC mismatch. ";
    const std::string text = header(false) + withField(kept, false, 28, "1") + "\r\n";
    const LogCsvReader reader = readAll(text);
    const RawLog &raw = reader.raw();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_TRUE(std::isnan(raw.values[kDemand]));
    EXPECT_FLOAT_EQ(raw.values[1], std::stof(std::string(splitFields(kept, LogFormat::Long)[9])));  // PowerSum
    EXPECT_EQ(raw.flags[0], RecordFlag::kPowerFail | RecordFlag::kCrcMismatch);
    EXPECT_EQ(raw.notes.at(0), "Power failed. CRC mismatch. ");
    EXPECT_EQ(raw.time[0], kStart);
    EXPECT_EQ(raw.energyTenths[0], std::llround(std::stod(std::string(splitFields(kept, LogFormat::Long)[2])) * 10));
}

struct HeaderCase
{
    const char *what;
    std::string text;
    bool accepted;
    const char *errorPart = "";
    std::vector<std::int32_t> records = {};  // the record numbers read
};

class Headers : public ::testing::TestWithParam<HeaderCase>
{
};

TEST_P(Headers, DecideTheFormatOrRejectTheFile)
{
    const HeaderCase &c = GetParam();
    LogCsvReader reader;
    reader.feed(c.text);
    EXPECT_EQ(!reader.failed(), c.accepted) << reader.error();
    EXPECT_NE(reader.error().find(c.errorPart), std::string::npos) << reader.error();
    EXPECT_EQ(reader.raw().recordNumber, c.records);
    if (c.accepted) {
        EXPECT_EQ(reader.report().skippedTotal(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Headers,
    ::testing::Values(
        HeaderCase{"short", header(true), true}, HeaderCase{"long", header(false), true},
        HeaderCase{"byte order mark", "\xEF\xBB\xBF" + header(true), true},
        HeaderCase{"short, first record", header(true) + goodLine(true, 7) + "\r\n", true, "", {7}},
        HeaderCase{"units line missing", std::string(logCsvColumnsLine(true)) + "\r\n" + goodLine(true) + "\r\n", true, "", {7}},
        HeaderCase{"long, units line missing",
                   std::string(logCsvColumnsLine(false)) + "\r\n" + goodLine(false, 9) + "\r\n" +
                       goodLine(false, 10, kStart + 900) + "\r\n",
                   true, "", {9, 10}},
        HeaderCase{"other columns", "RecordNum,DateTime,Demand\r\n", false, "3 columns"},
        HeaderCase{"not a log", "Name,Value\r\nx,1\r\n", false, "not a CSV log"},
        HeaderCase{"binary", std::string(70 * 1024, '\x03'), false, "64 KB"}),
    [](const auto &info) { return test::caseName(info.param.what); });

// A file read in pieces of any size reads as when read whole, whatever the pieces cut.
TEST(LogCsvReader, PiecesOfAnySizeReadTheSame)
{
    auto records = test::loadRecords(40, 100, kStart);
    std::string text = test::logText(records, false);
    text.insert(text.find("\r\n", 3000) + 2, noValues(false, "CRC mismatch. ") + "\r\n\r\n");
    const LogCsvReader whole = readAll(text);
    for (const std::size_t piece : {1u, 7u, 333u, 4096u}) {
        LogCsvReader reader;
        for (std::size_t at = 0; at < text.size(); at += piece)
            reader.feed(std::string_view(text).substr(at, piece));
        EXPECT_EQ(reader.raw().time, whole.raw().time) << piece;
        EXPECT_EQ(reader.raw().offset, whole.raw().offset) << piece;
        EXPECT_EQ(reader.raw().values, whole.raw().values) << piece;
        EXPECT_EQ(reader.raw().noValueLines.size(), 1u);
        EXPECT_EQ(reader.report().skippedTotal(), 1u);
        EXPECT_EQ(reader.bytesFed(), text.size());
    }
}

// A torn last line is noted, not read; when a download completes it, it is read.
TEST(LogCsvReader, AnUnterminatedLastLineWaitsForItsEnd)
{
    const std::string text = header(true) + goodLine(true, 1) + "\r\n" + goodLine(true, 2, kStart + 900) + "\r\n";
    LogCsvReader reader;
    reader.feed(std::string_view(text).substr(0, text.size() - 20));
    EXPECT_EQ(reader.raw().size(), 1u);
    EXPECT_EQ(reader.report().skipped[static_cast<std::size_t>(SkipReason::Incomplete)], 1u);
    EXPECT_EQ(reader.report().examples.back().line, 4u);
    reader.feed(std::string_view(text).substr(text.size() - 20));
    EXPECT_EQ(reader.raw().size(), 2u);
    EXPECT_EQ(reader.report().skippedTotal(), 0u);
    EXPECT_EQ(reader.pendingBytes(), 0u);
}

TEST(LogCsvReader, AnOverlongLineIsPassedOverWithoutHoldingIt)
{
    LogCsvReader reader;
    reader.feed(header(true));
    const std::string junk(1024 * 1024, 'x');
    for (int i = 0; i < 4; ++i)
        reader.feed(junk);
    reader.feed("\r\n" + goodLine(true) + "\r\n");
    EXPECT_EQ(reader.raw().size(), 1u);
    EXPECT_EQ(reader.report().skipped[static_cast<std::size_t>(SkipReason::TooLong)], 1u);
    EXPECT_EQ(reader.raw().offset[0], header(true).size() + 4 * junk.size() + 2);
}

// Downloads that overlap write some records twice; each is kept once, and a copy that
// passed its check replaces one kept although it failed.
TEST(LogCsvReader, ARecordReadAgainIsKeptOnce)
{
    const std::string first = goodLine(true, 5), again = goodLine(true, 5);
    const std::string text = header(true) + first + "CRC mismatch. \r\n" + goodLine(true, 6, kStart + 900) + "\r\n" +
                             again + "\r\n" + goodLine(true, 5, kStart + 86400) + "\r\n";
    const LogCsvReader reader = readAll(text);
    const RawLog &raw = reader.raw();
    ASSERT_EQ(raw.size(), 3u) << "the same number at another time is another record";
    EXPECT_EQ(raw.flags[0], 0) << "the good copy replaced the bad one";
    EXPECT_EQ(raw.notes.count(0), 0u);
    EXPECT_EQ(raw.offset[0], text.find(again + "\r\n" + goodLine(true, 5, kStart + 86400)));
    EXPECT_EQ(reader.report().duplicates, 1u);
}

TEST(LogCsvReader, StopsAtTheRecordLimitAndSaysWhere)
{
    const auto records = test::loadRecords(5, 1, kStart);
    const LogCsvReader reader = readAll(test::logText(records, true), 3);
    EXPECT_TRUE(reader.full());
    EXPECT_EQ(reader.raw().size(), 3u);
    const ReadReport report = reader.report();
    EXPECT_EQ(report.stoppedAtLine, 6u);
    EXPECT_EQ(report.skippedTotal(), 0u);
    EXPECT_NE(skippedLinesText(report).find("Reading stopped before line 6: the viewer holds at most 3 records"),
              std::string::npos);
}

}  // namespace
}  // namespace tellumic::logview
