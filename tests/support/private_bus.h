#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>

namespace tellumic::test {

// The tests' session bus configuration with the given service folders: the machine's
// folders (where an installed package puts its activation files) are never among them.
inline QString sessionBusConfig(const QStringList &serviceFolders)
{
    QFile file(QStringLiteral(TELLUMIC_TEST_BUS_CONFIG));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString folders;
    for (const auto &f : serviceFolders)
        folders += QStringLiteral("<servicedir>%1</servicedir>").arg(f.toHtmlEscaped());
    return QString::fromUtf8(file.readAll()).replace(QStringLiteral("@SERVICE_DIRS@"), folders);
}

// A session bus of one test's own: a dbus-daemon that this process starts and ends. It
// starts services only from the user's folder of env ($XDG_DATA_HOME/dbus-1/services).
class PrivateBus
{
public:
    // Starts the daemon in env and reads the address it prints; false when it printed none
    // within waitMs.
    bool start(int waitMs, const QProcessEnvironment &env = QProcessEnvironment(QProcessEnvironment::InheritFromParent))
    {
        const QString data = env.value(QStringLiteral("XDG_DATA_HOME"));
        const QString config = sessionBusConfig(data.isEmpty() ? QStringList() : QStringList{data + "/dbus-1/services"});
        QFile file(m_folder.filePath(QStringLiteral("session.conf")));
        if (config.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_daemon.setProcessEnvironment(env);
        // The bus ends with the test, even one that crashes: a daemon left behind would
        // keep whatever the test inherited (a lock held around the test run) open.
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start("dbus-daemon", {"--config-file=" + file.fileName(), "--nofork", "--print-address=1"});
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
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};

}  // namespace tellumic::test
