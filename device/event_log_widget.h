#pragma once

#include <QTreeWidget>

#include "foundation/event_log.h"

namespace tellumic {

// The device window's event log: time-stamped error and information lines that the user
// can clear, save, and save under another name. An error that repeats a recent one, and an
// information line that repeats the one just before it, is counted on that row ("... (×12)")
// instead of filling the pane; the saved file keeps every line.
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

    // The lines as saved, every one of them: "time<TAB>Error|Info<TAB>text".
    QStringList lines() const { return m_lines; }

    // How far back a repeated error is looked for: a tab monitors at most ten NVs, so a
    // meter that fails them all in turn repeats within this many rows.
    static constexpr int kRepeatLookback = 16;
    QString fileName() const { return m_fileName; }

private:
    void addLine(const QString &kind, const std::string &text);
    bool writeTo(const QString &fileName);

    QString m_fileName;
    QStringList m_lines;
};

}  // namespace tellumic
