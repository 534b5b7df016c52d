#pragma once

// Reads a CSV log for the viewer on a worker thread, with progress, and follows the file:
// records a download appends while the viewer is open are read and shown; a file that is
// replaced or cut is read again. Reading a 1 GB file takes seconds; the window stays
// responsive meanwhile because only this object's tasks touch the file.

#include <atomic>
#include <memory>

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include "logview/log_csv_reader.h"
#include "logview/log_data.h"

namespace tellumic::logview {

struct LoadResult;  // what one read on the worker thread hands back

class LogLoader : public QObject
{
    Q_OBJECT
public:
    explicit LogLoader(QObject *parent = nullptr, std::size_t maxRecords = kMaxRecordsHeld);
    ~LogLoader() override;

    // Reads path from its start; a read still running is abandoned.
    void open(const QString &path);
    const QString &path() const { return m_path; }
    bool busy() const { return m_task.isRunning(); }
    std::shared_ptr<const LogData> data() const { return m_data; }

    // Looks at the file now and reads what was appended (or all again when it was
    // replaced). Also runs when the file system reports a change and every few seconds.
    void checkForChanges();
    // Blocks until the running read has ended and its result has been delivered.
    void waitForFinished();

Q_SIGNALS:
    void progress(int percent);
    // A read ended; appended is true when it added to the file shown before.
    void loaded(bool appended);
    // The file cannot be shown; data() keeps what was shown before.
    void failed(const QString &reason);

private:
    void start(bool fromStart);
    void finished();
    void deliver();

    std::size_t m_maxRecords;
    QString m_path;
    std::shared_ptr<LogCsvReader> m_reader;
    std::string m_tail;  // the last bytes read, to tell an appended file from a replaced one
    std::shared_ptr<const LogData> m_data;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFutureWatcher<std::shared_ptr<LoadResult>> m_task;
    QFileSystemWatcher m_watcher;
    QTimer m_poll, m_settle;
    bool m_changedWhileBusy = false;
    bool m_appending = false;
};

}  // namespace tellumic::logview
