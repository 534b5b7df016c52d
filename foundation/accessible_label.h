#pragma once

#include <QAccessibleWidget>

#include "foundation/accessible_text.h"

class QLabel;

namespace tellumic {

// A label as screen readers need it: a label given an accessible name ("Status", "Cursor
// readout") keeps that name and still gives what it says, as its value and as its text over
// AT-SPI; Qt's own object answers the name alone, and a tool tip or description is no place
// for the text itself. A label without a name is named by what it says, as usual.
class AccessibleLabel : public QAccessibleWidget, public AccessibleShownText
{
public:
    explicit AccessibleLabel(QLabel *label);

    QString text(QAccessible::Text t) const override;
    using AccessibleShownText::text;
    QString shownText() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;

private:
    QLabel *label() const;
};

}  // namespace tellumic
