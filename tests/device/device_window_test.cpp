#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "device/event_log_widget.h"
#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

using test::DeviceWindowTest;
using A = ControlArray;

TEST_F(DeviceWindowTest, StartsOnTheEnergyTabWithTheMeterIdentityAndEnergiesAfterTheFirstTick)
{
    ASSERT_TRUE(open("TMC-FT-Log-PT-370"));
    EXPECT_EQ(window->tabs().tabText(window->tabs().currentIndex()), "Energy");
    EXPECT_EQ(window->windowTitle(), "Tellumic LNS Plug-In");
    EXPECT_TRUE(window->findChild<QLabel *>("lblDeviceTemplate")->text().startsWith("Halvern Instruments, LLC: "));
    EXPECT_TRUE(window->findChild<QLabel *>("lblDeviceTemplate")->text().endsWith("(90B7E515000A040D)"));
    EXPECT_EQ(window->findChild<QLineEdit *>("txtNodeName")->text(), "TMC-FT-Log-PT-370");
    EXPECT_EQ(text(A::txtCp, 3), "100234");
    EXPECT_EQ(text(A::txtCp, 6), "300");  // the energy send time, in seconds
    EXPECT_EQ(window->findChild<QLineEdit *>("txtFirmwareVer")->text(), "3.03");
    EXPECT_TRUE(window->timerActive());
    EXPECT_TRUE(text(A::txtNvo, 12).isEmpty());
    tick();
    EXPECT_FALSE(text(A::txtNvo, 12).isEmpty());
    EXPECT_NE(text(A::txtNvo, 12), "NaN");
    EXPECT_EQ(nv("nvoEnergySum")->FormatSpec(), "RAW");
    EXPECT_TRUE(window->tabs().isTabVisible(6));
    EXPECT_FALSE(window->box({A::txtPtPrimary, 0})->isHidden());
}

TEST_F(DeviceWindowTest, MonitoringFollowsTheTabAndUpdatesTheBoxes)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    EXPECT_FALSE(nv("nvoPowerSum")->IsMonitorOn());
    EXPECT_FALSE(nv("nvoEnergySum")->IsMonitorOn());
    EXPECT_FALSE(window->tabs().isTabVisible(6) == false);
    selectTab("Power");
    tick();
    EXPECT_TRUE(nv("nvoPowerSum")->IsMonitorOn());
    EXPECT_EQ(nv("nvoPowerSum")->MonitorRate(), 20);
    EXPECT_FALSE(text(A::txtNvo, 1).isEmpty());  // shown at once on the tab change
    EXPECT_EQ(window->unitLabel({A::lblPowerType, 0})->text(), "W");
    EXPECT_EQ(window->unitLabel({A::lblReacPwrType, 0})->text(), "VAR");

    nv("nvoPowerSum")->SetValue("2500.5");  // the meter's reading changes
    home.clock.advance(std::chrono::seconds(2));
    simServer->DispatchEvents();
    EXPECT_EQ(text(A::txtNvo, 1), "2,500.5");

    selectTab("Multimeter");
    tick();
    EXPECT_FALSE(nv("nvoPowerSum")->IsMonitorOn());
    EXPECT_TRUE(nv("nvoVoltsA")->IsMonitorOn());

    window->disableMonitorAction()->trigger();
    EXPECT_FALSE(nv("nvoVoltsA")->IsMonitorOn());
    tick();
    EXPECT_TRUE(window->disableMonitorAction()->isChecked());
    EXPECT_FALSE(window->enableMonitorAction()->isChecked());
}

TEST_F(DeviceWindowTest, EditsAreAppliedWithTheirConversionsAndCancelled)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    type(A::txtCp, 6, "600");
    type(A::txtNvi, 0, "2026-12-10 08:05:03");
    EXPECT_TRUE(window->isChanged({A::txtCp, 6}));
    EXPECT_TRUE(window->editPending());
    EXPECT_TRUE(window->findChild<QPushButton *>("cmdApply")->isEnabled());
    window->findChild<QPushButton *>("cmdApply")->click();
    EXPECT_FALSE(window->editPending());
    EXPECT_FALSE(window->isChanged({A::txtCp, 6}));
    auto sendTime = plugIn().CurrentDevice->GetInterface()->Nvs().Item("nvoEnergySum")->Cps().Item(1);
    EXPECT_EQ(sendTime->Value(), "0 0:10:0:0");
    EXPECT_EQ(nv("nviTimeSet")->Value().substr(0, 10), "2026/12/10");
    const QStringList log = window->eventLog().lines();
    EXPECT_TRUE(log.filter("SCPTmaxSndT = 0 0:10:0:0").size() == 1) << log.join('\n').toStdString();
    EXPECT_TRUE(log.filter("nviTimeSet = 2026/12/10 08:05:03").size() == 1);

    // Cancel puts the last applied value back, in seconds.
    type(A::txtCp, 6, "45");
    window->findChild<QPushButton *>("cmdCancel")->click();
    EXPECT_EQ(text(A::txtCp, 6), "600");
    EXPECT_FALSE(window->isChanged({A::txtCp, 6}));
    EXPECT_EQ(sendTime->Value(), "0 0:10:0:0");
}

