#pragma once

#include <QAccessibleWidget>

#include "foundation/accessible_text.h"

class QComboBox;

namespace tellumic {

// A drop-down list as screen readers need it: its caption (the accessible name, or the label
// it is the buddy of) as its name, and the entry it shows as its value and as its text, so
// that AT-SPI clients, which take no value text, hear it too. While the list is closed the
// list's selected item is the entry shown (none when the box shows a text the list lacks), so
// a client asking the list hears the same entry as the box: the list's keyboard cursor may
// have moved without choosing (Escape) and a typed text may match no entry.
class AccessibleComboBox : public QAccessibleWidget, public AccessibleShownText
{
public:
    explicit AccessibleComboBox(QComboBox *combo);

    QString text(QAccessible::Text t) const override;
    using AccessibleShownText::text;
    QString shownText() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *c) const override;

    QStringList actionNames() const override;
    void doAction(const QString &action) override;

    // Keeps the list's selection on the entry shown whenever the list is closed.
    static void keepSelectionOnShownEntry(QComboBox *combo);

private:
    QComboBox *combo() const;
};

}  // namespace tellumic
