#include <gtest/gtest.h>

#include <cctype>

#include <QAbstractItemView>
#include <QApplication>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>

#include "calibration/calibration_open.h"
#include "sim/models/builtin_models.h"
#include "sim/models/meter.h"
#include "tests/calibration/calibration_fixture.h"
#include "tests/support/case_name.h"

namespace tellumic::test {
namespace {

using namespace std::chrono_literals;

struct MeterCase
{
    const char *meter;
    const char *identityBlock;  // where model, serial number and CT rating are
    bool modelsWithL;
    bool initLogging;
};

class CalibrationMeters : public CalibrationTest, public ::testing::WithParamInterface<MeterCase>
{
};

// Each supported meter: its model list, where its identity comes from, whether it offers
// "Initialize Logging", and that it holds every model name its list offers.
TEST_P(CalibrationMeters, OpenWithTheirModelListsAndIdentity)
{
    const auto &m = GetParam();
    openCalibration(m.meter);
    // The opening tick reads the identity from the block the meter keeps it in.
    auto blocks = plugIn().CurrentDevice->GetInterface()->FunctionalBlocks();
    blocks.Item(m.identityBlock)->Cps().Item("UCPTmodel")->SetValue("TMC-3D-480-FT10-L");
    blocks.Item(m.identityBlock)->Cps().Item("UCPTserialNumber")->SetValue("A-77");
    EXPECT_TRUE(boxes().empty()) << boxes().front();
    EXPECT_EQ(cal->windowTitle(), "Calibrate Tellumic");
    EXPECT_EQ(text("txtProgramId"), plugIn().CurrentDevice->ProgramId());
    EXPECT_EQ(text("txtNeuronId").size(), 17u);

    ASSERT_EQ(combo()->count(), 7);
    const std::string suffix = m.modelsWithL ? "-L" : "";
    EXPECT_EQ(combo()->itemText(0).toStdString(), "TMC-3Y-208-FT10" + suffix);
    EXPECT_EQ(combo()->itemText(6).toStdString(), "TMC-3D-480-FT10" + suffix);

    EXPECT_EQ(cal->timerInterval(), 200);
    tick();
    EXPECT_EQ(text("cboModel"), "TMC-3D-480-FT10-L");
    EXPECT_EQ(text("txtSerialNumber"), "A-77");
    EXPECT_EQ(text("txtCtAmps"), "100");
    EXPECT_EQ(text("txtNominalVac"), "120");
    EXPECT_EQ(text("txtTargetPower"), "12000");
    EXPECT_EQ(text("txtCalPowerA"), "10000");
    EXPECT_EQ(text("txtPhaseAdjC"), "1000");
    EXPECT_EQ(text("txtFactoryCmd"), "0");
    EXPECT_FALSE(text("txtFirmwareVer").empty());

    type("txtUnlockCode", "7461");
    EXPECT_TRUE(button("cmdStartCal")->isEnabled());
    EXPECT_EQ(button("cmdInitLogging")->isEnabled(), m.initLogging);

    auto model = blocks.Item(m.identityBlock)->Cps().Item("UCPTmodel");
    for (int i = 0; i < combo()->count(); ++i) {
        const auto name = combo()->itemText(i).toStdString();
        model->SetValue(name);
        EXPECT_EQ(model->Value(), name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Supported, CalibrationMeters,
    ::testing::Values(MeterCase{"TMC-FT-362", "TellumicConfig", true, false},
                      MeterCase{"TMC-FT-Plus-333", "NodeObject", false, false},
                      MeterCase{"TMC-FT-Log-364", "NodeObject", true, true},
                      MeterCase{"TMC-FT-Plus-PT-340", "NodeObject", false, false},
                      MeterCase{"TMC-FT-Log-PT-370", "NodeObject", true, true}),
    [](const auto &info) { return caseName(info.param.meter); });

// Screen readers and tools that drive the window from outside find every control by name.
TEST_F(CalibrationTest, EveryControlHasAnAccessibleName)
{
    openCalibration("TMC-FT-Log-364");
    int controls = 0;
    for (QWidget *w : cal->findChildren<QWidget *>()) {
        // The model box's text and its drop-down list go by the model box's name.
        if (!w->focusPolicy() || qobject_cast<QComboBox *>(w->parentWidget()) || w->window() != cal.get())
            continue;
        ++controls;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
            << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
    EXPECT_GE(controls, 50);
}

// A screen reader announces the model box by its caption, with the model it shows as its value.
TEST_F(CalibrationTest, TheModelBoxIsHeardByItsCaptionAndShownText)
{
    openCalibration("TMC-FT-Log-364");
    tick();
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(combo());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::ComboBox);
    EXPECT_EQ(a->text(QAccessible::Name).toStdString(), "Model");
    const std::string shown = combo()->lineEdit()->text().toStdString();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(a->text(QAccessible::Value).toStdString(), shown);
    combo()->setCurrentIndex(0);
    combo()->setEditText(QStringLiteral("TMC-3Y-400-FT10-L"));
    EXPECT_EQ(a->text(QAccessible::Value).toStdString(), "TMC-3Y-400-FT10-L") << "what is shown, not the current entry";
    EXPECT_TRUE(a->state().readOnly) << "locked until Start Calibration";
    ASSERT_NE(a->actionInterface(), nullptr);
    EXPECT_TRUE(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
}

// Measured readings, errors and constants are shown whole at the window's smallest size.
TEST_F(CalibrationTest, NumberBoxesShowTheirLongestTextsWhole)
{
    openCalibration("TMC-FT-Log-364");
    cal->show();
    cal->resize(cal->minimumSizeHint());
    QApplication::processEvents();
    const std::pair<const char *, const char *> longest[] = {
        {"txtVoltA", "121.686745"}, {"txtPowerB", "-123456.789012"}, {"txtErrPowerC", "-12345.67%"}, {"txtCalPowerA", "-2147483648"}};
    for (const auto &[name, value] : longest) {
        QLineEdit *b = edit(name);
        b->setText(QString::fromLatin1(value));
        QStyleOptionFrame option;
        option.initFrom(b);
        const QRect contents = b->style()->subElementRect(QStyle::SE_LineEditContents, &option, b);
        EXPECT_GE(contents.width() - 4, b->fontMetrics().horizontalAdvance(b->text())) << name << " " << value;
    }
}

TEST_F(CalibrationTest, AnUnsupportedMeterLeavesOnlyExit)
{
    openCalibration("TMB-FT-Plus-208");
    EXPECT_EQ(boxes(), std::vector<std::string>{
                           "Tellumic Calibration|Plug-in calibration not supported for this Tellumic model or firmware version"});
    EXPECT_FALSE(cal->timerActive());
    EXPECT_EQ(text("txtPassStatus"), "This meter cannot be calibrated: its model or firmware version is not supported");
    type("txtUnlockCode", "7461");
    for (const char *b : {"cmdStartCal", "cmdLockTm", "cmdRecomputeCal", "cmdSaveCal", "cmdFactoryReset", "cmdInitLogging"})
        EXPECT_FALSE(button(b)->isEnabled()) << b;
    EXPECT_TRUE(button("cmdExit")->isEnabled());
    EXPECT_TRUE(edit("txtCtAmps")->isReadOnly());
}

// Which settings may be edited and which buttons work, by the unlock code typed; the
// settings that name the meter wait for "Start Calibration" as well.
TEST_F(CalibrationTest, TheUnlockCodeOpensTheSettingsAndButtons)
{
    openCalibration("TMC-FT-Log-364");
    EXPECT_FALSE(button("cmdExit")->isEnabled()) << "busy reading the meter";
    tick();
    const QColor buttonFace = cal->palette().color(QPalette::Button);
    const QColor windowBackground = cal->palette().color(QPalette::Base);
    struct Row
    {
        const char *code;
        bool unlocked;
    };
    for (const auto &row : {Row{"", false}, Row{"746", false}, Row{"7461", true}, Row{"  7461 ", true}, Row{"74610", false}}) {
        SCOPED_TRACE(std::string("unlock code '") + row.code + "'");
        edit("txtUnlockCode")->setText(row.code);
        for (const char *f : {"txtSerialNumber", "txtNominalVac", "cboModel", "txtMinVac"}) {
            EXPECT_TRUE(edit(f)->isReadOnly()) << f << ": not before Start Calibration";
            EXPECT_EQ(edit(f)->palette().color(QPalette::Base), buttonFace) << f;
        }
        for (const char *f : {"txtCtAmps", "txtCreepLimit"}) {
            EXPECT_EQ(edit(f)->isReadOnly(), !row.unlocked) << f;
            EXPECT_EQ(edit(f)->palette().color(QPalette::Base), row.unlocked ? windowBackground : buttonFace) << f;
        }
        EXPECT_EQ(button("cmdStartCal")->isEnabled(), row.unlocked);
        EXPECT_EQ(button("cmdFactoryReset")->isEnabled(), row.unlocked);
        EXPECT_EQ(button("cmdInitLogging")->isEnabled(), row.unlocked);
        for (const char *b : {"cmdLockTm", "cmdRecomputeCal", "cmdSaveCal"})
            EXPECT_FALSE(button(b)->isEnabled()) << b;
        EXPECT_TRUE(button("cmdExit")->isEnabled());
    }
    EXPECT_FALSE(press("cmdStartCal")) << "a disabled button does nothing";
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");

    edit("txtUnlockCode")->setText(" 7461");
    ASSERT_TRUE(press("cmdStartCal"));
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "7461");
    EXPECT_EQ(text("txtFactoryCmd"), "7461");
    for (const char *f : {"txtSerialNumber", "txtNominalVac", "cboModel", "txtMinVac", "txtCtAmps", "txtCreepLimit"})
        EXPECT_FALSE(edit(f)->isReadOnly()) << f;
    for (const char *b : {"cmdLockTm", "cmdRecomputeCal", "cmdSaveCal"})
        EXPECT_TRUE(button(b)->isEnabled()) << b;
    for (const char *b : {"cmdStartCal", "cmdFactoryReset", "cmdInitLogging"})
        EXPECT_FALSE(button(b)->isEnabled()) << b;
}

struct DefaultsCase
{
    const char *meterModel;
    const char *nominal, *minimum;  // the boxes and the meter after "Start Calibration"
};

class StartCalibration : public CalibrationTest, public ::testing::WithParamInterface<DefaultsCase>
{
};

TEST_P(StartCalibration, SetsTheVoltageDefaultsOfTheModel)
{
    openCalibration("TMC-FT-Log-364");
    nodeCp("UCPTmodel")->SetValue(GetParam().meterModel);
    calCp("UCPTnominalVolt")->SetValue("127");
    startCalibration();
    EXPECT_EQ(text("txtNominalVac"), GetParam().nominal);
    EXPECT_EQ(text("txtMinVac"), GetParam().minimum);
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), GetParam().nominal);
    EXPECT_EQ(calCp("UCPTminVolt")->Value(), GetParam().minimum);
    EXPECT_FALSE(isRed("txtNominalVac"));
    EXPECT_TRUE(boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Models, StartCalibration,
                         ::testing::Values(DefaultsCase{"TMC-3D-400-FT10-L", "230", "46"},
                                           DefaultsCase{"TMC-3Y-600-FT10", "347", "69"},
                                           // Outside the table: no defaults, and no 0 V written.
                                           DefaultsCase{"TMC-9Q-123-FT10", "127", "24"}, DefaultsCase{"", "127", "24"}),
                         [](const auto &info) { return info.param.meterModel[0] ? caseName(info.param.meterModel) : std::string("None"); });

struct TypedModel
{
    const char *typed;
    bool fromList;
    const char *stored;  // the meter's model after Enter
    const char *nominal, *minimum;
};

class ModelBox : public CalibrationTest, public ::testing::WithParamInterface<TypedModel>
{
};

// A model and its voltages are stored together: a model chosen from the list at once, a typed
// one on Enter; until then the meter keeps the model and the voltages it had.
TEST_P(ModelBox, IsStoredTogetherWithItsVoltages)
{
    const auto &m = GetParam();
    openCalibration("TMC-FT-Log-364");
    startCalibration();
    const std::string model = nodeCp("UCPTmodel")->Value(), nominal = calCp("UCPTnominalVolt")->Value(),
                      minimum = calCp("UCPTminVolt")->Value();
    if (m.fromList) {
        const int i = combo()->findText(m.typed);
        ASSERT_GE(i, 0);
        combo()->setCurrentIndex(i);
        Q_EMIT combo()->activated(i);
    } else {
        type("cboModel", m.typed);
        EXPECT_TRUE(isRed("cboModel"));
        EXPECT_EQ(nodeCp("UCPTmodel")->Value(), model) << "typing stores nothing";
        EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), nominal);
        EXPECT_EQ(calCp("UCPTminVolt")->Value(), minimum);
        enter("cboModel");
    }
    EXPECT_EQ(text("txtNominalVac"), m.nominal);
    EXPECT_EQ(text("txtMinVac"), m.minimum);
    for (const char *field : {"cboModel", "txtNominalVac", "txtMinVac"})
        EXPECT_FALSE(isRed(field)) << field;
    EXPECT_EQ(nodeCp("UCPTmodel")->Value(), m.stored);
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), m.nominal);
    EXPECT_EQ(calCp("UCPTminVolt")->Value(), m.minimum);
    EXPECT_TRUE(boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Models, ModelBox,
                         ::testing::Values(TypedModel{"TMC-3D-400-FT10-L ", false, "TMC-3D-400-FT10-L", "230", "46"},
                                           TypedModel{"TMC-3Y-480-FT10-L", true, "TMC-3Y-480-FT10-L", "277", "55"},
                                           TypedModel{"TMC-9Q-123-FT10", false, "TMC-9Q-123-FT10", "120", "24"}),
                         [](const auto &info) { return caseName(info.param.typed) + (info.param.fromList ? "FromTheList" : "Typed"); });

