// The device window after a type change: the same quantities in the new types' units and
// resolution, on the monitored tabs, on the Energy tab and after a re-browse.

#include <gtest/gtest.h>

#include <cstdlib>

#include <QLabel>
#include <QScreen>

#include "foundation/text.h"
#include "tests/nvtype/type_change_fixture.h"

namespace tellumic::test {
namespace {

using A = ControlArray;
using namespace std::chrono_literals;

class WindowAfterChangeTest : public TypeChangeTest
{
protected:
    double shown(A array, int index) const
    {
        QString text = this->text(array, index);
        text.remove(',');
        return toDouble(text.toStdString());
    }
    QString unit(A array, int index) const { return window->unitLabel({array, index})->text(); }
    // Lets the monitored NVs report what the meter sends now.
    void monitorUpdates()
    {
        home.clock.advance(2s);
        simServer->DispatchEvents();
    }
    // The plug-in browses the meter again in a new process: a new object-server session,
    // whose NVs start in the formats of the types the meter sends.
    void browseAgainAfterRestart()
    {
        window->releaseDevice();
        attachSession();
        ASSERT_TRUE(open("TMC-FT-Log-364"));
    }
    // What `lns-sim show` prints for the meter.
    static std::string lnsSimShow()
    {
        return runCommand(LNS_SIM_PATH " show TMC-FT-Log-364 2>&1").out;
    }
    // Saves the screen when TELLUMIC_SCREENSHOTS names a folder (runs under a display).
    static void screenshot(QWidget *w, const char *name)
    {
        if (const char *dir = std::getenv("TELLUMIC_SCREENSHOTS"); dir && w->screen()) {
            w->raise();
            QApplication::processEvents();
            w->screen()->grabWindow(0).save(QString::fromUtf8(dir) + "/" + name + ".png");
        }
    }
};

// The walk-through: the dialog from the menu, energy and real power to integer
// types and back, the values staying the same quantities throughout.
TEST_F(WindowAfterChangeTest, DialogChangesKeepTheWindowsQuantitiesAndTheDefaultsRestoreTheFloatTypes)
{
    window->show();
    tick();  // the first idle tick on the Energy tab reads the energies
    const double kwh = shown(A::txtNvo, 12);
    const double kwhA = shown(A::txtNvo, 17);
    ASSERT_GT(kwh, 0);

    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    dialog->move(window->geometry().topLeft() + QPoint(80, 80));
    screenshot(dialog, "change-type-dialog");
    auto *energy = accessibleList(dialog, "Energy");
    auto *power = accessibleList(dialog, "Real power");

    // Through the float type and back to SNVT_elec_kwh_l: the energies read the same.
    choose(energy, "SNVT_elec_whr_f (default)");
    tick(10);
    EXPECT_NEAR(shown(A::txtNvo, 12), kwh, 1.0) << "whole kWh above 100000";
    EXPECT_NEAR(shown(A::txtNvo, 17), kwhA, 0.11) << "tenths of a kWh, from a float";
    choose(energy, "SNVT_elec_kwh_l (Integer)");
    tick(10);
    EXPECT_NEAR(shown(A::txtNvo, 12), kwh, 1e-6);
    EXPECT_EQ(nv("nvoEnergySum")->FormatSpec(), "RAW");

    selectTab("Power");
    tick();
    const double watts = shown(A::txtNvo, 1);
    const double wattsB = shown(A::txtNvo, 3);
    EXPECT_EQ(unit(A::lblPowerType, 0), "W");
    choose(power, "SNVT_power_kilo (Integer)");
    EXPECT_TRUE(nv("nvoPowerSum")->IsMonitorOn()) << "the change leaves monitoring running";
    monitorUpdates();
    EXPECT_NEAR(shown(A::txtNvo, 1), watts / 1000, 0.1);
    EXPECT_NEAR(shown(A::txtNvo, 3), wattsB / 1000, 0.1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(unit(A::lblPowerType, i), "kW") << i;
    EXPECT_EQ(unit(A::lblReacPwrType, 0), "VAR");
    screenshot(window.get(), "device-window-kilowatts");

    const auto show = lnsSimShow();
    EXPECT_NE(show.find("N:nvoPowerSum/C:0:254 SCPTnvType = " +
                        pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0") + "\n"),
              std::string::npos)
        << show;
    EXPECT_NE(show.find("N:nvoEnergySum/C:0:254 SCPTnvType = " +
                        pid0("Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0") + "\n"),
              std::string::npos)
        << show;

    choose(power, "SNVT_power_f (default)");
    choose(energy, "SNVT_elec_whr_f (default)");
    monitorUpdates();
    EXPECT_NEAR(shown(A::txtNvo, 1), watts, 50.0);
    EXPECT_EQ(unit(A::lblPowerType, 0), "W");
    for (const char *name : {"nvoPowerSum", "nvoPowerC"})
        EXPECT_EQ(nv(name)->FormatSpec(), "SNVT_power_f#SI");
    for (const char *name : {"nvoEnergySum", "nvoReacEngySum"})
        EXPECT_EQ(nv(name)->FormatSpec(), "SNVT_elec_whr_f");
    EXPECT_EQ(typeCp("nvoPowerSum")->Value(), kInitialText);
    EXPECT_EQ(typeCp("nvoEnergySum")->Value(), kInitialText);
}

struct Rebrowse
{
    std::string name;
    std::vector<std::string> actions;
    std::string powerFormat;  // nvoPowerSum's format after the start-up
    QString powerUnit;
    QString reactiveUnit;
    double powerAtMost;  // what the Power tab's total shows at most, in the unit shown
};

void PrintTo(const Rebrowse &r, std::ostream *os)
{
    *os << r.name;
}

class RebrowseTest : public WindowAfterChangeTest, public ::testing::WithParamInterface<Rebrowse>
{
};

TEST_P(RebrowseTest, StartUpFixesTheFormatsAndShowsTheUnitsOfTheTypesSent)
{
    const auto &row = GetParam();
    for (const auto &action : row.actions)
        window->queue().ExecuteLnsAction(action);
    browseAgainAfterRestart();
    // Fixed at start-up, while the Energy tab is shown.
    EXPECT_EQ(nv("nvoPowerSum")->FormatSpec(), row.powerFormat);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(unit(A::lblPowerType, i), row.powerUnit) << i;
        EXPECT_EQ(unit(A::lblReacPwrType, i), row.reactiveUnit) << i;
    }
    selectTab("Power");
    tick();
    EXPECT_GT(shown(A::txtNvo, 1), 0);
    EXPECT_LE(shown(A::txtNvo, 1), row.powerAtMost);
    EXPECT_EQ(unit(A::lblPowerType, 0), row.powerUnit);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RebrowseTest,
    ::testing::Values(Rebrowse{"PowerKilo", {"ChangePowerType,2"}, "SNVT_power_kilo", "kW", "VAR", 100},
                      // SNVT_power stops at its limit, 6553.5 W.
                      Rebrowse{"PowerWatts", {"ChangePowerType,1"}, "SNVT_power#SI", "W", "VAR", 6553.5},
                      Rebrowse{"PowerKiloAndBack", {"ChangePowerType,2", "ChangePowerType,0"}, "SNVT_power_f#SI", "W",
                               "VAR", 1e6},
                      Rebrowse{"ReactiveKilo", {"ChangeReacPwrType,2"}, "SNVT_power_f#SI", "W", "kVAR", 1e6}),
    [](const auto &info) { return info.param.name; });

}  // namespace
}  // namespace tellumic::test
