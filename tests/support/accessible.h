#pragma once

// Drives widgets the way screen readers and other assistive tools do: through the
// QAccessible action interface, found by accessible name or text.

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QMenuBar>
#include <QString>
#include <QWidget>

namespace tellumic::test {

// Runs an action ("Press", "Toggle", ...) of a widget's accessible object.
inline bool doAccessibleAction(QObject *object, const QString &action)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface || !iface->actionInterface() || !iface->actionInterface()->actionNames().contains(action))
        return false;
    iface->actionInterface()->doAction(action);
    return true;
}

inline bool press(QWidget *w)
{
    return doAccessibleAction(w, QAccessibleActionInterface::pressAction());
}

inline bool toggle(QWidget *w)
{
    return doAccessibleAction(w, QAccessibleActionInterface::toggleAction());
}

// The accessible child of parent whose name is name (accelerator marks ignored).
inline QAccessibleInterface *accessibleChild(QAccessibleInterface *parent, const QString &name)
{
    if (!parent)
        return nullptr;
    for (int i = 0; i < parent->childCount(); ++i) {
        QAccessibleInterface *c = parent->child(i);
        if (c && c->text(QAccessible::Name).remove('&') == QString(name).remove('&'))
            return c;
    }
    return nullptr;
}

// Chooses menu > item of a window's menu bar through the menus' accessible objects.
inline bool chooseMenuItem(QMenuBar *bar, const QString &menu, const QString &item)
{
    QAccessibleInterface *m = accessibleChild(QAccessible::queryAccessibleInterface(bar), menu);
    if (!m)
        return false;
    // A menu bar item's child is its menu; the menu's children are its items.
    QAccessibleInterface *popup = m->childCount() > 0 ? m->child(0) : nullptr;
    QAccessibleInterface *entry = accessibleChild(popup, item);
    if (!entry || !entry->actionInterface())
        return false;
    entry->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return true;
}

}  // namespace tellumic::test
