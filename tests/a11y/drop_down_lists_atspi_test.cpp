// Drop-down lists as a screen reader meets them, over the accessibility bus: each is heard by
// its caption, with the entry it shows as its text, and the list's selected item is that
// entry, also after the list was left with Escape or a text was typed that it lacks.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QJsonArray>

#include "nvtype/change_type_dialog.h"
#include "tests/calibration/calibration_fixture.h"
#include "tests/nvtype/type_change_fixture.h"
#include "tests/support/atspi_probe.h"

namespace tellumic::test {
namespace {

const QString kComboBox = QStringLiteral("combo box");

class ChangeTypesOverAtspi : public TypeChangeTest
{
};

TEST_F(ChangeTypesOverAtspi, EveryListIsHeardWithTheTypeItShows)
{
    auto *dialog = openDialogFromMenu();
    ASSERT_TRUE(dialog);
    const auto lists = dialog->findChildren<QComboBox *>();
    ASSERT_EQ(lists.size(), 8);
    QJsonArray steps;
    QStringList names;
    for (QComboBox *list : lists) {
        names << QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name);
        steps.append(findStep(kComboBox, names.back(), 2));
    }
    const auto heard = atspiProbe(steps);
    ASSERT_EQ(heard.size(), lists.size());
    for (qsizetype i = 0; i < lists.size(); ++i) {
        const AtspiObject &h = heard[i];
        ASSERT_TRUE(h.found()) << h.error().toStdString();
        EXPECT_TRUE(h.name().endsWith(QStringLiteral(" SCPTnvType"))) << h.name().toStdString();
        ASSERT_FALSE(lists[i]->currentText().isEmpty());
        EXPECT_TRUE(h.hasText()) << names[i].toStdString() << ": the entry shown has no text over AT-SPI";
        EXPECT_EQ(h.text().toStdString(), lists[i]->currentText().toStdString()) << names[i].toStdString();
        EXPECT_EQ(h.selectedNames().join('|').toStdString(), lists[i]->currentText().toStdString()) << names[i].toStdString();
    }
}

class ModelListOverAtspi : public CalibrationTest
{
protected:
    void SetUp() override
    {
        CalibrationTest::SetUp();
        openCalibration("TMC-FT-Log-364");
        startCalibration();
        cal->show();
        QApplication::setActiveWindow(cal.get());
        combo()->setFocus(Qt::TabFocusReason);
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(QApplication::focusWidget(), k, m); }
    // The box as heard, and its text field's text.
    void expectHeardAsShown(const QStringList &selected)
    {
        const QString shown = combo()->lineEdit()->text();
        const AtspiObject model = atspiFind(kComboBox, QStringLiteral("Model"), 2);
        ASSERT_TRUE(model.found()) << model.error().toStdString();
        EXPECT_EQ(model.text().toStdString(), shown.toStdString());
        EXPECT_EQ(model.selectedNames().join('|').toStdString(), selected.join('|').toStdString()) << "shown: " << shown.toStdString();
        const auto parts = model.children();
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[1].text().toStdString(), shown.toStdString()) << "the text field";
    }
};

TEST_F(ModelListOverAtspi, TheListLeftWithEscapeSelectsTheModelShown)
{
    const QString shown = combo()->lineEdit()->text();
    ASSERT_FALSE(shown.isEmpty());
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(combo()->view()->isVisible());
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Escape);
    ASSERT_FALSE(combo()->view()->isVisible());
    ASSERT_EQ(combo()->lineEdit()->text(), shown);
    expectHeardAsShown({shown});
}

TEST_F(ModelListOverAtspi, ATypedModelTheListLacksSelectsNone)
{
    type("cboModel", QStringLiteral("TMC-9Q-123-FT10"));
    expectHeardAsShown({});
    // A typed beginning the box completes shows, and selects, the entry it completes to.
    type("cboModel", QStringLiteral("TMC-3D-400"));
    ASSERT_EQ(combo()->lineEdit()->text(), QStringLiteral("TMC-3D-400-FT10-L"));
    expectHeardAsShown({QStringLiteral("TMC-3D-400-FT10-L")});
}

}  // namespace
}  // namespace tellumic::test
