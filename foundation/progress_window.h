#pragma once

#include <functional>

#include <QDialog>
#include <QTimer>

#include "foundation/clock.h"

class QLabel;

namespace tellumic {

// Counts down a minute from the last reset; time spent while the user is being asked a
// question does not count, so a pending question never ends the plug-in.
class Watchdog
{
public:
    static constexpr std::chrono::seconds kTimeout{60};

    void reset(Clock::TimePoint now) { m_start = now; }
    // True when a minute has passed since the last reset. While asking, the count restarts.
    bool expired(Clock::TimePoint now, bool asking)
    {
        if (asking) {
            m_start = now;
            return false;
        }
        return now - m_start >= kTimeout;
    }

private:
    Clock::TimePoint m_start{};
};

// The small modeless window that shows the steps of long LNS work, with the watchdog
// that ends a plug-in stalled for a minute without a new status text.
class ProgressWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget *parent = nullptr);
    ~ProgressWindow() override;

    void DisplayStatus(const QString &text);
    void ResetTimer();
    QString statusText() const;

    // Called when the watchdog expires (EndPlugIn).
    static void setExpiredHandler(std::function<void()> handler);
    // Checks the watchdog now (the window also checks it every second).
    void checkWatchdog();

    // The process's progress window, created on first use; closeProgress() unloads it.
    static ProgressWindow &instance();
    static bool isLoaded();
    static void closeProgress();

private:
    QLabel *m_status = nullptr;
    QTimer m_poll;
    Watchdog m_watchdog;
};

// Shows a status text in the process's progress window (loading and showing it).
void DisplayStatus(const std::string &text);

}  // namespace tellumic
