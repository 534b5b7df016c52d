// The lines behind a range: the table's rows and the export of the visible range.

#include <gtest/gtest.h>

#include "logview/log_rows.h"
#include "tests/logview/log_lines.h"
#include "tests/support/temp_home.h"

namespace tellumic::logview {
namespace {

using test::civil;

class LogRows : public test::HomeTest
{
protected:
    void SetUp() override
    {
        records = test::loadRecords(8, 1, civil(2026, 3, 5, 10));
        // Two downloads, the second first, with a lost record and a record twice.
        text = test::logText({records.begin() + 4, records.end()}, false) +
               test::logText({records.begin(), records.begin() + 2}, false, false) + std::string(35, ',') +
               "CRC mismatch. \r\n" + test::logText({records.begin() + 3, records.begin() + 5}, false, false);
        source = home.root() / "Meter-log-full-2026.csv";
        test::writeFile(source, text);
        data = test::readLogData(text);
    }

    std::string line(std::size_t record) const
    {
        return test::logText({records.begin() + static_cast<std::ptrdiff_t>(record),
                              records.begin() + static_cast<std::ptrdiff_t>(record) + 1},
                             false, false);
    }

    // Files beside target whose names begin with its own and a dot: the temporary file an
    // export writes before it takes the target's place.
    static std::vector<std::string> leftBeside(const std::filesystem::path &target)
    {
        std::vector<std::string> out;
        const std::string prefix = target.filename().string() + ".";
        for (const auto &entry : std::filesystem::directory_iterator(target.parent_path()))
            if (entry.path().filename().string().starts_with(prefix))
                out.push_back(entry.path().filename().string());
        return out;
    }

    std::vector<LogRecord> records;
    std::string text;
    std::filesystem::path source;
    LogData data;
};

// The export holds the source's header and the range's lines as the source holds them, in
// time order, each record once, with the line that lost its values in its place.
TEST_F(LogRows, ExportOfARangeIsALogOfTheSameFormat)
{
    const TimeRange range{static_cast<double>(civil(2026, 3, 5, 10, 15)), static_cast<double>(civil(2026, 3, 5, 11, 15))};
    const auto rows = rowsInRange(data, range);
    ASSERT_EQ(rows.size(), 5u);
    const auto target = home.root() / "export.csv";
    ASSERT_EQ(exportRows(source, data, rows, target), "");
    const std::string expected = std::string(logCsvHeader(false)) + "\r\n" + line(1) + std::string(35, ',') +
                                 "CRC mismatch. \r\n" + line(3) + line(4) + line(5);
    EXPECT_EQ(test::readFile(target), expected);
    EXPECT_EQ(leftBeside(target), std::vector<std::string>{});

    LineReader reader(source);
    std::string got;
    ASSERT_TRUE(reader.lineAt(rows[2].offset, got));
    EXPECT_EQ(got + "\r\n", line(3));
    const auto fields = splitFields(got, LogFormat::Long);
    EXPECT_EQ(fields.size(), 36u);
    EXPECT_EQ(fields[0], "4");
}

TEST_F(LogRows, ExportRefusesToReplaceItsSourceOrToCopyAChangedFile)
{
    const auto rows = rowsInRange(data, data.fullRange());
    const std::string refused = exportRows(source, data, rows, source);
    EXPECT_NE(refused.find("choose another file"), std::string::npos) << refused;
    EXPECT_EQ(test::readFile(source), text);

    const auto target = home.root() / "export.csv";
    test::writeFile(target, "earlier export");
    test::writeFile(source, std::string(logCsvHeader(false)) + "\r\n" + text);
    const std::string changed = exportRows(source, data, rows, target);
    EXPECT_NE(changed.find("has changed since it was read"), std::string::npos) << changed;
    EXPECT_EQ(test::readFile(target), "earlier export");
    EXPECT_EQ(leftBeside(target), std::vector<std::string>{}) << "the unfinished export is removed";
}

}  // namespace
}  // namespace tellumic::logview
