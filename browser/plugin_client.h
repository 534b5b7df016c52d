#pragma once

// The host side of a plug-in's automation interface on the session bus: create an automation
// object, set its properties, send it commands, release it. PluginObject waits for each
// reply (the command line); PluginCommandRun sends a whole command without blocking the
// event loop (the network browser, whose window must keep answering while a plug-in asks
// its user something).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>

namespace tellumic::browser {

inline const QString kTellumicPlugin = QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI");

// Host commands of the plug-in interface.
namespace HostCommand {
inline constexpr int kBrowse = 20;
inline constexpr int kRegister = 50;
inline constexpr int kDeregister = 51;
inline constexpr int kApplicationDevice = 7;  // object type of a device command
}  // namespace HostCommand

// What a host sets on an automation object before it opens the network.
struct PluginSettings
{
    QString plugin = kTellumicPlugin;  // the plug-in's bus name
    std::optional<QString> interfaceName;
    bool remote = false;
    std::optional<QString> devProgramId;
};

// A failure reported by the plug-in or the bus, as the host tells it.
struct CallError
{
    std::string text;
};

// The text of an error reply to a call to a plug-in ("error 20005: ..."), or "" for a reply
// that is no error.
std::string errorTextOf(const QDBusMessage &reply, const QString &plugin);

// One automation object of the plug-in, released when this goes; every call waits.
class PluginObject
{
public:
    PluginObject(QDBusConnection bus, const PluginSettings &settings);
    ~PluginObject();
    PluginObject(const PluginObject &) = delete;
    PluginObject &operator=(const PluginObject &) = delete;

    void set(const QString &property, const QVariant &value);
    QVariant get(const QString &property);
    void sendCommand(int commandId, int objectType, const QString &objectName);
    void release();
    bool pluginOnBus();

private:
    QDBusMessage call(QDBusMessage message);

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
};

// One host command on a fresh automation object: create it, set the settings and the
// network, send the command (and for a Browse show the window), release it. The plug-in's
// device window stays open for the user once the object is released, as it does for any
// host tool that lets go. finished gives "" or what went wrong.
class PluginCommandRun : public QObject
{
    Q_OBJECT
public:
    struct Command
    {
        QString network;
        int commandId = 0;
        int objectType = 0;
        QString objectName;
        bool show = false;  // make the plug-in's window visible afterwards
    };

    PluginCommandRun(QDBusConnection bus, PluginSettings settings, Command command, QObject *parent = nullptr);
    void start();

Q_SIGNALS:
    void finished(const QString &error);

private:
    void next();
    void stepDone(const QDBusMessage &reply);
    void fail(const QString &error);

    QDBusConnection m_bus;
    PluginSettings m_settings;
    Command m_command;
    std::vector<std::function<QDBusMessage()>> m_steps;
    std::size_t m_step = 0;
    QString m_path;
    QString m_error;
};

}  // namespace tellumic::browser
