#pragma once

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>


#include "calibration/calibration_window.h"
#include "tests/device/device_fixture.h"

namespace tellumic::test {

// A meter open in the device window, as the plug-in shows it, and the calibration window
// over it. Its timer ticks by hand on the test's manual clock, and its waits pass on it.
class CalibrationTest : public DeviceWindowTest
{
protected:
    void TearDown() override
    {
        cal.reset();
        DeviceWindowTest::TearDown();
    }

    // Opens the device window on a meter and the calibration window over it, with live
    // monitoring off as the Calibrate entry leaves it.
    void openCalibration(const std::string &meter)
    {
        ASSERT_TRUE(open(meter)) << meter;
        window->stopTimer();
        DisableMonitoring(*window);
        home.dialogs.clearShown();
        cal = std::make_unique<CalibrationWindow>(*window);
        cal->setManualTicks(true);
        cal->setWaiter([this](int ms) {
            ++waits;
            home.clock.advance(std::chrono::milliseconds(ms));
            if (onWait)
                onWait();
        });
        cal->Form_Load();
    }

    // Lets the interval the timer asks for pass, then runs the tick.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(cal->timerActive());
            home.clock.advance(std::chrono::milliseconds(cal->timerInterval()));
            cal->Timer1_Timer();
        }
    }

    QLineEdit *edit(const char *name) const
    {
        if (std::string(name) == "cboModel")
            return combo()->lineEdit();
        auto *e = cal->findChild<QLineEdit *>(name);
        EXPECT_NE(e, nullptr) << name;
        return e;
    }
    QComboBox *combo() const { return cal->findChild<QComboBox *>("cboModel"); }
    QPushButton *button(const char *name) const
    {
        auto *b = cal->findChild<QPushButton *>(name);
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    std::string text(const char *name) const { return edit(name)->text().toStdString(); }

    // Presses a button the way a screen reader does; a disabled button does nothing.
    bool press(const char *name)
    {
        QPushButton *b = button(name);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(b);
        EXPECT_TRUE(a && a->actionInterface()) << name;
        if (!b->isEnabled())
            return false;
        QSignalSpy clicked(b, &QPushButton::clicked);
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        return clicked.count() > 0 || clicked.wait(2000);
    }

    // Types over a field's text, key by key.
    void type(const char *name, const QString &newText)
    {
        QLineEdit *e = edit(name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, newText);
    }
    void enter(const char *name) { QTest::keyClick(edit(name), Qt::Key_Return); }
    void leave(const char *name)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit(name), &out);
    }
    bool isRed(const char *name) const { return edit(name)->property("unsaved").toBool(); }

    // Unlocks the window with the code and starts the calibration (the opening tick first).
    void startCalibration()
    {
        if (cal->calState() == 1)
            tick();
        type("txtUnlockCode", "7461");
        ASSERT_TRUE(press("cmdStartCal"));
    }

    // The meter's calibration-block and node-block properties.
    std::shared_ptr<lns::Cp> calCp(const std::string &name, const char *block = "TellumicCal")
    {
        return plugIn().CurrentDevice->GetInterface()->FunctionalBlocks().Item(block)->Cps().Item(name);
    }
    std::shared_ptr<lns::Cp> nodeCp(const std::string &name)
    {
        return plugIn().CurrentDevice->GetInterface()->FunctionalBlocks().Item("NodeObject")->Cps().Item(name);
    }

    // The message boxes shown, as "caption|text".
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> out;
        for (const auto &s : home.dialogs.shown())
            out.push_back(s.caption + "|" + s.text);
        return out;
    }

    // Runs the built lns-sim in this test's TELLUMIC_HOME; its exit status.
    int lnsSim(const std::string &args, std::string *output = nullptr)
    {
        auto run = runCommand(std::string(LNS_SIM_PATH) + " " + args + " 2>&1");
        if (output)
            *output = std::move(run.out);
        return run.status;
    }

    std::unique_ptr<CalibrationWindow> cal;
    int waits = 0;
    std::function<void()> onWait;
};

}  // namespace tellumic::test