// The model box as a person uses it: the box has the focus, keys go to whatever widget has it,
// the list opens through its accessible action and is left with Enter or Escape.
class ModelBoxByKeyboard : public CalibrationTest
{
protected:
    void SetUp() override
    {
        CalibrationTest::SetUp();
        openCalibration("TMC-FT-Log-364");
        startCalibration();
        nodeCp("UCPTmodel")->SetValue("TMC-3Y-208-FT10-L");
        calCp("UCPTnominalVolt")->SetValue("120");
        calCp("UCPTminVolt")->SetValue("24");
        cal->show();
        QApplication::setActiveWindow(cal.get());
        combo()->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), combo());
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(QApplication::focusWidget(), k, m); }
    void openList()
    {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(combo());
        ASSERT_TRUE(a && a->actionInterface());
        a->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
        ASSERT_TRUE(combo()->view()->isVisible());
        ASSERT_EQ(QApplication::focusWidget(), combo()->view());
    }
    void moveListTo(const QString &entry)
    {
        const int target = combo()->findText(entry);
        ASSERT_GE(target, 0);
        QAbstractItemView *view = combo()->view();
        for (int guard = 0; view->currentIndex().row() != target && guard < 10; ++guard)
            key(view->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    std::string model() { return nodeCp("UCPTmodel")->Value(); }
};

TEST_F(ModelBoxByKeyboard, TypedModelIsStoredOnEnterAndOnLeaving)
{
    for (const Qt::Key leaveBy : {Qt::Key_Return, Qt::Key_Tab}) {
        const std::string before = model();
        key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), leaveBy == Qt::Key_Return ? "TMC-3D-400-FT10-L" : "TMC-3Y-600-FT10-L");
        EXPECT_TRUE(isRed("cboModel"));
        EXPECT_EQ(model(), before) << "stored on Enter or leaving, not while typing";
        key(leaveBy);
        EXPECT_FALSE(isRed("cboModel"));
        EXPECT_EQ(model(), leaveBy == Qt::Key_Return ? "TMC-3D-400-FT10-L" : "TMC-3Y-600-FT10-L");
        EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), leaveBy == Qt::Key_Return ? "230" : "347");
        combo()->setFocus(Qt::TabFocusReason);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ModelBoxByKeyboard, ModelChosenFromTheListIsStoredWithItsVoltages)
{
    openList();
    moveListTo(QStringLiteral("TMC-3D-400-FT10-L"));
    key(Qt::Key_Return);
    EXPECT_EQ(text("cboModel"), "TMC-3D-400-FT10-L");
    EXPECT_FALSE(isRed("cboModel"));
    EXPECT_EQ(model(), "TMC-3D-400-FT10-L") << "the model goes with its voltages";
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), "230");
    EXPECT_EQ(calCp("UCPTminVolt")->Value(), "46");
    ASSERT_EQ(QApplication::focusWidget(), combo());
    key(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), combo());
    EXPECT_EQ(model(), "TMC-3D-400-FT10-L");
    EXPECT_TRUE(boxes().empty());
}

