// tellumic-log view, run as a user would: the file and the display are checked before a
// window is made, and the tool's other commands never need a display.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "log/log_csv.h"
#include "tests/logview/log_lines.h"
#include "tests/support/temp_home.h"
#include "tests/support/case_name.h"

namespace tellumic {
namespace {

struct ViewCase
{
    const char *what;
    const char *args;
    int status;
    const char *says;
};

class TellumicLogView : public test::HomeTest, public ::testing::WithParamInterface<ViewCase>
{
protected:
    void SetUp() override
    {
        const auto records = test::loadRecords(4, 1, test::civil(2026, 3, 1));
        test::writeFile(home.root() / "good.csv", test::logText(records, false));
        test::writeFile(home.root() / "notalog.csv", "Name,Value\r\nx,1\r\n");
        test::writeFile(home.root() / "empty.csv", "");
        ::mkfifo((home.root() / "pipe.csv").c_str(), 0600);
    }

    // Runs the tool with no display at all.
    int run(const std::string &args, std::string &err) const
    {
        const std::string cmd = "cd '" + home.root().string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" TELLUMIC_LOG_TOOL "' " +
                                args + " >tool.out 2>tool.err";
        const int raw = std::system(cmd.c_str());
        err = test::readFile(home.root() / "tool.err");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
};

TEST_P(TellumicLogView, ChecksBeforeItOpensAWindow)
{
    std::string err;
    EXPECT_EQ(run(GetParam().args, err), GetParam().status) << err;
    EXPECT_NE(err.find(GetParam().says), std::string::npos) << err;
}

// A display that is named but cannot be reached is said so, with an exit status, not an abort.
TEST_F(TellumicLogView, ADisplayOutOfReachIsToldNotAnAbort)
{
    const std::string cmd = "cd '" + home.root().string() +
                            "' && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711 '" TELLUMIC_LOG_TOOL
                            "' view good.csv >tool.out 2>tool.err";
    const int raw = std::system(cmd.c_str());
    const std::string err = test::readFile(home.root() / "tool.err");
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << err;
    EXPECT_NE(err.find("tellumic-log: view opens a window and needs a display ("), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, TellumicLogView,
    ::testing::Values(ViewCase{"no file", "view", 2, "give one CSV log file"},
                      ViewCase{"two files", "view good.csv good.csv", 2, "give one CSV log file"},
                      ViewCase{"missing file", "view gone.csv", 1, "gone.csv cannot be read"},
                      ViewCase{"empty file", "view empty.csv", 1, "empty.csv is empty"},
                      ViewCase{"a pipe", "view pipe.csv", 1, "pipe.csv is not a regular file"},
                      ViewCase{"not a log", "view notalog.csv", 1, "not a CSV log file"},
                      ViewCase{"no display", "view good.csv", 1, "needs a display"},
                      ViewCase{"other commands need none", "last good.csv", 0, ""}),
    [](const auto &info) { return test::caseName(info.param.what); });

}  // namespace
}  // namespace tellumic
