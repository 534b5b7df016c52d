// Every program's --help on a machine with nothing installed: the text, exit 0, and the home
// left as it was (a help that opens the installation fails there, or creates files in it).

#include <cctype>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

namespace tellumic::test {
namespace {

struct HelpRow
{
    const char *program;
    const char *args;
    const char *says;  // a line of the usage text
};

class HelpTest : public HomeTest, public ::testing::WithParamInterface<HelpRow>
{
};

std::string quoted(const std::string &s) { return "'" + s + "'"; }

TEST_P(HelpTest, PrintsUsageAndLeavesAnEmptyHomeEmpty)
{
    const HelpRow &row = GetParam();
    const auto fresh = home.root() / "fresh";
    std::filesystem::create_directories(fresh);
    const CommandRun r = runCommand("env -u DISPLAY -u WAYLAND_DISPLAY TELLUMIC_HOME=" + quoted(fresh.string()) + " " +
                                    quoted(row.program) + " " + row.args + " 2>&1 </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
    std::vector<std::string> made;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(fresh))
        made.push_back(entry.path().lexically_relative(fresh).string());
    EXPECT_TRUE(made.empty()) << "created " << ::testing::PrintToString(made);
}

// The usage text to a full disk: an error, as any output that is lost (with the system's
// reason where the write that failed is the last).
TEST_P(HelpTest, OutputToAFullDiskIsAnError)
{
    const HelpRow &row = GetParam();
    const CommandRun r = runCommand(quoted(row.program) + " " + row.args + " 2>&1 >/dev/full </dev/null");
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(": cannot write standard output"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Programs, HelpTest,
    ::testing::Values(HelpRow{LNS_HOST_EXE, "--help", "lns-host"}, HelpRow{LNS_SIM_EXE, "--help", "lns-sim"},
                      HelpRow{TELLUMIC_LOG_EXE, "--help", "tellumic-log decode"},
                      HelpRow{TELLUMIC_LOG_EXE, "decode --help", "tellumic-log decode"},
                      HelpRow{TELLUMIC_LOG_EXE, "last --help", "tellumic-log last"},
                      HelpRow{TELLUMIC_LOG_EXE, "view --help", "tellumic-log view"},
                      HelpRow{TELLUMIC_LOG_EXE, "harvest --help", "tellumic-log harvest"},
                      HelpRow{TELLUMIC_LOG_EXE, "audit --help", "tellumic-log audit"},
                      HelpRow{TELLUMIC_LOG_EXE, "store --help", "tellumic-log store"},
                      HelpRow{TELLUMIC_LOG_EXE, "export --help", "tellumic-log export"},
                      HelpRow{TELLUMIC_CONFIG_EXE, "--help", "tellumic-config save"},
                      HelpRow{TELLUMIC_CONFIG_EXE, "apply --help", "tellumic-config apply"},
                      HelpRow{XIF32BIN_EXE, "--help", "Usage: XIF32BIN"},
                      HelpRow{PLUGIN_EXE, "--help", "tellumic-plugin"}),
    [](const ::testing::TestParamInfo<HelpRow> &info) {
        std::string name = std::filesystem::path(info.param.program).filename().string() + "_" + info.param.args;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name + "_" + std::to_string(info.index);
    });

}  // namespace
}  // namespace tellumic::test