TEST_F(DeviceWindowTest, OlderFamiliesLockTheLocationAndWriteUpdateTimesAsElapsedTimes)
{
    ASSERT_TRUE(open("TMB-FT-Plus-208"));
    EXPECT_EQ(window->findChild<QLineEdit *>("txtFirmwareVer")->text(), "3.03");
    EXPECT_TRUE(text(A::txtCp, 0).contains('"'));
    type(A::txtCp, 0, "Somewhere");
    EXPECT_FALSE(window->editPending());
    EXPECT_FALSE(window->findChild<QPushButton *>("cmdApply")->isEnabled());
    EXPECT_FALSE(window->tabs().isTabVisible(6));

    // Update times show in seconds and are written back as elapsed times, not as seconds.
    selectTab("Power");
    tick();
    type(A::txtCp, 8, "300");
    window->findChild<QPushButton *>("cmdApply")->click();
    EXPECT_EQ(nv("nciPwrUpdtT")->Value(), "0 0:5:0:0");
    EXPECT_TRUE(home.dialogs.shown().empty());
    type(A::txtCp, 8, "7");
    window->findChild<QPushButton *>("cmdCancel")->click();
    EXPECT_EQ(text(A::txtCp, 8), "300");

    home.dialogs.queueAnswer(MsgResult::Ok);
    window->findChild<QPushButton *>("cmdResetPkDemand")->click();
    EXPECT_EQ(nv("nviLogRequest")->Value(), "0");  // 3, then two seconds later 0
}

TEST_F(DeviceWindowTest, ASendTimeThatIsNotANumberIsRefusedNotReplacedByFiveSeconds)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    type(A::txtCp, 6, "soon");
    home.dialogs.queueAnswer(MsgResult::Abort);
    window->ApplyNvCpChanges();
    auto sendTime = plugIn().CurrentDevice->GetInterface()->Nvs().Item("nvoEnergySum")->Cps().Item(1);
    EXPECT_EQ(sendTime->Value(), "0 0:5:0:0");
    ASSERT_FALSE(home.dialogs.shown().empty());
    EXPECT_EQ(home.dialogs.shown().back().caption, "fMain cmdApply_Click");
    EXPECT_TRUE(home.dialogs.shown().back().text.starts_with("Error updating SCPTmaxSndT\r\n13,"));
    EXPECT_TRUE(window->editPending());  // Abort keeps the edit for another try
}

TEST_F(DeviceWindowTest, MeterCommandsReachTheMeter)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    home.dialogs.queueAnswer(MsgResult::Cancel);
    window->findChild<QPushButton *>("cmdResetEnergy")->click();
    EXPECT_EQ(nv("nviResetEnergy")->Value(), "0");
    home.dialogs.queueAnswer(MsgResult::Ok);
    window->findChild<QPushButton *>("cmdResetEnergy")->click();
    EXPECT_EQ(nv("nviResetEnergy")->Value(), "1");
    home.dialogs.queueAnswer(MsgResult::Ok);
    window->findChild<QPushButton *>("cmdResetPkDemand")->click();
    EXPECT_EQ(nv("nviResetPkDemand")->Value(), "1");
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Zero Energy Totals");
    EXPECT_EQ(home.dialogs.shown()[2].caption, "Zero Peak Demand");

    home.clock.set(localTimePoint(2026, 12, 10, 9, 30, 0));
    window->findChild<QPushButton *>("cmdTmToPcDateTime")->click();
    EXPECT_EQ(window->findChild<QLineEdit *>("txtPcDateTime")->text(), "2026-12-10 09:30:00");
    EXPECT_EQ(nv("nviTimeSet")->Value().substr(0, 16), "2026/12/10 09:30");
}