// Alt+Down opens the list, Enter takes the entry, Escape closes the window: the meter is
// locked holding the model chosen and that model's voltages.
TEST_F(ModelBoxByKeyboard, ChosenByKeysThenTheWindowClosedWithEscape)
{
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(combo()->view()->isVisible());
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    ASSERT_FALSE(combo()->view()->isVisible());
    EXPECT_EQ(text("cboModel"), "TMC-3Y-480-FT10-L");
    key(Qt::Key_Escape);
    EXPECT_FALSE(cal->isVisible());
    EXPECT_EQ(model(), "TMC-3Y-480-FT10-L");
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), "277");
    EXPECT_EQ(calCp("UCPTminVolt")->Value(), "55");
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0") << "locked on closing";
}

TEST_F(ModelBoxByKeyboard, ListLeftWithEscapeChangesNothing)
{
    const std::string shown = text("cboModel");
    openList();
    moveListTo(QStringLiteral("TMC-3D-400-FT10-L"));
    key(Qt::Key_Escape);
    EXPECT_FALSE(combo()->view()->isVisible());
    EXPECT_EQ(text("cboModel"), shown);
    EXPECT_FALSE(isRed("cboModel"));
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), "120");
    EXPECT_EQ(calCp("UCPTminVolt")->Value(), "24");
    EXPECT_EQ(model(), "TMC-3Y-208-FT10-L");
}

