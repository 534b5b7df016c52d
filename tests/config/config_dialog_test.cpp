// The comparison dialog as a user or a screen reader drives it: check boxes toggled and
// Apply Selected pressed through their accessible actions, the warning for a file of
// another model, and a refused write reported with the meter left as it was.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <cstdlib>

#include "config/config_compare_dialog.h"
#include "foundation/dialogs.h"
#include "tests/config/config_fixture.h"
#include "tests/support/accessible.h"

namespace tellumic::config::test {
namespace {

class ConfigDialogTest : public ConfigTest
{
protected:
    QCheckBox *check(ConfigCompareDialog &d, const std::string &entry)
    {
        for (auto *c : d.checkBoxes())
            if (c->objectName() == QString::fromStdString("chk_" + entry))
                return c;
        return nullptr;
    }
    // Presses a button as assistive tools do; a push button answers after its click
    // animation, so the test waits for the click itself.
    static bool pressAndWait(QPushButton *button)
    {
        QSignalSpy clicked(button, &QPushButton::clicked);
        return tellumic::test::press(button) && (clicked.count() > 0 || clicked.wait(5000));
    }
    ScriptedDialogs messages;
    DialogsScope scope{messages};
    std::vector<std::string> notes;
    std::function<void(const std::string &)> note = [this](const std::string &l) { notes.push_back(l); };
    // Without a device window the writes run at once, in the system's transaction.
    CompareDialogSite site() { return {note, system, {}}; }
};

TEST_F(ConfigDialogTest, ApplySelectedWritesOnlyTheCheckedRows)
{
    ConfigCompareDialog dialog(changedConfig(), meter, site());
    dialog.show();
    ASSERT_EQ(dialog.checkBoxes().size(), 4u);
    EXPECT_FALSE(dialog.warning()->isVisible());
    EXPECT_EQ(dialog.summary()->text().toStdString(),
              "Entries read: 13, differing: 4, equal: 9, not on this meter: 0, read-only: 0");
    for (const auto *name : {"SCPTnvType[nvoEnergySum]", "nciDemPerMins"}) {
        auto *c = check(dialog, name);
        ASSERT_TRUE(c) << name;
        ASSERT_TRUE(c->isChecked());
        ASSERT_TRUE(tellumic::test::toggle(c)) << name;
        EXPECT_FALSE(c->isChecked()) << name;
    }
    setFaults({});  // counts the meter's calls from here
    ASSERT_TRUE(pressAndWait(dialog.applySelected()));
    const std::int64_t id = sim::SimControl(lonWorks).device("TMC-FT-Log-364").id;
    // Nothing is read again before writing: two writes, their read-backs, then the
    // refreshed comparison (every entry and the firmware version).
    EXPECT_EQ(server->core().deviceCallsSinceFaults(id), 2u + 2u + 13u + 2u);

    EXPECT_EQ(notes, (std::vector<std::string>{"SCPTmaxSndT = 0 0:2:0:0", "nciCtAmps = 400",
                                               "Configuration applied: 2 entries written"}));
    const MeterConfig now = capture(*meter);
    EXPECT_EQ(now.find("nciCtAmps")->raw, "400");
    EXPECT_EQ(now.find("SCPTmaxSndT")->raw, "0 0:2:0:0");
    EXPECT_EQ(now.find("nciDemPerMins")->raw, "15");
    // The dialog shows what still differs: the two rows left unchecked.
    EXPECT_EQ(dialog.checkBoxes().size(), 2u);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ConfigDialogTest, FileOfAnotherModelIsWarnedAndItsExtraEntriesCannotBeChosen)
{
    MeterConfig file = capture(*device("TMC-FT-Log-PT-370"));
    set(file, "nciCtAmps", "300");
    ConfigCompareDialog dialog(file, meter, site());
    dialog.show();
    EXPECT_TRUE(dialog.warning()->isVisible());
    if (const char *folder = std::getenv("TELLUMIC_SCREENSHOTS"); folder && *folder)
        dialog.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/config_compare_dialog.png"));
    EXPECT_NE(dialog.warning()->text().indexOf("The file comes from another model (TMC-FT-Log-PT-370)."), -1)
        << dialog.warning()->text().toStdString();
    auto *ratio = check(dialog, "UCPTptRatio");
    ASSERT_TRUE(ratio);
    EXPECT_FALSE(ratio->isEnabled());
    EXPECT_EQ(ratio->text(), "PT ratio (not on this meter)");
    EXPECT_FALSE(tellumic::test::toggle(ratio) && ratio->isChecked());
    ASSERT_TRUE(pressAndWait(dialog.applySelected()));
    EXPECT_EQ(capture(*meter).find("nciCtAmps")->raw, "300");
}

TEST_F(ConfigDialogTest, RefusedWriteIsReportedAndTheMeterLeftAsItWas)
{
    const auto before = raws(*meter);
    ConfigCompareDialog dialog(changedConfig(), meter, site());
    dialog.show();
    sim::DeviceFaults refusing;
    refusing.refuseWrites = true;
    setFaults(refusing);
    ASSERT_TRUE(pressAndWait(dialog.applySelected()));
    setFaults({});
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_TRUE(messages.shown()[0].text.starts_with("The configuration was not applied: SCPTnvType[nvoEnergySum]: "))
        << messages.shown()[0].text;
    EXPECT_TRUE(messages.shown()[0].text.ends_with("\r\nThe meter was left as it was.")) << messages.shown()[0].text;
    EXPECT_EQ(raws(*meter), before);
}

}  // namespace
}  // namespace tellumic::config::test
