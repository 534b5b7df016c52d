#pragma once

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QMenuBar>
#include <QTest>

#include "device/event_log_widget.h"
#include "nvtype/change_nv_type.h"
#include "nvtype/change_type_dialog.h"
#include "nvtype/type_change_wiring.h"
#include "tests/device/device_fixture.h"

namespace tellumic::test {

inline const std::string kInitialText(kInitialNvTypeText);

inline std::string pid0(const std::string &rest)
{
    return "PID 0:0:0:0:0:0:0:0, Scope 0, " + rest;
}

// The SCPTnvType of each group, by its first NV.
inline const std::vector<std::string> kGroupFirstNvs = {"nvoEnergySum", "nvoPowerSum", "nvoDemand",   "nvoReacPwrSum",
                                                        "nvoVoltsA",    "nvoFreq",     "nvoCurrentA", "nvoPfAvg"};

// A device window with the type change installed, as the plug-in's host wires it, showing
// a simulated 363 meter with logging.
class TypeChangeTest : public DeviceWindowTest
{
public:
    void SetUp() override
    {
        DeviceWindowTest::SetUp();
        installTypeChange(*window);
        ASSERT_TRUE(open("TMC-FT-Log-364"));
        home.dialogs.clearShown();
    }
    void TearDown() override
    {
        InitializingCombos() = false;
        DeviceWindowTest::TearDown();
    }

    std::shared_ptr<lns::Cp> typeCp(const std::string &firstNv) { return nv(firstNv)->Cps().Item("SCPTnvType"); }
    // Every group's SCPTnvType, by first NV.
    std::map<std::string, std::string> typeTexts()
    {
        std::map<std::string, std::string> texts;
        for (const auto &first : kGroupFirstNvs)
            texts[first] = typeCp(first)->Value();
        return texts;
    }
    QString status() const { return window->findChild<QLineEdit *>("txtStatus")->text(); }
    QStringList logLines() const { return window->eventLog().lines(); }
    // The event log's last line without its time: "Info<TAB>text".
    QString lastLogLine() const
    {
        const auto lines = logLines();
        return lines.isEmpty() ? QString() : lines.back().section('\t', 1);
    }

    // An accessible object below root with this role and name, depth first.
    static QAccessibleInterface *findAccessible(QAccessibleInterface *root, QAccessible::Role role, const QString &name)
    {
        if (!root)
            return nullptr;
        if (root->role() == role && root->text(QAccessible::Name) == name)
            return root;
        for (int i = 0; i < root->childCount(); ++i)
            if (auto *found = findAccessible(root->child(i), role, name))
                return found;
        return nullptr;
    }
    QAccessibleInterface *changeTypesMenuItem()
    {
        return findAccessible(QAccessible::queryAccessibleInterface(window->menuBar()), QAccessible::MenuItem,
                              "Change SNVT Types...");
    }
    // Opens the dialog from the menu, as a user or a screen reader does.
    ChangeTypeDialog *openDialogFromMenu()
    {
        auto *item = changeTypesMenuItem();
        if (!item)
            return nullptr;
        item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        return window->findChild<ChangeTypeDialog *>("fChangeType");
    }
    // The labels a screen reader announces a control with ("Energy", "SCPTnvType:").
    static QStringList accessibleLabels(QAccessibleInterface *control)
    {
        QStringList labels;
        for (const auto &[label, relation] : control->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
        return labels;
    }
    // The dialog's list that a screen reader announces with these labels.
    static QComboBox *accessibleList(QWidget *dialog, const QString &caption)
    {
        std::function<QAccessibleInterface *(QAccessibleInterface *)> find = [&](QAccessibleInterface *node) {
            if (!node)
                return static_cast<QAccessibleInterface *>(nullptr);
            if (node->role() == QAccessible::ComboBox &&
                accessibleLabels(node) == QStringList({caption, QStringLiteral("SCPTnvType:")}))
                return node;
            for (int i = 0; i < node->childCount(); ++i)
                if (auto *found = find(node->child(i)))
                    return found;
            return static_cast<QAccessibleInterface *>(nullptr);
        };
        auto *found = find(QAccessible::queryAccessibleInterface(dialog));
        return found ? qobject_cast<QComboBox *>(found->object()) : nullptr;
    }
    // Chooses an entry as a keyboard or screen-reader user does: opens the list through its
    // accessible action, moves to the entry and presses Enter.
    static void choose(QComboBox *list, const QString &entry)
    {
        const int target = list->findText(entry);
        ASSERT_GE(target, 0) << entry.toStdString();
        QAccessible::queryAccessibleInterface(list)->actionInterface()->doAction(
            QAccessibleActionInterface::showMenuAction());
        auto *view = list->view();
        for (int guard = 0; view->currentIndex().row() != target && guard < 10; ++guard)
            QTest::keyClick(view, view->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(view, Qt::Key_Return);
    }
};

}  // namespace tellumic::test
