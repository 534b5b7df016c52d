#pragma once

#include <QTreeWidget>

#include "foundation/event_log.h"

namespace tellumic {

// The device window's event log: time-stamped error and information lines that the user
// can clear, save, and save under another name. A line that repeats the row just before it
// is counted on that row ("... (×12)") instead of filling the pane, and a monitoring error
// that comes back round after round is counted on its row however many rows came between;
// no other row ever moves, so the pane keeps the order of what the user did. The saved file
// keeps every line.
class EventLogWidget : public QTreeWidget, public EventLog
{
    Q_OBJECT
public:
    explicit EventLogWidget(QWidget *parent = nullptr);

    void addError(const std::string &text) override;
    void addInfo(const std::string &text) override;
    // An error that live monitoring raises for one NV each time it polls it: a meter that
    // fails every monitored NV in turn repeats these, one after another, round after round.
    // A repeat within kRepeatLookback rows is counted on its row, which moves to the end
    // with the newest time. These rows tell of the meter, not of a step of the user's.
    void addMonitoringError(const std::string &text);
    void clearLog();
    // Saves to the file chosen before; asks for one the first time.
    bool saveLog();
    bool saveLogAs();

    // The lines as saved, every one of them: "time<TAB>Error|Info<TAB>text".
    QStringList lines() const { return m_lines; }

    // How far back a repeated monitoring error is looked for: a tab monitors at most ten NVs,
    // so a meter that fails them all in turn repeats within this many rows.
    static constexpr int kRepeatLookback = 16;
    QString fileName() const { return m_fileName; }

private:
    enum class Repeats
    {
        kAdjacent,  // counted only on the row just before
        kInRounds,  // counted across the rows between, the row moving to the end
    };
    void addLine(const QString &kind, const std::string &text, Repeats repeats);
    bool writeTo(const QString &fileName);

    QString m_fileName;
    QStringList m_lines;
};

}  // namespace tellumic
