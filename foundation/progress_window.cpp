#include "foundation/progress_window.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {
constexpr int kPollIntervalMs = 1000;
std::function<void()> g_expired;
QPointer<ProgressWindow> g_window;
}  // namespace

ProgressWindow::ProgressWindow(QWidget *parent) : QDialog(parent)
{
    DebugLog("fProgress.Form_Load()");
    setObjectName("fProgress");
    setModal(false);
    setWindowTitle(QStringLiteral("Tellumic LNS Plug-In V") + QString::fromLatin1(kPlugInVersion));
    m_status = new QLabel(QStringLiteral("Initializating plug-in . . ."), this);
    m_status->setObjectName("Status");
    m_status->setWordWrap(true);
    m_status->setMinimumWidth(360);
    m_status->setMinimumHeight(48);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    connect(&m_poll, &QTimer::timeout, this, &ProgressWindow::checkWatchdog);
    ResetTimer();
}

ProgressWindow::~ProgressWindow()
{
    DebugLog("fProgress.Form_Unload()");
    QApplication::restoreOverrideCursor();
    m_poll.stop();
}

void ProgressWindow::DisplayStatus(const QString &text)
{
    DebugLog("fProgress.DisplayStatus(" + text.toStdString() + ")");
    if (!isVisible())
        show();
    ResetTimer();
    m_status->setText(text);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressWindow::ResetTimer()
{
    DebugLog("fProgress.ResetTimer()");
    m_watchdog.reset(processClock().now());
    m_poll.start(kPollIntervalMs);
}

QString ProgressWindow::statusText() const
{
    return m_status->text();
}

void ProgressWindow::setExpiredHandler(std::function<void()> handler)
{
    g_expired = std::move(handler);
}

void ProgressWindow::checkWatchdog()
{
    if (!m_watchdog.expired(processClock().now(), dialogs().isAsking()))
        return;
    DebugLog("fProgress.tmrProgress_Timer()");
    m_poll.stop();
    if (g_expired)
        g_expired();
}

ProgressWindow &ProgressWindow::instance()
{
    if (!g_window)
        g_window = new ProgressWindow();
    return *g_window;
}

bool ProgressWindow::isLoaded()
{
    return !g_window.isNull();
}

void ProgressWindow::closeProgress()
{
    delete g_window.data();
}

void DisplayStatus(const std::string &text)
{
    ProgressWindow::instance().DisplayStatus(QString::fromStdString(text));
}

}  // namespace tellumic
