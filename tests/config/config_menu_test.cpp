// The device window's File menu entries, chosen through the menu bar's accessible objects.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <sstream>

#include "config/config_compare_dialog.h"
#include "config/config_file.h"
#include "config/config_menu.h"
#include "device/event_log_widget.h"
#include "tests/device/device_fixture.h"
#include "tests/support/accessible.h"

namespace tellumic::test {
namespace {

constexpr const char *kMeter = "TMC-FT-Log-364";

class ConfigMenuTest : public DeviceWindowTest
{
protected:
    void SetUp() override
    {
        DeviceWindowTest::SetUp();
        config::installConfigMenu(*window);
        config::installConfigMenu(*window);  // a second call adds nothing
        ASSERT_TRUE(open(kMeter));
        window->show();
        file = (home.root() / "meter.json").string();
    }
    bool logHas(const std::string &line) const
    {
        return window->eventLog().lines().join('\n').contains(QString::fromStdString(line));
    }
    std::string file;
};

TEST_F(ConfigMenuTest, SaveReadsTheMeterNotTheUnappliedBoxes)
{
    EXPECT_EQ(window->findChildren<QAction *>("mnuSaveConfig").size(), 1);
    auto *ctAmps = window->box({ControlArray::txtNvi, 1});
    ctAmps->setFocus();
    ctAmps->selectAll();
    QTest::keyClicks(ctAmps, "400");
    ASSERT_TRUE(window->editPending());

    home.dialogs.queueFileName(file);
    ASSERT_TRUE(chooseMenuItem(window->menuBar(), "File", "Save Configuration..."));
    const config::MeterConfig saved = config::loadConfig(file);
    EXPECT_EQ(saved.find("nciCtAmps")->raw, "100");
    EXPECT_EQ(saved.device, kMeter);
    EXPECT_EQ(saved.network, "");  // the fixture opens the network without naming it in the state
    EXPECT_TRUE(logHas("Unapplied edits are not in the saved configuration: it was read from the meter"));
    EXPECT_TRUE(logHas("Configuration saved to " + file));
}

TEST_F(ConfigMenuTest, CompareOpensTheDialogAndAppliedValuesReachTheEventLog)
{
    config::MeterConfig changed = config::captureConfig(*plugIn().CurrentDevice, "Demo", "now");
    for (auto &v : changed.values)
        if (v.name == "nciCtAmps")
            v.raw = v.text = "250";
    config::saveConfig(changed, file);

    home.dialogs.queueFileName(file);
    bool seen = false;
    // The dialog is modal: it is driven from inside its own event loop.
    QTimer::singleShot(0, window.get(), [&] {
        auto *dialog = qobject_cast<config::ConfigCompareDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        seen = true;
        ASSERT_EQ(dialog->checkBoxes().size(), 1u);
        EXPECT_EQ(dialog->checkBoxes()[0]->text(), "CT amps");
        QObject::connect(dialog->applySelected(), &QAbstractButton::clicked, dialog, &QDialog::accept,
                         Qt::QueuedConnection);
        EXPECT_TRUE(press(dialog->applySelected()));
    });
    ASSERT_TRUE(chooseMenuItem(window->menuBar(), "File", "Compare with Configuration..."));
    EXPECT_TRUE(seen);
    EXPECT_EQ(plugIn().CurrentDevice->GetInterface()->Nvs().Item("nciCtAmps")->Value(), "250");
    EXPECT_TRUE(logHas("nciCtAmps = 250"));
    EXPECT_TRUE(logHas("Configuration applied: 1 entries written"));
}

// Apply Selected is LNS work of the window: while other LNS work runs it waits in the
// action queue, writing nothing, and the next tick of the window's timer applies it.
TEST_F(ConfigMenuTest, ApplySelectedWaitsInTheActionQueueForItsTick)
{
    config::MeterConfig changed = config::captureConfig(*plugIn().CurrentDevice, "Demo", "now");
    for (auto &v : changed.values)
        if (v.name == "nciCtAmps")
            v.raw = v.text = "250";
    config::saveConfig(changed, file);
    auto ctAmps = [] { return plugIn().CurrentDevice->GetInterface()->Nvs().Item("nciCtAmps")->Value(); };

    home.dialogs.queueFileName(file);
    bool seen = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto *dialog = qobject_cast<config::ConfigCompareDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        seen = true;
        const auto close = qScopeGuard([dialog] { dialog->accept(); });  // however the checks end
        auto &queue = window->queue();
        {
            const LnsBusyScope tickRunning;
            QSignalSpy clicked(dialog->applySelected(), &QAbstractButton::clicked);
            ASSERT_TRUE(press(dialog->applySelected()));
            ASSERT_TRUE(clicked.count() > 0 || clicked.wait(5000));
            ASSERT_EQ(queue.LnsActionCount(), 1);
            EXPECT_TRUE(queue.LnsActionQueueSlots()[0].starts_with("MConfig.ApplyConfiguration,"))
                << queue.LnsActionQueueSlots()[0];
            EXPECT_EQ(ctAmps(), "100") << "written before its turn";
            EXPECT_FALSE(dialog->applySelected()->isEnabled()) << "a second apply of the same rows could be pressed";
        }
        window->Timer1_Timer();
        EXPECT_EQ(queue.LnsActionCount(), 0);
        EXPECT_EQ(ctAmps(), "250");
        EXPECT_TRUE(dialog->checkBoxes().empty()) << "the dialog shows the meter as it reads now";
    });
    ASSERT_TRUE(chooseMenuItem(window->menuBar(), "File", "Compare with Configuration..."));
    EXPECT_TRUE(seen);
    EXPECT_TRUE(logHas("nciCtAmps = 250"));
    EXPECT_TRUE(logHas("Configuration applied: 1 entries written"));
}

}  // namespace
}  // namespace tellumic::test
