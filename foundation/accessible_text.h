#pragma once

#include <QAccessible>
#include <QString>

namespace tellumic {

// A read-only text interface over a text the widget shows: what a screen reader reads out
// of a label or a drop-down list through the accessibility bus (AT-SPI's Text interface).
// Subclasses tell the text; nothing can be selected or edited through it.
class AccessibleShownText : public QAccessibleTextInterface
{
public:
    virtual QString shownText() const = 0;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override { return static_cast<int>(shownText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;
};

}  // namespace tellumic
