#pragma once

// A network browser window on a fresh TELLUMIC_HOME, and the ways a user and a screen
// reader reach its controls: keys to the tree, accessible actions, the menus' accessible
// objects.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDBusConnection>
#include <QMenuBar>
#include <QTest>
#include <QTreeView>

#include <memory>
#include <ostream>

#include "browser/network_browser_window.h"
#include "browser/network_tree_model.h"
#include "sim/installation.h"
#include "tests/support/accessible.h"
#include "tests/support/temp_home.h"

// Failures show texts as text.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace tellumic::test {

// How long a test waits for another process (the plug-in, the harvest) before it fails.
inline constexpr int kProcessWaitMs = 30'000;

class BrowserTest : public HomeTest
{
protected:
    void TearDown() override { window.reset(); }

    void makeDemo() { sim::createDemoInstallation(home.root()); }

    void openWindow(QDBusConnection bus = QDBusConnection(QStringLiteral("none")))
    {
        window = std::make_unique<browser::NetworkBrowserWindow>(bus);
        window->setHarvestProgram(QStringLiteral(TELLUMIC_LOG_EXE));
        window->show();
    }

    browser::NetworkTreeModel &model() { return window->model(); }

    // A cell of the tree by the row's object name (a device) and column.
    QString cell(const std::string &objectName, int column)
    {
        const QModelIndex row = model().indexOf(objectName);
        return row.isValid() ? row.siblingAtColumn(column).data().toString() : QStringLiteral("(no row)");
    }

    // The texts a screen reader hears for the tree row whose first cell reads name.
    QStringList accessibleRow(const QString &name)
    {
        QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(window->tree());
        const int columns = browser::NetworkTreeModel::kColumnCount;
        QStringList texts;
        for (int i = 0; tree && i < tree->childCount(); ++i) {
            QAccessibleInterface *c = tree->child(i);
            if (c && c->text(QAccessible::Name) == name && i + columns <= tree->childCount()) {
                for (int j = i; j < i + columns; ++j)
                    texts << tree->child(j)->text(QAccessible::Name);
                break;
            }
        }
        return texts;
    }

    // Selects a row as a keyboard user does: focus on the tree, Home, then Down to the row.
    bool selectByKeys(const QString &name)
    {
        QTreeView *tree = window->tree();
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Home);
        for (int i = 0; i < 100 && tree->currentIndex().data().toString() != name; ++i)
            QTest::keyClick(tree, Qt::Key_Down);
        return tree->currentIndex().data().toString() == name;
    }

    // Chooses menu > item (> entry) through the menus' accessible objects.
    bool choose(const QString &menu, const QString &item, const QString &entry = {})
    {
        if (entry.isEmpty())
            return chooseMenuItem(window->menuBar(), menu, item);
        QAccessibleInterface *m = accessibleChild(QAccessible::queryAccessibleInterface(window->menuBar()), menu);
        QAccessibleInterface *popup = m && m->childCount() > 0 ? m->child(0) : nullptr;
        QAccessibleInterface *sub = accessibleChild(popup, item);
        QAccessibleInterface *subPopup = sub && sub->childCount() > 0 ? sub->child(0) : nullptr;
        QAccessibleInterface *e = accessibleChild(subPopup, entry);
        if (!e || !e->actionInterface())
            return false;
        e->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        return true;
    }

    // True when menu > item is there and enabled, as the menu's accessible object says.
    bool menuItemEnabled(const QString &menu, const QString &item)
    {
        QAccessibleInterface *m = accessibleChild(QAccessible::queryAccessibleInterface(window->menuBar()), menu);
        QAccessibleInterface *popup = m && m->childCount() > 0 ? m->child(0) : nullptr;
        QAccessibleInterface *e = accessibleChild(popup, item);
        return e && !e->state().disabled;
    }

    std::unique_ptr<browser::NetworkBrowserWindow> window;
};

}  // namespace tellumic::test
