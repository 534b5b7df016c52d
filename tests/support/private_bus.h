#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <csignal>
#include <sys/prctl.h>

namespace tellumic::test {

// A session bus of one test's own: a dbus-daemon that this process starts and ends.
class PrivateBus
{
public:
    // Starts the daemon in env and reads the address it prints; false when it printed none
    // within waitMs.
    bool start(int waitMs, const QProcessEnvironment &env = QProcessEnvironment(QProcessEnvironment::InheritFromParent))
    {
        m_daemon.setProcessEnvironment(env);
        // The bus ends with the test, even one that crashes: a daemon left behind would
        // keep whatever the test inherited (a lock held around the test run) open.
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForReadyRead(waitMs))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return true;
    }

    // Ends the daemon and waits up to waitMs for it to go.
    void stop(int waitMs)
    {
        if (m_daemon.state() == QProcess::NotRunning)
            return;
        m_daemon.terminate();
        m_daemon.waitForFinished(waitMs);
    }

    const QString &address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

}  // namespace tellumic::test