TEST_F(CalibrationTest, TargetPowerAndNumbersThatAreNot)
{
    openCalibration("TMC-FT-Log-364");
    startCalibration();
    type("txtCtAmps", "5");
    EXPECT_EQ(text("txtTargetPower"), "600") << "5 A at 120 V";
    EXPECT_EQ(calCp("UCPTctAmps", "NodeObject")->Value(), "100") << "not stored before Enter";
    enter("txtCtAmps");
    EXPECT_EQ(nodeCp("UCPTctAmps")->Value(), "5");

    type("txtCtAmps", "5x");
    EXPECT_EQ(text("txtTargetPower"), "");
    enter("txtCtAmps");
    EXPECT_EQ(boxes(), std::vector<std::string>{"Tellumic Calibration|CtAmps: \"5x\" is not a number."});
    EXPECT_TRUE(isRed("txtCtAmps"));
    EXPECT_EQ(nodeCp("UCPTctAmps")->Value(), "5");

    home.dialogs.clearShown();
    type("txtCtAmps", "60000");
    enter("txtCtAmps");
    type("txtNominalVac", "60000");
    enter("txtNominalVac");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "Tellumic Calibration|Target Power: CtAmps 60000 \u00D7 NominalVac 60000 = 3600000000 does not "
                          "fit in a 32-bit number.");
    EXPECT_EQ(text("txtTargetPower"), "");
    EXPECT_EQ(calCp("UCPTnominalVolt")->Value(), "60000") << "the setting itself is the meter's to take";

    home.dialogs.clearShown();
    type("txtNominalVac", "70000");
    enter("txtNominalVac");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].rfind("Tellumic Calibration|The meter did not take NominalVac \"70000\":", 0), 0u) << boxes()[0];
    EXPECT_TRUE(isRed("txtNominalVac"));
    EXPECT_TRUE(button("cmdExit")->isEnabled());

    // No rating and no nominal voltage leave nothing to calibrate against: refused as typed.
    home.dialogs.clearShown();
    for (const char *field : {"txtCtAmps", "txtNominalVac"}) {
        type(field, "0");
        enter(field);
        EXPECT_TRUE(isRed(field)) << field;
    }
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Tellumic Calibration|CtAmps: \"0\" must be more than 0 A.",
                                                 "Tellumic Calibration|NominalVac: \"0\" must be more than 0 V."}));
    EXPECT_EQ(nodeCp("UCPTctAmps")->Value(), "60000");
}

