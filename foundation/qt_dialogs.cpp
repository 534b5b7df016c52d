#include "foundation/qt_dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tellumic {

namespace {

QMessageBox::StandardButton toStandard(MsgResult r)
{
    switch (r) {
    case MsgResult::Ok: return QMessageBox::Ok;
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::Abort: return QMessageBox::Abort;
    case MsgResult::Retry: return QMessageBox::Retry;
    case MsgResult::Ignore: return QMessageBox::Ignore;
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon toIcon(int style)
{
    switch (MsgStyle::icon(style)) {
    case MsgStyle::kCritical: return QMessageBox::Critical;
    case MsgStyle::kQuestion: return QMessageBox::Question;
    case MsgStyle::kExclamation: return QMessageBox::Warning;
    case MsgStyle::kInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

MsgResult QtDialogs::messageBox(std::string_view text, int style, std::string_view caption)
{
    AskingScope asking(*this);
    QMessageBox box(toIcon(style), QString::fromUtf8(caption.data(), static_cast<int>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<int>(text.size())), QMessageBox::NoButton,
                    m_parent.data());
    if (box.windowTitle().isEmpty())
        box.setWindowTitle(QApplication::applicationDisplayName());
    const auto buttons = buttonsOf(style);
    for (MsgResult b : buttons)
        box.addButton(toStandard(b));
    box.setDefaultButton(toStandard(defaultButtonOf(style)));
    // Escape answers Cancel where there is one, else the only button.
    if (std::find(buttons.begin(), buttons.end(), MsgResult::Cancel) != buttons.end())
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons.size() == 1)
        box.setEscapeButton(toStandard(buttons.front()));
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (MsgResult b : buttons)
        if (toStandard(b) == clicked)
            return b;
    return defaultButtonOf(style);
}

namespace {
QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

std::string QtDialogs::saveFileName(std::string_view caption, std::string_view startPath, std::string_view filter)
{
    AskingScope asking(*this);
    return QFileDialog::getSaveFileName(m_parent.data(), fromUtf8(caption), fromUtf8(startPath), fromUtf8(filter))
        .toStdString();
}

std::string QtDialogs::openFileName(std::string_view caption, std::string_view startPath, std::string_view filter)
{
    AskingScope asking(*this);
    return QFileDialog::getOpenFileName(m_parent.data(), fromUtf8(caption), fromUtf8(startPath), fromUtf8(filter))
        .toStdString();
}

}  // namespace tellumic
