#include <gtest/gtest.h>

#include <algorithm>

#include "device/lns_action_queue.h"
#include "foundation/runtime_error.h"
#include "model/value_boxes.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

// Records what the queue asks of the window.
class RecordingHost final : public LnsTaskHost
{
public:
    std::string tab = "Power";
    std::string state = "Cnfg Online";
    std::vector<std::string> calls;
    int cursorDepth = 0;

    std::string activeTabCaption() override { return tab; }
    void setBusyCursor(bool busy) override { cursorDepth += busy ? 1 : -1; }
    std::string GetTellumicState(bool checkError) override
    {
        calls.push_back(std::string("GetTellumicState(") + (checkError ? "True" : "False") + ")");
        return state;
    }
    std::string GetLastTmError() override
    {
        calls.emplace_back("GetLastTmError");
        return "No error";
    }
    void UpdateTitlebar() override { calls.emplace_back("UpdateTitlebar"); }
    void showLastTmError(const std::string &text) override { calls.push_back("txtLastTmError=" + text); }
    void CheckUnpauseMonitoring(const std::string &) override {}
    void UpdateMonitoringIndicators() override {}
    void ReadEnergies() override { calls.emplace_back("ReadEnergies"); }
    void UpdateLogInfo() override { calls.emplace_back("UpdateLogInfo"); }

    int count(const std::string &call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }
};

class LnsActionQueueTest : public test::HomeTest
{
protected:
    LnsActionQueueTest()
    {
        LnsBusy() = false;
        for (const char *name : {"ResetEnergy", "SetTmDateTime", "UpdateNvMonitoring", "EnableMonitoring"})
            queue.registerAction(name, LnsArgument::Text, [this, name](const LnsActionQueue::Arg &a) {
                ran.push_back(std::string(name) + "(" + a.text + ")");
            });
        queue.registerAction("ChangeVoltType", LnsArgument::Integer, [this](const LnsActionQueue::Arg &a) {
            ran.push_back("ChangeVoltType(" + std::to_string(a.integer) + ")");
        });
    }
    ~LnsActionQueueTest() override { LnsBusy() = false; }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            queue.TimerTickLns();
    }

    RecordingHost host;
    LnsActionQueue queue{host};
    std::vector<std::string> ran;
};

TEST_F(LnsActionQueueTest, RunsAtOnceWhenIdleAndSplitsNameAndArgument)
{
    queue.ExecuteLnsAction("UpdateNvMonitoring,Power Factor");
    queue.ExecuteLnsAction("SetTmDateTime,2026-12-10 08:05:03,ignored");
    queue.ExecuteLnsAction("ChangeVoltType,2");
    EXPECT_EQ(ran, (std::vector<std::string>{"UpdateNvMonitoring(Power Factor)", "SetTmDateTime(2026-12-10 08:05:03)",
                                             "ChangeVoltType(2)"}));
    EXPECT_FALSE(LnsBusy());
    EXPECT_EQ(host.cursorDepth, 0);
    EXPECT_TRUE(home.dialogs.shown().empty());
}

TEST_F(LnsActionQueueTest, NineActionsWhileBusyDropTheOldestAndRunOnePerTick)
{
    LnsBusy() = true;
    for (int i = 1; i <= 9; ++i)
        queue.ExecuteLnsAction("ResetEnergy," + std::to_string(i));
    EXPECT_EQ(queue.LnsActionCount(), 8);
    EXPECT_TRUE(ran.empty());
    queue.TimerTickLns();  // a tick while busy does nothing
    EXPECT_EQ(queue.LnsActionCount(), 8);
    LnsBusy() = false;
    for (int i = 2; i <= 9; ++i) {
        queue.TimerTickLns();
        ASSERT_EQ(ran.back(), "ResetEnergy(" + std::to_string(i) + ")");
    }
    EXPECT_EQ(ran.size(), 8u);
    EXPECT_EQ(queue.LnsActionCount(), 0);
    EXPECT_EQ(queue.PopOldestLnsAction(), "");
}

