#pragma once

// "Harvest Network Now": tellumic-log harvest for one network, run as a child process whose
// events (--events) are read as they come, so that the window shows each meter's progress
// and outcome while it keeps answering. Cancel stops the child as Ctrl-C stops it on a
// terminal: the running transfer is cancelled and every file stays whole.

#include <string>
#include <vector>

#include <QObject>
#include <QProcess>
#include <QString>

#include "log/harvest.h"

namespace tellumic::browser {

// One meter of a harvest as the window shows it.
struct HarvestMeterRow
{
    std::string name;
    std::int64_t expected = 0;  // records the meter should send; 0 until known
    std::int64_t records = 0;   // records moved so far, or received at the end
    double secondsLeft = 0;
    bool running = false;
    bool done = false;
    std::string outcome;  // "harvested", "failed", ... once done
    std::string error;
    std::vector<std::string> notes;
};

class HarvestRun : public QObject, private HarvestReport
{
    Q_OBJECT
public:
    // program: the tellumic-log to run (programPath("tellumic-log") in the product).
    HarvestRun(QString program, QString network, QObject *parent = nullptr);
    ~HarvestRun() override;

    void start();
    // Stops the harvest; ended follows once the child has finished its files.
    void cancel();
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    bool cancelRequested() const { return m_cancelled; }

    const QString &network() const { return m_network; }
    const std::vector<HarvestMeterRow> &meters() const { return m_meters; }
    // What the run came to, one sentence; "" while it runs.
    const QString &outcome() const { return m_outcome; }
    // The exit status of tellumic-log harvest (HarvestStatus, or 128 + signal); -1 when it
    // did not start or crashed.
    int exitStatus() const { return m_exitStatus; }

    // One line of the child's standard output, without its line end (tests feed lines).
    void takeLine(std::string_view line);

Q_SIGNALS:
    void changed();
    void ended();

private:
    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override;
    void started(const MeterProgress &progress) override;
    void progress(const MeterProgress &progress) override;
    void finished(const MeterResult &result) override;
    void networkMessage(const std::string &network, const std::string &text) override;

    HarvestMeterRow &row(const std::string &name);
    void readOutput();
    void processEnded(int exitCode, QProcess::ExitStatus status);
    QString outcomeText() const;

    QString m_program;
    QString m_network;
    QProcess m_process;
    std::string m_pending;
    std::vector<HarvestMeterRow> m_meters;
    std::vector<std::string> m_messages;
    std::string m_errors;  // what the child wrote on standard error
    bool m_cancelled = false;
    int m_exitStatus = -1;
    QString m_outcome;
};

}  // namespace tellumic::browser
