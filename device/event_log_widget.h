#pragma once

#include <QTreeWidget>

#include "foundation/event_log.h"

namespace tellumic {

// The device window's event log: time-stamped error and information lines that the user
// can clear, save, and save under another name.
class EventLogWidget : public QTreeWidget, public EventLog
{
    Q_OBJECT
public:
    explicit EventLogWidget(QWidget *parent = nullptr);

    void addError(const std::string &text) override;
    void addInfo(const std::string &text) override;
    void clearLog();
    // Saves to the file chosen before; asks for one the first time.
    bool saveLog();
    bool saveLogAs();

    // The lines as saved: "time<TAB>Error|Info<TAB>text".
    QStringList lines() const;
    QString fileName() const { return m_fileName; }

private:
    void addLine(const QString &kind, const std::string &text);
    bool writeTo(const QString &fileName);

    QString m_fileName;
};

}  // namespace tellumic
