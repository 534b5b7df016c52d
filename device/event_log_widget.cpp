#include "device/event_log_widget.h"

#include <QSaveFile>
#include <QHeaderView>
#include <QStyle>
#include <QTextStream>

#include <system_error>

#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/file_io.h"
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

namespace {
// Per row: the message without its count, how often it came, and whether it repeats in rounds.
constexpr int kMessageRole = Qt::UserRole;
constexpr int kCountRole = Qt::UserRole + 1;
constexpr int kInRoundsRole = Qt::UserRole + 2;
}  // namespace

void EventLogWidget::addLine(const QString &kind, const std::string &text, Repeats repeats)
{
    const QString time = QString::fromStdString(FormatDateTimeVB(processClock().now()));
    const QString message = QString::fromStdString(text);
    m_lines << time + '\t' + kind + '\t' + message;

    // Only a monitoring error looks past the last row, and only for a row of its own sort:
    // any other line that moved would change the order of the user's own steps and what
    // came of them.
    const bool inRounds = repeats == Repeats::kInRounds;
    const int rows = topLevelItemCount();
    const int lookback = inRounds ? kRepeatLookback : 1;
    for (int i = rows - 1; i >= 0 && i >= rows - lookback; --i) {
        auto *row = topLevelItem(i);
        if (row->text(1) != kind || row->data(2, kMessageRole).toString() != message ||
            row->data(2, kInRoundsRole).toBool() != inRounds)
            continue;
        const int count = row->data(2, kCountRole).toInt() + 1;
        row->setData(2, kCountRole, count);
        row->setText(0, time);
        row->setText(2, message + QStringLiteral(" (\u00d7") + QString::number(count) + ')');
        row->setToolTip(2, row->text(2));
        if (i != rows - 1)
            addTopLevelItem(takeTopLevelItem(i));
        scrollToItem(row);
        return;
    }
    auto *item = new QTreeWidgetItem({time, kind, message});
    item->setData(2, kMessageRole, message);
    item->setData(2, kCountRole, 1);
    item->setData(2, kInRoundsRole, inRounds);
    item->setIcon(1, style()->standardIcon(kind == QLatin1String("Error") ? QStyle::SP_MessageBoxCritical
                                                                          : QStyle::SP_MessageBoxInformation));
    item->setToolTip(2, message);
    addTopLevelItem(item);
    scrollToItem(item);
}

void EventLogWidget::addError(const std::string &text)
{
    addLine(QStringLiteral("Error"), text, Repeats::kAdjacent);
}

void EventLogWidget::addMonitoringError(const std::string &text)
{
    addLine(QStringLiteral("Error"), text, Repeats::kInRounds);
}

void EventLogWidget::addInfo(const std::string &text)
{
    addLine(QStringLiteral("Info"), text, Repeats::kAdjacent);
}

void EventLogWidget::clearLog()
{
    clear();
    m_lines.clear();
}

bool EventLogWidget::writeTo(const QString &fileName)
{
    // Written beside the file and moved into place when whole: a save that fails leaves the
    // file as it was (or none), never a cut one. The flush is checked here because commit()
    // does not notice a buffer that could be written only in part.
    QSaveFile file(fileName);
    QByteArray bytes;
    for (const auto &line : lines())
        bytes += line.toUtf8() + "\r\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        MsgBox("Could not save the event log to " + fileName.toStdString() + ": " + file.errorString().toStdString(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, "Tellumic Plug-in");
        return false;
    }
    // As every replaced file: the new name is on disk before the save counts as done.
    if (const int err = syncFolderOf(fileName.toStdString())) {
        MsgBox("Could not save the event log to " + fileName.toStdString() + ": " +
                   std::error_code(err, std::generic_category()).message(),
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