TEST_F(CalibrationTest, EnterAndLeavingStoreOnlyWhatChanged)
{
    openCalibration("TMC-FT-Log-364");
    tick();
    type("txtUnlockCode", "7461");
    sim::DeviceFaults refuse;
    refuse.refuseWrites = true;
    control().setFaults(control().device("TMC-FT-Log-364").id, refuse);

    enter("txtCreepLimit");
    EXPECT_TRUE(boxes().empty()) << "an unchanged field writes nothing";
    EXPECT_FALSE(isRed("txtCreepLimit"));

    type("txtCreepLimit", "11");
    EXPECT_TRUE(isRed("txtCreepLimit"));
    enter("txtCreepLimit");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].rfind("Tellumic Calibration|The meter did not take CreepLimit \"11\":", 0), 0u) << boxes()[0];
    EXPECT_TRUE(isRed("txtCreepLimit"));

    control().setFaults(control().device("TMC-FT-Log-364").id, sim::DeviceFaults{});
    leave("txtCreepLimit");
    EXPECT_FALSE(isRed("txtCreepLimit"));
    EXPECT_EQ(calCp("UCPTcreepLimit")->Value(), "11");
    EXPECT_EQ(boxes().size(), 1u);
}

struct CommandCase
{
    const char *button;
    std::int32_t sent;  // what the meter's factory command reads after the press
    bool started;       // pressed during a calibration
};

