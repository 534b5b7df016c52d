#include "foundation/qt_accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace tellumic {

namespace {

class AccessibleComboBox : public QAccessibleWidget
{
public:
    explicit AccessibleComboBox(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name: {
            // The accessible name, else the caption of the label it is the buddy of, without
            // the colon a form label ends with.
            QString name = QAccessibleWidget::text(QAccessible::Name).trimmed();
            if (name.endsWith(QLatin1Char(':')))
                name.chop(1);
            return name.isEmpty() ? shown() : name;
        }
        case QAccessible::Value: return shown();
        default: return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = combo()->view() && combo()->view()->isVisible();
        s.editable = combo()->isEditable() && !combo()->lineEdit()->isReadOnly();
        s.readOnly = combo()->isEditable() && combo()->lineEdit()->isReadOnly();
        return s;
    }

    // The list (the popup's view) first, then the text field of an editable box, as Qt's
    // own object lays them out.
    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0 && combo()->view())
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->isEditable())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *c) const override
    {
        if (!c)
            return -1;
        if (c->object() == combo()->view())
            return 0;
        if (combo()->isEditable() && c->object() == combo()->lineEdit())
            return 1;
        return -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{QAccessibleActionInterface::showMenuAction(), QAccessibleActionInterface::pressAction()} +
               QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == QAccessibleActionInterface::showMenuAction() || action == QAccessibleActionInterface::pressAction()) {
            if (combo()->view() && combo()->view()->isVisible())
                combo()->hidePopup();
            else
                combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(widget()); }
    QString shown() const { return combo()->isEditable() ? combo()->lineEdit()->text() : combo()->currentText(); }
};

QAccessibleInterface *comboBoxFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    // Every class derived from QComboBox asks by its own name first.
    auto *combo = qobject_cast<QComboBox *>(object);
    if (!combo || className != QString::fromLatin1(object->metaObject()->className()))
        return nullptr;
    return new AccessibleComboBox(combo);
}

}  // namespace

void installAccessibleComboBoxes()
{
    static const bool installed = [] {
        QAccessible::installFactory(comboBoxFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace tellumic
