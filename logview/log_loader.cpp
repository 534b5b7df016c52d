#include "logview/log_loader.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include <fcntl.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include "foundation/file_io.h"

namespace tellumic::logview {

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;
constexpr std::size_t kTailBytes = 64;
constexpr int kPollIntervalMs = 2000;
// A download writes its lines at once; a short pause lets a burst of change reports settle.
constexpr int kSettleMs = 200;

}  // namespace

struct LoadResult
{
    std::shared_ptr<LogCsvReader> reader;
    std::shared_ptr<const LogData> data;
    std::string tail;
    QString error;
    bool replaced = false;  // the file is not the one read before: read it from its start
    bool cancelled = false;
};

namespace {

// The bytes before end that tell whether the file read so far is still the one read before.
std::string readTail(const RegularFile &file, std::uint64_t end)
{
    const std::uint64_t from = end > kTailBytes ? end - kTailBytes : 0;
    const std::size_t count = static_cast<std::size_t>(end - from);
    std::string tail = file.readAt(from, count);
    return tail.size() == count ? tail : std::string();
}

// The task: feed the reader from where it stopped to the end of the file, then build the
// plot's data. Runs on a pool thread; touches nothing but its arguments.
void readTask(QPromise<std::shared_ptr<LoadResult>> &promise, std::string path,
              std::shared_ptr<LogCsvReader> reader, std::string tail, std::shared_ptr<std::atomic_bool> cancel)
{
    auto r = std::make_shared<LoadResult>();
    r->reader = reader;
    try {
        // Never a pipe or a device: opening or reading one could block this task for good,
        // and the window waits for it when it closes.
        const RegularFile file = openRegularFile(path, O_RDONLY, "log files", Links::kFollow);
        const std::uint64_t size = file.size();
        const std::uint64_t from = reader->bytesFed();
        if (size < from || (from > 0 && readTail(file, from) != tail)) {
            r->replaced = true;
            promise.addResult(r);
            return;
        }
        promise.setProgressRange(0, 100);
        std::uint64_t done = from;
        for (;;) {
            if (*cancel) {
                r->cancelled = true;
                promise.addResult(r);
                return;
            }
            const std::string chunk = file.readAt(done, kChunkBytes);
            if (chunk.empty())
                break;
            done += chunk.size();
            if (!reader->feed(chunk))
                break;
            if (size > 0)
                promise.setProgressValue(static_cast<int>(std::min<std::uint64_t>(100, done * 100 / size)));
        }
        if (reader->failed()) {
            r->error = QString::fromStdString(reader->error());
        } else if (!reader->formatKnown()) {
            r->error = done == 0 ? QStringLiteral("the file is empty")
                                 : QStringLiteral("it holds no complete header line");
        } else {
            r->tail = readTail(file, reader->bytesFed());
            r->data = std::make_shared<const LogData>(buildLogData(reader->raw(), reader->report()));
        }
    } catch (const RuntimeError &e) {
        r->error = QString::fromStdString(e.description());
    } catch (const std::bad_alloc &) {
        r->error = QStringLiteral("there is not enough memory to read it");
    } catch (const std::exception &e) {
        r->error = QString::fromLocal8Bit(e.what());
    }
    promise.addResult(r);
}

}  // namespace

LogLoader::LogLoader(QObject *parent, std::size_t maxRecords) : QObject(parent), m_maxRecords(maxRecords)
{
    connect(&m_task, &QFutureWatcher<std::shared_ptr<LoadResult>>::finished, this, &LogLoader::finished);
    connect(&m_task, &QFutureWatcher<std::shared_ptr<LoadResult>>::progressValueChanged, this, [this](int p) {
        if (!m_appending)
            Q_EMIT progress(p);
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_settle.start(); });
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &LogLoader::checkForChanges);
    m_poll.setInterval(kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &LogLoader::checkForChanges);
}

LogLoader::~LogLoader()
{
    if (m_cancel)
        *m_cancel = true;
    m_task.disconnect(this);
    m_task.waitForFinished();
}

void LogLoader::open(const QString &path)
{
    if (m_cancel)
        *m_cancel = true;
    m_task.waitForFinished();
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    m_path = path;
    m_data.reset();
    m_poll.stop();
    start(true);
}

void LogLoader::start(bool fromStart)
{
    if (fromStart) {
        m_reader = std::make_shared<LogCsvReader>(m_maxRecords);
        m_tail.clear();
    }
    m_appending = !fromStart;
    m_changedWhileBusy = false;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_task.setFuture(QtConcurrent::run(readTask, m_path.toStdString(), m_reader, m_tail, m_cancel));
}

void LogLoader::finished()
{
    try {
        deliver();
    } catch (const std::exception &e) {
        Q_EMIT failed(QString::fromLocal8Bit(e.what()));
    }
}

void LogLoader::deliver()
{
    const QFuture<std::shared_ptr<LoadResult>> future = m_task.future();
    if (future.resultCount() == 0)
        return;
    const std::shared_ptr<LoadResult> r = future.result();
    if (r->cancelled)
        return;
    if (r->replaced) {
        start(true);
        return;
    }
    if (!r->error.isEmpty()) {
        // A file that is not a log is not followed; opening it again reads it again.
        m_poll.stop();
        if (!m_watcher.files().isEmpty())
            m_watcher.removePaths(m_watcher.files());
        Q_EMIT failed(r->error);
        return;
    }
    // Replaced files drop out of the watcher; watch the path again.
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    m_poll.start();
    const bool appended = m_appending && m_data != nullptr;
    m_data = r->data;
    m_tail = r->tail;
    Q_EMIT loaded(appended);
    if (m_changedWhileBusy)
        checkForChanges();
}

void LogLoader::checkForChanges()
{
    if (m_path.isEmpty() || !m_reader || m_reader->failed())
        return;
    if (busy()) {
        m_changedWhileBusy = true;
        return;
    }
    const QFileInfo info(m_path);
    if (!info.exists())
        return;
    if (static_cast<std::uint64_t>(info.size()) == m_reader->bytesFed() && !m_reader->failed())
        return;
    if (m_reader->full() && static_cast<std::uint64_t>(info.size()) >= m_reader->bytesFed())
        return;
    start(static_cast<std::uint64_t>(info.size()) < m_reader->bytesFed());
}

void LogLoader::waitForFinished()
{
    // The watcher reports the end through the event loop; a replaced file starts another read.
    do {
        m_task.waitForFinished();
        QCoreApplication::sendPostedEvents(&m_task);
    } while (busy());
}

}  // namespace tellumic::logview
