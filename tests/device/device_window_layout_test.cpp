#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "device/about_box.h"
#include "device/device_window.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class DeviceWindowLayoutTest : public test::HomeTest
{
protected:
    DeviceWindow window;

    bool shown(const char *name) const
    {
        auto *w = window.findChild<QWidget *>(name);
        return w && !w->isHidden();
    }
};

TEST_F(DeviceWindowLayoutTest, ControlsCarryTheirNamesAndCaptions)
{
    for (const char *name : {"txtNvi_0", "txtNvi_4", "txtNvo_0", "txtNvo_29", "txtCp_0", "txtCp_13", "txtPtPrimary",
                             "lblPtPrimary", "lblPowerType_3", "lblReacPwrType_0", "lblDemandType_1", "txtNodeName",
                             "txtFirmwareVer", "txtStatus", "txtPcDateTime", "txtLastTmError", "lblDeviceTemplate",
                             "cmdApply", "cmdCancel", "cmdCheckStatus", "cmdClearTmError", "cmdResetEnergy",
                             "cmdResetPkDemand", "cmdTmToPcDateTime", "EchLog", "tabData"})
        EXPECT_TRUE(window.findChild<QWidget *>(name)) << name;
    QStringList captions;
    for (int i = 0; i < window.tabs().count(); ++i)
        captions << window.tabs().tabText(i);
    EXPECT_EQ(captions, (QStringList{"Info", "Power", "Energy", "Demand", "Multimeter", "Power Factor", "Logging"}));
    // Every value box has a caption that names it for a screen reader.
    for (auto *box : window.findChildren<QLineEdit *>()) {
        if (!box->objectName().startsWith("txtNv") && !box->objectName().startsWith("txtCp"))
            continue;
        auto *caption = window.findChild<QLabel *>("lblNv_" + box->objectName());
        ASSERT_TRUE(caption) << box->objectName().toStdString();
        EXPECT_EQ(caption->buddy(), box);
    }
    EXPECT_FALSE(window.calibrateAction()->isVisible());
}

TEST_F(DeviceWindowLayoutTest, FamilyLayoutsShowBoxesWithTheirCaptions)
{
    EXPECT_FALSE(window.tabs().isTabVisible(6));
    EXPECT_FALSE(shown("txtPtPrimary"));
    window.ShowControls_TMB();
    EXPECT_FALSE(window.tabs().isTabVisible(6));
    EXPECT_FALSE(shown("txtCp_10"));
    EXPECT_TRUE(shown("txtCp_8"));
    EXPECT_TRUE(shown("lblNv_txtCp_8"));
    EXPECT_FALSE(shown("txtCp_9"));
    EXPECT_FALSE(shown("lblNv_txtCp_9"));
    EXPECT_FALSE(shown("txtNvo_13"));
    EXPECT_FALSE(shown("lblNv_unit_txtNvo_13"));
    EXPECT_FALSE(shown("cmdResetEnergy"));
    EXPECT_TRUE(window.box({ControlArray::txtCp, 0})->isReadOnly());
    EXPECT_EQ(window.findChild<QLabel *>("lblNv_txtCp_7")->text(), "nciEngyUpdtT");

    window.ShowControls_362();
    EXPECT_TRUE(window.tabs().isTabVisible(6));
    EXPECT_TRUE(shown("txtCp_9"));
    EXPECT_TRUE(shown("txtCp_5"));
    EXPECT_FALSE(shown("txtCp_6"));
    EXPECT_TRUE(shown("cmdResetEnergy"));
    EXPECT_FALSE(window.box({ControlArray::txtCp, 0})->isReadOnly());

    window.ShowControls_Plus_Logger(false, false);
    EXPECT_TRUE(shown("txtCp_6"));
    EXPECT_FALSE(shown("txtCp_8"));
    EXPECT_FALSE(shown("txtCp_10"));
    EXPECT_FALSE(shown("txtPtPrimary"));
    EXPECT_FALSE(window.tabs().isTabVisible(6));
    window.ShowControls_Plus_Logger(true, true);
    EXPECT_TRUE(shown("txtCp_10"));
    EXPECT_TRUE(shown("txtPtPrimary"));
    EXPECT_TRUE(shown("lblPtPrimary"));
    EXPECT_TRUE(window.tabs().isTabVisible(6));
}

TEST(AboutBoxTest, ListsVersionMakerAndModels)
{
    const QStringList lines = AboutBox::aboutText().split('\n');
    EXPECT_EQ(lines[0], "Tellumic LNS Plug-in, Version: 1.11");
    EXPECT_TRUE(lines.contains("Works with Tellumic models:"));
    EXPECT_TRUE(lines.contains(QString(50, '-')));
    EXPECT_TRUE(AboutBox::aboutText().contains("TMC-FT-Log-PT-370"));
    EXPECT_TRUE(AboutBox::aboutText().contains("90B7E515000A040D"));
    EXPECT_EQ(lines.size(), 6 + 9);
}

}  // namespace
}  // namespace tellumic
