#pragma once

#include <QPointer>
#include <QWidget>

#include "foundation/dialogs.h"

namespace tellumic {

// The product's dialogs service: modal Qt message boxes over the given parent window.
class QtDialogs final : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    MsgResult messageBox(std::string_view text, int style, std::string_view caption) override;
    std::string saveFileName(std::string_view caption, std::string_view startPath, std::string_view filter) override;
    std::string openFileName(std::string_view caption, std::string_view startPath, std::string_view filter) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tellumic
