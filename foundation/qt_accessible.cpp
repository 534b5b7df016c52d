#include "foundation/qt_accessible.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>

#include "foundation/accessible_combo_box.h"
#include "foundation/accessible_label.h"

namespace tellumic {

namespace {

QAccessibleInterface *widgetFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    // Every class is asked for by its own name first: answering there puts these objects
    // before Qt's own for derived classes too.
    if (className != QString::fromLatin1(object->metaObject()->className()))
        return nullptr;
    if (auto *combo = qobject_cast<QComboBox *>(object))
        return new AccessibleComboBox(combo);
    // A label showing a picture stays Qt's (a graphic, with its image interface).
    if (auto *label = qobject_cast<QLabel *>(object); label && label->pixmap().isNull() && !label->movie())
        return new AccessibleLabel(label);
    return nullptr;
}

}  // namespace

void installAccessibleWidgets()
{
    static const bool installed = [] {
        QAccessible::installFactory(widgetFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace tellumic
