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
    const QString time = QString::fromStdString(FormatDateTimeVB(processClock().now()));
    const QString message = QString::fromStdString(text);
    m_lines << time + '\t' + kind + '\t' + message;

    // An error that repeats a recent one (a meter failing each monitored NV in turn) counts on
    // that row, which moves to the end with the new time. Information lines tell what the
    // user did and what came of it: one counts only on the row just before it, and never
    // moves, so that the order of the user's own changes stays as they made them.
    const int rows = topLevelItemCount();
    const int lookback = kind == QLatin1String("Error") ? kRepeatLookback : 1;
    for (int i = rows - 1; i >= 0 && i >= rows - lookback; --i) {
        auto *row = topLevelItem(i);
        if (row->text(1) != kind || row->data(2, Qt::UserRole).toString() != message)
            continue;
        const int count = row->data(2, Qt::UserRole + 1).toInt() + 1;
        row->setData(2, Qt::UserRole + 1, count);
        row->setText(0, time);
        row->setText(2, message + QStringLiteral(" (\u00d7") + QString::number(count) + ')');
        row->setToolTip(2, row->text(2));
        if (i != rows - 1)
            addTopLevelItem(takeTopLevelItem(i));
        scrollToItem(row);
        return;
    }
    auto *item = new QTreeWidgetItem({time, kind, message});
    item->setData(2, Qt::UserRole, message);
    item->setData(2, Qt::UserRole + 1, 1);
    item->setIcon(1, style()->standardIcon(kind == QLatin1String("Error") ? QStyle::SP_MessageBoxCritical
                                                                          : QStyle::SP_MessageBoxInformation));
    item->setToolTip(2, message);
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
    m_lines.clear();
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
