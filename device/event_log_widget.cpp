#include "device/event_log_widget.h"

#include <QFile>
#include <QHeaderView>
#include <QStyle>
#include <QTextStream>

#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "model/date_time.h"

namespace tellumic {

EventLogWidget::EventLogWidget(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName("EchLog");
    setAccessibleName(QStringLiteral("Event log"));
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Type"), QStringLiteral("Message")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void EventLogWidget::addLine(const QString &kind, const std::string &text)
{
    auto *item = new QTreeWidgetItem(
        {QString::fromStdString(FormatDateTimeVB(processClock().now())), kind, QString::fromStdString(text)});
    item->setIcon(1, style()->standardIcon(kind == QLatin1String("Error") ? QStyle::SP_MessageBoxCritical
                                                                          : QStyle::SP_MessageBoxInformation));
    item->setToolTip(2, item->text(2));
    addTopLevelItem(item);
    scrollToItem(item);
}

void EventLogWidget::addError(const std::string &text)
{
    addLine(QStringLiteral("Error"), text);
}

void EventLogWidget::addInfo(const std::string &text)
{
    addLine(QStringLiteral("Info"), text);
}

void EventLogWidget::clearLog()
{
    clear();
}

QStringList EventLogWidget::lines() const
{
    QStringList out;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const auto *item = topLevelItem(i);
        out << item->text(0) + '\t' + item->text(1) + '\t' + item->text(2);
    }
    return out;
}

bool EventLogWidget::writeTo(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        MsgBox("Could not save the event log to " + fileName.toStdString() + ": " + file.errorString().toStdString(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, "Tellumic Plug-in");
        return false;
    }
    QByteArray bytes;
    for (const auto &line : lines())
        bytes += line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        MsgBox("Could not save the event log to " + fileName.toStdString() + ": " + file.errorString().toStdString(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, "Tellumic Plug-in");
        return false;
    }
    return true;
}

bool EventLogWidget::saveLog()
{
    if (m_fileName.isEmpty())
        return saveLogAs();
    return writeTo(m_fileName);
}

bool EventLogWidget::saveLogAs()
{
    const std::string start = (programFolder() / "EventLog.txt").string();
    const std::string chosen = dialogs().saveFileName("Save Log As", start, "Text files (*.txt);;All files (*)");
    if (chosen.empty())
        return false;
    m_fileName = QString::fromStdString(chosen);
    return writeTo(m_fileName);
}

}  // namespace tellumic
