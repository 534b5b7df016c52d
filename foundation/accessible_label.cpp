#include "foundation/accessible_label.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTextDocument>

namespace tellumic {

AccessibleLabel::AccessibleLabel(QLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

QLabel *AccessibleLabel::label() const
{
    return static_cast<QLabel *>(widget());
}

// What the label says, as plain text: rich text without its markup, mnemonics without '&'.
QString AccessibleLabel::shownText() const
{
    const QString raw = label()->text();
    const bool rich = label()->textFormat() == Qt::RichText ||
                      (label()->textFormat() == Qt::AutoText && Qt::mightBeRichText(raw));
    if (rich) {
        QTextDocument document;
        document.setHtml(raw);
        return document.toPlainText();
    }
    return label()->buddy() ? QString(raw).remove(QRegularExpression(QStringLiteral("&(?!&)"))) : raw;
}

QString AccessibleLabel::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        const QString name = label()->accessibleName();
        return name.isEmpty() ? shownText() : name;
    }
    case QAccessible::Value: return label()->accessibleName().isEmpty() ? QString() : shownText();
    default: return QAccessibleWidget::text(t);
    }
}

void *AccessibleLabel::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// A form label names the control it is the buddy of, as Qt's own object says.
QList<QPair<QAccessibleInterface *, QAccessible::Relation>> AccessibleLabel::relations(QAccessible::Relation match) const
{
    auto rels = QAccessibleWidget::relations(match);
    if ((match & QAccessible::Labelled) && label()->buddy())
        if (QAccessibleInterface *buddy = QAccessible::queryAccessibleInterface(label()->buddy()))
            rels.append({buddy, QAccessible::Labelled});
    return rels;
}

}  // namespace tellumic
