#include <gtest/gtest.h>

#include "foundation/progress_window.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class ProgressWindowTest : public test::HomeTest
{
protected:
    void SetUp() override { ProgressWindow::setExpiredHandler([this] { ++expired; }); }
    void TearDown() override
    {
        ProgressWindow::closeProgress();
        ProgressWindow::setExpiredHandler(nullptr);
    }
    int expired = 0;
};

TEST_F(ProgressWindowTest, AMinuteWithoutStatusEndsThePlugIn)
{
    DisplayStatus("Testing the device...");
    auto &w = ProgressWindow::instance();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Tellumic LNS Plug-In V1.11");
    home.clock.advance(std::chrono::seconds(59));
    w.checkWatchdog();
    DisplayStatus("Reading Network variable: nvoPowerSum ...");
    home.clock.advance(std::chrono::seconds(59));
    w.checkWatchdog();
    EXPECT_EQ(expired, 0);
    home.clock.advance(std::chrono::seconds(1));
    w.checkWatchdog();
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(w.statusText(), "Reading Network variable: nvoPowerSum ...");
}

TEST_F(ProgressWindowTest, AQuestionWaitingForTheUserHoldsTheWatchdog)
{
    DisplayStatus("Testing the device...");
    auto &w = ProgressWindow::instance();
    // While a box waits, minutes may pass; afterwards the count starts again.
    class SlowDialogs final : public Dialogs
    {
    public:
        SlowDialogs(ManualClock &clock, ProgressWindow &w) : m_clock(clock), m_w(w) {}
        MsgResult messageBox(std::string_view, int style, std::string_view) override
        {
            AskingScope asking(*this);
            for (int i = 0; i < 5; ++i) {
                m_clock.advance(std::chrono::minutes(1));
                m_w.checkWatchdog();
            }
            return defaultButtonOf(style);
        }
        std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }

    private:
        ManualClock &m_clock;
        ProgressWindow &m_w;
    } slow(home.clock, w);
    setDialogs(&slow);
    MsgBox("fMain.InitDevice() Error: ...", MsgStyle::kAbortRetryIgnore);
    setDialogs(&home.dialogs);
    EXPECT_EQ(expired, 0);
    home.clock.advance(std::chrono::seconds(59));
    w.checkWatchdog();
    EXPECT_EQ(expired, 0);
    home.clock.advance(std::chrono::seconds(1));
    w.checkWatchdog();
    EXPECT_EQ(expired, 1);
}

}  // namespace
}  // namespace tellumic
