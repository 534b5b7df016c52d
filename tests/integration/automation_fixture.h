// A fresh home with the demo installation and a private session bus, on which the plug-in
// is a separate process started by bus activation from the file its registration installs.

#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <memory>

#include "tests/support/private_bus.h"
#include "tests/support/temp_home.h"

namespace tellumic::test {

inline constexpr int kWaitMs = 30'000;

class AutomationTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        env = QProcessEnvironment::systemEnvironment();
        env.insert("TELLUMIC_HOME", QString::fromStdString(home.root().string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((home.root() / "xdg").string()));
        env.insert("TELLUMIC_DIALOG_LOG", dialogLog());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        ASSERT_EQ(run(LNS_SIM_EXE, {"init"}), 0);
        ASSERT_TRUE(daemon.start(kWaitMs, env));
        env.insert("DBUS_SESSION_BUS_ADDRESS", daemon.address());
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(daemon.address(), "test-" + QString::number(++s_count)));
        ASSERT_TRUE(bus->isConnected());
    }
    void TearDown() override
    {
        if (bus)
            QDBusConnection::disconnectFromBus(bus->name());
        daemon.stop(kWaitMs);
    }

    QString dialogLog() const { return QString::fromStdString((home.root() / "dialogs.log").string()); }

    int run(const QString &program, const QStringList &args, QString *output = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(kWaitMs)) {
            p.kill();
            return -1;
        }
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    }

    QDBusMessage call(const QString &path, const QString &interface, const QString &method, const QVariantList &args = {})
    {
        auto m = QDBusMessage::createMethodCall("Tellumic_PlugIn.LNSPlugInAPI", path, interface, method);
        m.setArguments(args);
        return bus->call(m, QDBus::Block, kWaitMs);
    }
    QString createObject()
    {
        const auto reply = call("/Tellumic_PlugIn/LNSPlugInAPI", "Tellumic_PlugIn.Factory", "CreateObject");
        return reply.arguments().value(0).value<QDBusObjectPath>().path();
    }
    QDBusMessage setProperty(const QString &path, const QString &name, const QVariant &value)
    {
        return call(path, "org.freedesktop.DBus.Properties", "Set",
                    {"Tellumic_PlugIn.LNSPlugInAPI", name, QVariant::fromValue(QDBusVariant(value))});
    }
    QVariant getProperty(const QString &path, const QString &name)
    {
        return call(path, "org.freedesktop.DBus.Properties", "Get", {"Tellumic_PlugIn.LNSPlugInAPI", name})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }
    bool pluginOnBus() { return bus->interface()->isServiceRegistered("Tellumic_PlugIn.LNSPlugInAPI").value(); }
    // Waits (bounded) for the plug-in to leave the bus.
    bool pluginLeaves()
    {
        QDeadlineTimer deadline(kWaitMs);
        while (pluginOnBus() && !deadline.hasExpired())
            QThread::msleep(20);
        return !pluginOnBus();
    }

    QProcessEnvironment env;
    test::PrivateBus daemon;
    std::unique_ptr<QDBusConnection> bus;
    static inline int s_count = 0;
};

}  // namespace tellumic::test
