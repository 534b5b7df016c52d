#include <gtest/gtest.h>

#include "foundation/trace_log.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

using test::readFile;
using test::writeFile;

struct LineCase
{
    LocalTime at;
    const char *message;
    const char *expected;
};

class TraceLineFormat : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(TraceLineFormat, StampsDateTimeAndHundredths)
{
    const auto &c = GetParam();
    const auto t = fromLocalTime(c.at);
    EXPECT_EQ(TraceLog::formatLine(t, t, c.message), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceLineFormat,
    ::testing::Values(LineCase{{2011, 3, 5, 14, 7, 9, 370}, "fMain.ReadLogData()", "2011-03-05 14:07:09.37 fMain.ReadLogData()\r\n"},
                      LineCase{{2011, 3, 5, 0, 0, 5, 70}, "x", "2011-03-05 00:00:05.07 x\r\n"},
                      LineCase{{2026, 12, 31, 23, 59, 59, 999}, "late", "2026-12-31 23:59:59.00 late\r\n"},
                      LineCase{{2020, 1, 2, 3, 4, 5, 5}, "round", "2020-01-02 03:04:05.01 round\r\n"}));

class TraceLogTest : public test::HomeTest
{
protected:
    std::filesystem::path folder() const { return home.programFolder(); }
    std::filesystem::path logFile() const { return folder() / "TmPlugin.log"; }
    TraceLog newProcess() const { return TraceLog(folder(), home.clock); }
};

TEST_F(TraceLogTest, FirstProcessCreatesTheFileAndTracesTheNextOneDoesNot)
{
    {
        auto first = newProcess();
        first.write("first");
        EXPECT_EQ(first.state(), TraceLog::On);
    }
    EXPECT_EQ(readFile(logFile()), "2011-03-05 14:07:09.00 first\r\n");

    auto second = newProcess();
    second.write("second");
    EXPECT_EQ(second.state(), TraceLog::Off);
    EXPECT_EQ(readFile(logFile()), "2011-03-05 14:07:09.00 first\r\n");
}

TEST_F(TraceLogTest, EnableFileAppendsToAnExistingTrace)
{
    writeFile(logFile(), "old line\r\n");
    writeFile(folder() / "EnableLog.txt", "");
    auto log = newProcess();
    log.write("a");
    log.write("");
    log.write("b");
    EXPECT_EQ(readFile(logFile()), "old line\r\n2011-03-05 14:07:09.00 a\r\n2011-03-05 14:07:09.00 b\r\n");
}

TEST_F(TraceLogTest, StateIsDecidedOncePerProcess)
{
    writeFile(logFile(), "");
    auto log = newProcess();
    log.write("before");
    writeFile(folder() / "EnableLog.txt", "");
    log.write("after");
    EXPECT_EQ(log.state(), TraceLog::Off);
    EXPECT_EQ(readFile(logFile()), "");
}

TEST_F(TraceLogTest, FileDeletedWhileRunningIsRecreatedByTheNextLine)
{
    auto log = newProcess();
    log.write("one");
    std::filesystem::remove(logFile());
    log.write("two");
    EXPECT_EQ(readFile(logFile()), "2011-03-05 14:07:09.00 two\r\n");
}

TEST_F(TraceLogTest, UnwritableFolderDropsLinesWithoutFailing)
{
    // A folder that is a plain file cannot hold the trace, whoever runs the test.
    const auto blocked = home.root() / "blocked";
    writeFile(blocked, "not a folder");
    TraceLog log(blocked, home.clock);
    EXPECT_NO_THROW(log.write("lost"));
    EXPECT_NO_THROW(DebugLog("through the process log"));
}

TEST_F(TraceLogTest, SeparateProcessesShareTheDecisionRules)
{
    const auto folderPath = folder();
    auto tracer = [&](const char *message) {
        return test::runInChild([&] {
            SystemClock clock;
            TraceLog log(folderPath, clock);
            log.write(message);
        });
    };
    ASSERT_EQ(tracer("from first"), 0);
    ASSERT_EQ(tracer("from second"), 0);
    auto text = readFile(logFile());
    EXPECT_NE(text.find("from first"), std::string::npos);
    EXPECT_EQ(text.find("from second"), std::string::npos);

    writeFile(folder() / "EnableLog.txt", "");
    ASSERT_EQ(tracer("from third"), 0);
    text = readFile(logFile());
    EXPECT_NE(text.find("from first"), std::string::npos);
    EXPECT_NE(text.find("from third"), std::string::npos);
}

}  // namespace
}  // namespace tellumic
