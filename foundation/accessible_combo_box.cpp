#include "foundation/accessible_combo_box.h"

#include <QAbstractItemView>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QEvent>
#include <QItemSelectionModel>
#include <QLineEdit>

namespace tellumic {

namespace {

void selectShownEntry(QComboBox *combo)
{
    QAbstractItemView *view = combo->view();
    if (!view || !view->selectionModel() || view->isVisible())
        return;
    const QString shown = combo->isEditable() && combo->lineEdit() ? combo->lineEdit()->text() : combo->currentText();
    const int row = shown.isEmpty() ? -1 : combo->findText(shown, Qt::MatchExactly);
    QItemSelectionModel *selection = view->selectionModel();
    const QModelIndex index = row < 0 ? QModelIndex() : combo->model()->index(row, combo->modelColumn(), combo->rootModelIndex());
    if (index.isValid() ? selection->isSelected(index) && selection->selectedIndexes().size() == 1
                        : !selection->hasSelection())
        return;
    // The selection only: the list's current entry is what Enter in the open list chooses.
    if (index.isValid())
        selection->select(index, QItemSelectionModel::ClearAndSelect);
    else
        selection->clearSelection();
}

// Watches the list's view: when it closes the selection goes back to the entry shown.
class ShownEntryKeeper : public QObject
{
public:
    explicit ShownEntryKeeper(QComboBox *combo) : QObject(combo), m_combo(combo)
    {
        setObjectName(QStringLiteral("shownEntryKeeper"));
        connect(combo, &QComboBox::currentIndexChanged, this, &ShownEntryKeeper::update);
        connect(combo, &QComboBox::editTextChanged, this, &ShownEntryKeeper::update);
        if (combo->view()) {
            combo->view()->installEventFilter(this);
            // The box's completion of a typed text moves the list's selection too.
            if (combo->view()->selectionModel())
                connect(combo->view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                        &ShownEntryKeeper::update);
        }
        selectShownEntry(combo);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && watched == m_combo->view())
            update();
        return QObject::eventFilter(watched, event);
    }

private:
    // Once the change at hand is handled: Enter chooses the list's entry as the list closes,
    // and the completion of a typed text moves the list after the text changed.
    void update()
    {
        QMetaObject::invokeMethod(this, [this] { selectShownEntry(m_combo); }, Qt::QueuedConnection);
    }

    QComboBox *m_combo;
};

}  // namespace

AccessibleComboBox::AccessibleComboBox(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox)
{
    keepSelectionOnShownEntry(combo);
}

void AccessibleComboBox::keepSelectionOnShownEntry(QComboBox *combo)
{
    if (!combo->findChild<QObject *>(QStringLiteral("shownEntryKeeper"), Qt::FindDirectChildrenOnly))
        new ShownEntryKeeper(combo);
}

QComboBox *AccessibleComboBox::combo() const
{
    return static_cast<QComboBox *>(widget());
}

QString AccessibleComboBox::shownText() const
{
    return combo()->isEditable() && combo()->lineEdit() ? combo()->lineEdit()->text() : combo()->currentText();
}

QString AccessibleComboBox::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        // The accessible name, else the caption of the label it is the buddy of, without
        // the colon a form label ends with.
        QString name = QAccessibleWidget::text(QAccessible::Name).trimmed();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        return name.isEmpty() ? shownText() : name;
    }
    case QAccessible::Value: return shownText();
    default: return QAccessibleWidget::text(t);
    }
}

QAccessible::State AccessibleComboBox::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = combo()->view() && combo()->view()->isVisible();
    s.editable = combo()->isEditable() && !combo()->lineEdit()->isReadOnly();
    s.readOnly = combo()->isEditable() && combo()->lineEdit()->isReadOnly();
    return s;
}

void *AccessibleComboBox::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// The list (the popup's view) first, then the text field of an editable box, as Qt's own
// object lays them out.
int AccessibleComboBox::childCount() const
{
    return combo()->isEditable() ? 2 : 1;
}

QAccessibleInterface *AccessibleComboBox::child(int index) const
{
    if (index == 0 && combo()->view())
        return QAccessible::queryAccessibleInterface(combo()->view());
    if (index == 1 && combo()->isEditable())
        return QAccessible::queryAccessibleInterface(combo()->lineEdit());
    return nullptr;
}

int AccessibleComboBox::indexOfChild(const QAccessibleInterface *c) const
{
    if (!c)
        return -1;
    if (c->object() == combo()->view())
        return 0;
    if (combo()->isEditable() && c->object() == combo()->lineEdit())
        return 1;
    return -1;
}

QStringList AccessibleComboBox::actionNames() const
{
    return QStringList{QAccessibleActionInterface::showMenuAction(), QAccessibleActionInterface::pressAction()} +
           QAccessibleWidget::actionNames();
}

void AccessibleComboBox::doAction(const QString &action)
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

}  // namespace tellumic