class FactoryCommands : public CalibrationTest, public ::testing::WithParamInterface<CommandCase>
{
};

// Every command but unlock settles for two seconds and then locks the meter.
TEST_P(FactoryCommands, LockTheMeterTwoSecondsLater)
{
    const auto &c = GetParam();
    openCalibration("TMC-FT-Log-364");
    nv("nciDemPerMins")->SetValue("30");
    tick();
    type("txtUnlockCode", "7461");
    if (c.started) {
        ASSERT_TRUE(press("cmdStartCal"));
    }
    ASSERT_TRUE(press(c.button));
    EXPECT_EQ(calCp("UCPTfactoryCommand")->ValueAsLong(), c.sent);
    EXPECT_EQ(cal->calState(), 2);
    EXPECT_EQ(cal->timerInterval(), 2000);
    EXPECT_FALSE(button("cmdExit")->isEnabled());
    tick();
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");
    EXPECT_EQ(text("txtFactoryCmd"), "0");
    EXPECT_FALSE(cal->calStarted());
    EXPECT_EQ(cal->calState(), 3);
    EXPECT_EQ(nv("nciDemPerMins")->Value(), c.sent == 52836 ? "15" : "30");
    EXPECT_TRUE(button("cmdStartCal")->isEnabled()) << "the next meter starts again";
    EXPECT_TRUE(boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, FactoryCommands,
                         ::testing::Values(CommandCase{"cmdFactoryReset", 52836, false},
                                           CommandCase{"cmdInitLogging", 6358, false},
                                           CommandCase{"cmdLockTm", 7461, true}),
                         [](const auto &info) { return std::string(info.param.button); });

TEST_F(CalibrationTest, ClosingLocksOnlyAnUnlockedMeter)
{
    for (const bool started : {false, true}) {
        SCOPED_TRACE(started ? "calibrating" : "not started");
        openCalibration("TMC-FT-Log-364");
        tick();
        if (started)
            startCalibration();
        // A write now would be refused and reported: closing on a locked meter must not try.
        sim::DeviceFaults refuse;
        refuse.refuseWrites = !started;
        control().setFaults(control().device("TMC-FT-Log-364").id, refuse);
        home.dialogs.clearShown();
        ASSERT_TRUE(press("cmdExit"));
        EXPECT_TRUE(boxes().empty());
        EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");
        control().setFaults(control().device("TMC-FT-Log-364").id, sim::DeviceFaults{});
        cal.reset();
        window->releaseDevice();
    }
}

// A meter model whose calibration block lacks the factory-command property.
class WithoutFactoryCommand : public CalibrationTest
{
protected:
    static constexpr const char *kProgramId = "80B7E515000A0407";
    void SetUp() override
    {
        const auto *meter = dynamic_cast<const sim::Meter *>(sim::findDeviceModel(kProgramId));
        ASSERT_NE(meter, nullptr);
        auto interfaceDef = meter->interfaceDef();
        for (auto &block : interfaceDef.blocks)
            std::erase_if(block.cps, [](const sim::CpDef &cp) { return cp.name == "UCPTfactoryCommand"; });
        sim::registerDeviceModel(kProgramId, std::make_shared<sim::Meter>(meter->layout(), interfaceDef));
        CalibrationTest::SetUp();
    }
    void TearDown() override
    {
        CalibrationTest::TearDown();
        sim::registerDeviceModel(kProgramId, sim::makeMeter363(false, false));
    }
};

TEST_F(WithoutFactoryCommand, EveryCommandSaysSoYetStartStillUnlocksTheWindow)
{
    openCalibration("TMC-FT-Plus-333");
    tick();
    type("txtUnlockCode", "7461");
    ASSERT_TRUE(press("cmdFactoryReset"));
    EXPECT_EQ(boxes(), std::vector<std::string>{"Factory Reset|Error accessing nciFactoryCommand configuration property"});
    tick();
    home.dialogs.clearShown();
    ASSERT_TRUE(press("cmdStartCal"));
    EXPECT_EQ(boxes(), std::vector<std::string>{"Factory Reset|Error accessing nciFactoryCommand configuration property"});
    EXPECT_TRUE(cal->calStarted());
    EXPECT_TRUE(button("cmdRecomputeCal")->isEnabled());
    EXPECT_FALSE(edit("txtSerialNumber")->isReadOnly());
}

// A factory command waits while a measuring pass holds the meter's properties, and goes
// ahead after 5.1 s at the latest.
TEST_F(CalibrationTest, FactoryCommandsWaitForThePropertiesToBeFree)
{
    openCalibration("TMC-FT-Log-364");
    tick();
    type("txtUnlockCode", "7461");
    for (const int releaseAfter : {3, 0}) {
        SCOPED_TRACE(releaseAfter ? "released after three waits" : "never released");
        waits = 0;
        cal->CpBusy() = true;
        onWait = [&] {
            EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0") << "nothing is written while waiting";
            if (waits == releaseAfter)
                cal->CpBusy() = false;
        };
        const auto before = home.clock.now();
        EXPECT_EQ(cal->SendFactoryCommand(7461), CalibrationWindow::CommandResult::Sent);
        EXPECT_EQ(waits, releaseAfter ? releaseAfter : 51);
        EXPECT_EQ(home.clock.now() - before, std::chrono::milliseconds(100 * waits));
        EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "7461");
        EXPECT_FALSE(cal->CpBusy());
        onWait = nullptr;
        calCp("UCPTfactoryCommand")->SetValue("0");
    }
}

