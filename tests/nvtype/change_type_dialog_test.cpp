// The change-type dialog against the simulated meters: reached from the device window's
// menu, filled from the groups' SCPTnvType, handing the chosen change to the queue.

#include <gtest/gtest.h>

#include <QLabel>

#include "tests/nvtype/type_change_fixture.h"

namespace tellumic::test {
namespace {

const QStringList kListNames = {"Energy",  "Real power", "Demand",  "Reactive power",
                                "Voltage", "Frequency",  "Current", "Power factor"};

std::vector<int> selections(ChangeTypeDialog *dialog)
{
    std::vector<int> indexes;
    for (const auto &name : kListNames)
        indexes.push_back(TypeChangeTest::accessibleList(dialog, name)->currentIndex());
    return indexes;
}

TEST_F(TypeChangeTest, OpensFromTheMenuWithItsEightListsShowingTheMetersTypes)
{
    ASSERT_TRUE(changeTypesMenuItem());
    EXPECT_FALSE(changeTypesMenuItem()->state().disabled);
    const auto texts = typeTexts();
    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Tellumic - Change SNVT Types");
    for (const auto &name : kListNames)
        ASSERT_TRUE(accessibleList(dialog, name)) << name.toStdString();
    int captions = 0;
    for (auto *label : dialog->findChildren<QLabel *>())
        captions += label->text() == "SCPTnvType:" && qobject_cast<QComboBox *>(label->buddy()) ? 1 : 0;
    EXPECT_EQ(captions, 8);
    auto *energy = dialog->list("cboEnergyNvType");
    EXPECT_EQ(energy, accessibleList(dialog, "Energy"));
    EXPECT_EQ(energy->count(), 4);
    EXPECT_EQ(energy->itemText(3), "UNVT_elec_kwh_l (Integer)");
    EXPECT_EQ(dialog->list("cboPowerFactNvType")->itemText(1), "SNVT_pwr_fact (Integer)");
    // Heard by its caption, with the type it shows as its value.
    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(energy);
    EXPECT_EQ(heard->text(QAccessible::Name).toStdString(), "Energy SCPTnvType");
    EXPECT_EQ(heard->text(QAccessible::Value), energy->currentText());

    // The 363 sends its energies as SNVT_elec_kwh_l; every other group is in its default.
    EXPECT_EQ(selections(dialog), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(status(), "Reading Configuration Property: SCPTnvType...");
    // The selections of the filling hand in nothing, not even to the queue.
    EXPECT_EQ(window->queue().LnsActionCount(), 0);
    EXPECT_EQ(typeTexts(), texts);
    EXPECT_FALSE(InitializingCombos());

    EXPECT_EQ(openDialogFromMenu(), dialog) << "the open dialog comes to the front";
}

struct Reported
{
    std::string name;
    std::string group;  // the first NV, whose SCPTnvType the meter reports
    std::string text;
    int list;           // the list's position in the dialog
    int selected;       // -1: none
};

void PrintTo(const Reported &r, std::ostream *os)
{
    *os << r.group << ": " << r.text;
}

class ReportedType : public TypeChangeTest, public ::testing::WithParamInterface<Reported>
{
};

TEST_P(ReportedType, SelectsItsEntryAndTheOtherListsStillFill)
{
    const auto &row = GetParam();
    typeCp(row.group)->SetValue(row.text);  // as the meter reports it
    ASSERT_EQ(typeCp(row.group)->Value(), row.text);
    auto *dialog = ChangeTypeDialog::open(*window);
    const auto indexes = selections(dialog);
    for (int i = 0; i < 8; ++i) {
        if (i == row.list)
            EXPECT_EQ(indexes[i], row.selected);
        else
            EXPECT_GE(indexes[i], 0) << kListNames[i].toStdString();
    }
    EXPECT_TRUE(home.dialogs.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReportedType,
    ::testing::Values(
        Reported{"EnergyInitial", "nvoEnergySum", kInitialText, 0, 0},
        Reported{"EnergyIndex68", "nvoEnergySum", pid0("Index 68, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"), 0, 0},
        Reported{"EnergyMakersOwn", "nvoEnergySum",
                 "PID 80:B7:E5:0:0:0:0:0, Scope 3, Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0", 0, 3},
        // The meter takes the program ID in small letters; the dialog knows the text only as it stands.
        Reported{"EnergyOtherSpelling", "nvoEnergySum",
                 "PID 80:b7:e5:0:0:0:0:0, Scope 3, Index 2, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0", 0, -1},
        Reported{"PowerIndex57", "nvoPowerSum", pid0("Index 57, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"), 1, 0},
        Reported{"PowerKilo", "nvoPowerSum", pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 1, 2},
        Reported{"DemandWatts", "nvoDemand", pid0("Index 27, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 2, 1},
        Reported{"ReactiveInitial", "nvoReacPwrSum", kInitialText, 3, 0},
        Reported{"VoltAc", "nvoVoltsA", pid0("Index 138, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0"), 4, 2},
        Reported{"VoltInitial", "nvoVoltsA", kInitialText, 4, 0},
        Reported{"FrequencyHz", "nvoFreq", pid0("Index 76, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 5, 1},
        Reported{"CurrentFloat", "nvoCurrentA", pid0("Index 48, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"), 6, 0},
        Reported{"CurrentAmp", "nvoCurrentA", pid0("Index 1, NVT_CAT_SIGNED_LONG, 2 bytes, A=1, B=-1, C=0"), 6, 1},
        Reported{"PowerFactorIndex99", "nvoPfAvg", pid0("Index 99, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"), 7, 0},
        Reported{"PowerFactorInteger", "nvoPfAvg", pid0("Index 98, NVT_CAT_SIGNED_LONG, 2 bytes, A=5, B=-5, C=0"), 7, 1}),
    [](const auto &info) { return info.param.name; });

TEST_F(TypeChangeTest, ChoosingAnEntryHandsInTheListsActionWithItsIndex)
{
    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    LnsBusy() = true;  // another action runs: the choice waits in the queue
    choose(accessibleList(dialog, "Demand"), "SNVT_power_kilo (Integer)");
    ASSERT_EQ(window->queue().LnsActionCount(), 1);
    EXPECT_EQ(window->queue().LnsActionQueueSlots()[0], "ChangeDemandType,2");
    LnsBusy() = false;
    tick();
    EXPECT_EQ(typeCp("nvoDemand")->Value(), pid0("Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"));
    EXPECT_EQ(lastLogLine(), "Info\tChanged demand power types to SNVT_power_kilo");

    choose(accessibleList(dialog, "Current"), "SNVT_amp_ac (Integer)");  // nothing runs: at once
    EXPECT_EQ(window->queue().LnsActionCount(), 0);
    EXPECT_EQ(typeCp("nvoCurrentA")->Value(), pid0("Index 139, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0"));
}

TEST_F(TypeChangeTest, AFillingErrorIsReportedAndKeepsTheListsReadSoFar)
{
    // The third meter transaction from now, reading the demand group's type, fails.
    sim::DeviceFaults faults;
    faults.commFailAtCall = 3;
    control().setFaults(control().device("TMC-FT-Log-364").id, faults);
    auto *dialog = ChangeTypeDialog::open(*window);
    EXPECT_EQ(selections(dialog), (std::vector<int>{1, 0, -1, -1, -1, -1, -1, -1}));
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    const auto &box = home.dialogs.shown()[0];
    EXPECT_TRUE(box.text.starts_with("InitTypeComboboxes err=" + std::to_string(lns::LcaError::kCommunicationFailure) + ","))
        << box.text;
    EXPECT_EQ(box.style, MsgStyle::kOkOnly);
    EXPECT_EQ(box.caption, "");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(InitializingCombos());
    EXPECT_FALSE(LnsBusy());
}

TEST_F(TypeChangeTest, OpenedDuringAnActionTheListsWaitForItToEnd)
{
    LnsBusy() = true;  // a log download lets the user reach the menu meanwhile
    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(selections(dialog), std::vector<int>(8, -1));
    EXPECT_FALSE(dialog->list("cboVoltsNvType")->isEnabled());
    EXPECT_TRUE(status().isEmpty()) << "nothing read from the meter";
    dialog->fillWhenFree();  // the next tick, still busy
    EXPECT_EQ(selections(dialog), std::vector<int>(8, -1));
    LnsBusy() = false;
    dialog->fillWhenFree();
    EXPECT_EQ(selections(dialog), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(dialog->list("cboVoltsNvType")->isEnabled());
    EXPECT_EQ(window->queue().LnsActionCount(), 0);
}

TEST_F(TypeChangeTest, ADialogLeftOpenForAnotherMeterChangesNothing)
{
    auto *dialog = ChangeTypeDialog::open(*window);
    QPointer<ChangeTypeDialog> watch(dialog);
    window->releaseDevice();
    ASSERT_TRUE(open("TMC-FT-362"));
    const auto texts = typeTexts();
    choose(dialog->list("cboPowerNvType"), "SNVT_power_kilo (Integer)");
    EXPECT_EQ(typeTexts(), texts);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull() || !watch->isVisible());
}

// The event log of the window: the user's choices keep the order made, while the meter
// failing its monitored NVs round after round between them still adds one counted row per NV.
TEST_F(TypeChangeTest, TheEventLogKeepsTheUsersChoicesInTheirOrder)
{
    using namespace std::chrono_literals;
    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    auto *frequency = accessibleList(dialog, "Frequency");
    ASSERT_TRUE(frequency);
    selectTab("Power");
    tick();
    window->eventLog().clearLog();
    const auto meter = control().device("TMC-FT-Log-364").id;
    const QStringList entries = {"SNVT_freq_hz (Integer)", "SNVT_freq_f (default)", "SNVT_freq_hz (Integer)"};
    for (const QString &entry : entries) {
        control().setCondition(meter, sim::DeviceCondition::ConfiguredOnline);
        choose(frequency, entry);
        control().setCondition(meter, sim::DeviceCondition::Unconfigured);
        for (int round = 0; round < 2; ++round) {
            home.clock.advance(2s);
            simServer->DispatchEvents();
        }
    }

    QStringList choices, failures;
    const EventLogWidget &log = window->eventLog();
    for (int i = 0; i < log.topLevelItemCount(); ++i) {
        const QString row = log.topLevelItem(i)->text(1) + ' ' + log.topLevelItem(i)->text(2);
        (row.startsWith("Info Changed") ? choices : failures) << row;
    }
    EXPECT_EQ(choices, (QStringList{"Info Changed frequency type to SNVT_freq_hz",
                                    "Info Changed frequency type to SNVT_freq_f",
                                    "Info Changed frequency type to SNVT_freq_hz"}))
        << choices.join(" | ").toStdString();
    ASSERT_FALSE(failures.isEmpty());
    EXPECT_LE(failures.size(), 10) << failures.join('\n').toStdString();
    for (const QString &row : failures)
        EXPECT_TRUE(row.startsWith("Error Nv update error: nvo") && row.endsWith(QString::fromUtf8(" (×6)")))
            << row.toStdString();
    EXPECT_EQ(window->eventLog().lines().size(), 3 + 6 * failures.size()) << "the saved lines keep every one";
}

struct Meter
{
    std::string name;
    bool offered;
};

void PrintTo(const Meter &m, std::ostream *os)
{
    *os << m.name;
}

class MenuEntry : public TypeChangeTest, public ::testing::WithParamInterface<Meter>
{
};

TEST_P(MenuEntry, IsOfferedForTheMetersWithLetterNamedGroups)
{
    window->releaseDevice();
    EXPECT_TRUE(changeTypesMenuItem()->state().disabled);
    ASSERT_TRUE(open(GetParam().name));
    EXPECT_EQ(!changeTypesMenuItem()->state().disabled, GetParam().offered);
    changeTypesMenuItem()->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(window->findChild<ChangeTypeDialog *>("fChangeType") != nullptr, GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(Families, MenuEntry,
                         ::testing::Values(Meter{"TMC-FT-362", true}, Meter{"TMC-FT-Plus-PT-340", true},
                                           Meter{"TMB-FT-Plus-208", false}, Meter{"TMB-FT-Int-211", false}),
                         [](const auto &info) {
                             std::string n = info.param.name;
                             std::erase(n, '-');
                             return n;
                         });

}  // namespace
}  // namespace tellumic::test