TEST_F(DeviceWindowTest, StateAndErrorTextsFollowTheMeter)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    auto c = control();
    const auto id = c.device("TMC-FT-Log-364").id;
    sim::DeviceFaults faults;
    faults.lastErrorCode = 11;
    c.setFaults(id, faults);
    window->findChild<QPushButton *>("cmdCheckStatus")->click();
    EXPECT_EQ(window->findChild<QLineEdit *>("txtLastTmError")->text(), "Error #11 :Real-time clock not responding");
    window->findChild<QPushButton *>("cmdClearTmError")->click();
    EXPECT_EQ(window->findChild<QLineEdit *>("txtLastTmError")->text(), "No errors");

    c.setCondition(id, sim::DeviceCondition::Offline);
    tick(10);
    EXPECT_EQ(window->windowTitle(), "Tellumic LNS Plug-In - Offline");
    selectTab("Power");
    tick();
    EXPECT_EQ(text(A::txtNvo, 1), "Offline");
    c.setCondition(id, sim::DeviceCondition::ConfiguredOnline);
    tick(10);
    EXPECT_EQ(window->windowTitle(), "Tellumic LNS Plug-In");
}

TEST_F(DeviceWindowTest, ServicePinsAreReportedInTheEventLog)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    auto c = control();
    c.pressServicePin(c.device("TMC-FT-Log-364").id);
    c.pressServicePin(c.device("TMC-FT-362").id);
    c.pressServicePin(c.device("Thermostat").id);
    simServer->DispatchEvents();
    const QStringList log = window->eventLog().lines();
    EXPECT_EQ(log.filter("Service pin pressed on this Tellumic. NID=").size(), 1);
    EXPECT_EQ(log.filter("Service pin pressed on different Tellumic. NID=").size(), 1);
    EXPECT_EQ(log.filter("Service pin pressed on unrecognized device. NID=").size(), 1);
}

TEST_F(DeviceWindowTest, FailingStartUpAsksAbortRetryIgnore)
{
    // Another maker's device has no catalogue: Retry asks again, Abort gives up.
    home.dialogs.queueAnswer(MsgResult::Retry);
    home.dialogs.queueAnswer(MsgResult::Abort);
    EXPECT_FALSE(open("Thermostat"));
    ASSERT_EQ(home.dialogs.shown().size(), 2u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "fMain InitDevice");
    EXPECT_EQ(home.dialogs.shown()[0].style, MsgStyle::kAbortRetryIgnore + MsgStyle::kCritical);
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with("fMain.InitDevice() Error: -2147219490,FillNvsCpsTable(): "));
    EXPECT_FALSE(window->timerActive());

    // A meter that stops answering while the initial values are read: the error goes to
    // the event log and the start-up fails.
    auto c = control();
    sim::DeviceFaults faults;
    faults.commFailRate = 1.0;
    c.setFaults(c.device("TMC-FT-Log-364").id, faults);
    home.dialogs.clearShown();
    EXPECT_FALSE(open("TMC-FT-Log-364"));
    EXPECT_EQ(window->eventLog().lines().filter("Error reading initial values: -2147220478,").size(), 1);
    EXPECT_EQ(window->eventLog().lines().filter("Error in ReadInitValues()").size(), 1);
    EXPECT_FALSE(window->timerActive());
}

TEST_F(DeviceWindowTest, ExitAsksWhenDirectorsAreAttachedAndEndPlugInClosesEverything)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    plugIn().ClientCount = 2;
    home.dialogs.queueAnswer(MsgResult::No);
    window->findChild<QAction *>("mnuExit")->trigger();
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text,
              "There are 2 directors using this plug-in. Exiting may cause the directors to experience errors. Are you "
              "sure that you want to exit?");
    EXPECT_EQ(home.dialogs.shown()[0].style, MsgStyle::kYesNo + MsgStyle::kDefaultButton2);
    EXPECT_EQ(processEnds, 0);
    plugIn().ClientCount = 0;
    window->findChild<QAction *>("mnuExit")->trigger();
    EXPECT_EQ(processEnds, 1);
    EXPECT_FALSE(plugIn().CurrentDevice);
    EXPECT_FALSE(plugIn().CurrentSystem);
    EXPECT_FALSE(simServer->IsOpen());
}

TEST_F(DeviceWindowTest, CtrlShowsTheHiddenCalibrateEntry)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(window.get(), &ctrlDown);
    EXPECT_TRUE(window->calibrateAction()->isVisible());
    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &ctrlUp);
    EXPECT_FALSE(window->calibrateAction()->isVisible());
}

}  // namespace
}  // namespace tellumic
