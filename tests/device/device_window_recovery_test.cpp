// A window that did not get live says so and can reconnect; values that stopped updating
// when the meter left its normal state look stale until they are updated again.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>

#include "device/event_log_widget.h"
#include "foundation/registry.h"
#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

using A = ControlArray;

class DeviceWindowRecoveryTest : public test::DeviceWindowTest
{
};

QString statusLine(DeviceWindow &window)
{
    return window.findChild<QLineEdit *>("txtStatus")->text();
}

// Start-ups that fail at different steps, and whether a Reconnect after the cause has gone
// makes the window live.
struct FailedStart
{
    const char *meter;
    double commFailRate;
    const char *why;  // the part of the status line that names the cause
    bool reconnects;
};

class FailedStartUp : public test::DeviceWindowTest, public ::testing::WithParamInterface<FailedStart>
{
};

TEST_P(FailedStartUp, SaysLiveValuesAreOffAndWhyAndReconnects)
{
    const FailedStart &c = GetParam();
    auto sim = control();
    const auto id = sim.device(c.meter).id;
    sim::DeviceFaults faults;
    faults.commFailRate = c.commFailRate;
    sim.setFaults(id, faults);
    ASSERT_FALSE(open(c.meter));  // each question answered with its default button, Abort
    EXPECT_FALSE(window->timerActive());
    const QString status = statusLine(*window);
    EXPECT_TRUE(status.startsWith("Live values are off; File > Reconnect (Ctrl+R) tries again. Start-up failed: "))
        << status.toStdString();
    EXPECT_TRUE(status.contains(c.why)) << status.toStdString();

    auto *reconnect = window->reconnectAction();
    ASSERT_TRUE(reconnect);
    EXPECT_TRUE(reconnect->isEnabled());
    EXPECT_EQ(reconnect->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    auto *file = window->menuBar()->actions().front()->menu();
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->actions().contains(reconnect));

    sim.setFaults(id, sim::DeviceFaults{});
    home.dialogs.clearShown();
    reconnect->trigger();
    EXPECT_EQ(window->timerActive(), c.reconnects);
    if (!c.reconnects)
        return;
    EXPECT_EQ(statusLine(*window), "Reconnected: live values are on");
    tick();
    EXPECT_FALSE(text(A::txtNvo, 12).isEmpty());  // energies read on the first tick
}

INSTANTIATE_TEST_SUITE_P(Causes, FailedStartUp,
                         ::testing::Values(FailedStart{"TMC-FT-Log-364", 1.0, "Error reading initial values: -2147220478,", true},
                                           FailedStart{"Thermostat", 0, "fMain.InitDevice(): -2147219490,", false}));

TEST_F(DeviceWindowRecoveryTest, ReconnectWaitsForTheWorkInProgress)
{
    ASSERT_TRUE(open("TMC-FT-362"));
    LnsBusy() = true;
    EXPECT_FALSE(window->Reconnect());
    EXPECT_TRUE(statusLine(*window).startsWith("Busy"));
    LnsBusy() = false;
    EXPECT_TRUE(window->Reconnect());
    EXPECT_TRUE(window->timerActive());
}

bool looksStale(QLineEdit *box)
{
    return box->property("stale").toBool() && box->accessibleDescription().startsWith("Not updated since") &&
           box->palette().color(QPalette::Text) != box->window()->palette().color(QPalette::ButtonText);
}

TEST_F(DeviceWindowRecoveryTest, ValuesOlderThanAStateChangeLookStaleUntilUpdated)
{
    ASSERT_TRUE(open("TMB-FT-Plus-208"));
    tick();                       // the energies
    simServer->DispatchEvents();  // the monitored energy update time
    auto *energy = window->box({A::txtNvo, 12});
    auto *updateTime = window->box({A::txtCp, 7});
    auto *location = window->box({A::txtCp, 0});
    ASSERT_FALSE(energy->text().isEmpty());
    ASSERT_FALSE(updateTime->text().isEmpty());
    EXPECT_FALSE(looksStale(energy));

    auto c = control();
    const auto id = c.device("TMB-FT-Plus-208").id;
    c.setCondition(id, sim::DeviceCondition::Offline);
    tick(10);  // the state refresh, then the energy refresh
    ASSERT_EQ(window->windowTitle(), "Tellumic LNS Plug-In - Offline");
    EXPECT_EQ(energy->text(), "Offline");
    EXPECT_FALSE(looksStale(energy));
    EXPECT_TRUE(looksStale(updateTime)) << updateTime->text().toStdString();
    EXPECT_EQ(updateTime->accessibleDescription(), "Not updated since the meter went Offline");
    EXPECT_FALSE(looksStale(location)) << "not a value the meter updates";

    c.setCondition(id, sim::DeviceCondition::ConfiguredOnline);
    tick(10);
    EXPECT_EQ(window->windowTitle(), "Tellumic LNS Plug-In");
    EXPECT_TRUE(looksStale(updateTime)) << "until its next update";
    selectTab("Power");
    selectTab("Energy");  // monitoring turned on again reports the present values
    simServer->DispatchEvents();
    EXPECT_FALSE(looksStale(updateTime));
    EXPECT_TRUE(updateTime->accessibleDescription().isEmpty());
}

TEST_F(DeviceWindowRecoveryTest, TheEventLogPaneKeepsTheHeightTheUserDraggedItTo)
{
    const auto showWindow = [this] {
        window->resize(900, 900);
        window->show();
        QCoreApplication::processEvents();
        return window->findChild<QSplitter *>("splitLog");
    };
    auto *split = showWindow();
    ASSERT_TRUE(split);
    const int before = split->sizes()[1];
    auto *handle = split->handle(1);
    const QPoint grip = handle->mapTo(window.get(), QPoint(handle->width() / 2, handle->height() / 2));
    const QPoint up = grip - QPoint(0, 120);
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, grip);
    QTest::mouseMove(window->windowHandle(), up);
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, up);
    const int dragged = split->sizes()[1];
    ASSERT_EQ(dragged, before + 120);
    EXPECT_EQ(CRegistry().AppSetting("Device Window", "Log Pane Height"), std::to_string(dragged));

    window = std::make_unique<DeviceWindow>();
    EXPECT_EQ(showWindow()->sizes()[1], dragged);
}

}  // namespace
}  // namespace tellumic