TEST_F(LnsActionQueueTest, FailuresAreReportedAndNeverStallTheQueue)
{
    queue.ExecuteLnsAction("NoSuchAction,1");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "Error executing LNS action: 2010,Unrecognized LNS action: NoSuchAction");
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Tellumic Plug-in");

    queue.registerAction("ClearTmError", LnsArgument::None,
                         [](const LnsActionQueue::Arg &) { throw RuntimeError(ErrorNumber::kCommunicationFailure, "lost"); });
    LnsBusy() = true;
    queue.ExecuteLnsAction("ClearTmError");
    queue.ExecuteLnsAction("ChangeVoltType,x");
    queue.ExecuteLnsAction("ResetEnergy");
    LnsBusy() = false;
    ticks(3);
    EXPECT_EQ(ran, std::vector<std::string>{"ResetEnergy()"});
    EXPECT_EQ(home.dialogs.shown().size(), 3u);
    EXPECT_EQ(home.dialogs.shown()[2].text, "Error executing LNS action: 13,Type mismatch");
    EXPECT_FALSE(LnsBusy());
    EXPECT_EQ(host.cursorDepth, 0);
}

TEST_F(LnsActionQueueTest, StateEveryTenthIdleTickAndTheErrorEverySixthRefresh)
{
    ticks(9);
    EXPECT_EQ(host.count("UpdateTitlebar"), 0);
    ticks(1);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"GetTellumicState(True)", "UpdateTitlebar", "GetLastTmError",
                                                    "txtLastTmError=No error"}));
    EXPECT_EQ(MeterState(), "Cnfg Online");
    ticks(50);  // refreshes 2 to 6 do not check
    EXPECT_EQ(host.count("GetTellumicState(False)"), 5);
    EXPECT_EQ(host.count("GetLastTmError"), 1);
    ticks(10);  // the seventh refresh checks again
    EXPECT_EQ(host.count("GetTellumicState(True)"), 2);

    host.state = "Offline";
    host.calls.clear();
    ticks(60);
    EXPECT_EQ(host.count("GetTellumicState(True)"), 1);
    EXPECT_EQ(host.count("GetLastTmError"), 0);  // not asked while the meter is not online
}

TEST_F(LnsActionQueueTest, EnergiesOnTheFirstIdleTickOnEnergyThenEveryTenth)
{
    ticks(1);  // on "Power"
    host.tab = "Energy";
    ticks(1);
    EXPECT_EQ(host.count("ReadEnergies"), 1);
    ticks(9);
    EXPECT_EQ(host.count("ReadEnergies"), 1);
    ticks(1);
    EXPECT_EQ(host.count("ReadEnergies"), 2);
    // Waiting actions hold the periodic work back.
    LnsBusy() = true;
    for (int i = 0; i < 8; ++i)
        queue.ExecuteLnsAction("ResetEnergy");
    LnsBusy() = false;
    ticks(8);
    EXPECT_EQ(host.count("ReadEnergies"), 2);
}

TEST_F(LnsActionQueueTest, LogInfoEveryThirtiethIdleTickOnLogging)
{
    host.tab = "Logging";
    ticks(29);
    EXPECT_EQ(host.count("UpdateLogInfo"), 0);
    ticks(1);
    EXPECT_EQ(host.count("UpdateLogInfo"), 1);
    ticks(30);
    EXPECT_EQ(host.count("UpdateLogInfo"), 2);
}

TEST_F(LnsActionQueueTest, TableKeepsItsOrderAndRefusesUnknownNames)
{
    EXPECT_EQ(queue.registeredActions(), (std::vector<std::string>{"ChangeVoltType", "EnableMonitoring", "ResetEnergy",
                                                                   "SetTmDateTime", "UpdateNvMonitoring"}));
    EXPECT_THROW(queue.registerAction("Bogus", LnsArgument::None, {}), std::logic_error);
}

}  // namespace
}  // namespace tellumic