// The hidden Calibrate entry opens the window modally with monitoring off, and puts
// monitoring back as it was.
TEST_F(CalibrationTest, TheCalibrateEntryOpensTheWindowWithMonitoringOff)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    window->stopTimer();
    for (const bool monitoring : {true, false}) {
        SCOPED_TRACE(monitoring ? "monitoring on" : "monitoring off");
        if (!monitoring)
            DisableMonitoring(*window);
        ASSERT_EQ(monitorState().MonitoringEnabled, monitoring);
        bool opened = false;
        window->setCalibrateHandler([&] {
            opened = true;
            QTimer::singleShot(0, [&] {
                auto *modal = qobject_cast<CalibrationWindow *>(QApplication::activeModalWidget());
                ASSERT_NE(modal, nullptr);
                EXPECT_FALSE(monitorState().MonitoringEnabled);
                EXPECT_EQ(modal->findChild<QLineEdit *>("txtProgramId")->text(), "80B7E515000A040A");
                modal->close();
            });
            openCalibrationWindow(*window);
        });
        window->calibrateAction()->trigger();
        EXPECT_TRUE(opened);
        EXPECT_EQ(monitorState().MonitoringEnabled, monitoring);
        EXPECT_EQ(window->enableMonitorAction()->isChecked(), monitoring);
    }

    // Not over a running operation of the device window (a log download, say).
    LnsBusy() = true;
    openCalibrationWindow(*window);
    LnsBusy() = false;
    EXPECT_EQ(boxes(), std::vector<std::string>{"Tellumic Calibration|The meter is busy with another operation. Choose "
                                                "Calibrate again when it has finished."});
}

}  // namespace
}  // namespace tellumic::test
