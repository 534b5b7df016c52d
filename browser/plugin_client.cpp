#include "browser/plugin_client.h"

#include <limits>

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace tellumic::browser {

namespace {

const QString kFactoryPath = QStringLiteral("/Tellumic_PlugIn/LNSPlugInAPI");
const QString kFactoryInterface = QStringLiteral("Tellumic_PlugIn.Factory");
const QString kObjectInterface = QStringLiteral("Tellumic_PlugIn.LNSPlugInAPI");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// A command may wait on a question to the user: no reply time-out.
constexpr int kNoTimeout = std::numeric_limits<int>::max();

QDBusMessage method(const QString &service, const QString &path, const QString &interface, const QString &name,
                    const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, name);
    message.setArguments(args);
    return message;
}

QDBusMessage createObject(const QString &service)
{
    return method(service, kFactoryPath, kFactoryInterface, QStringLiteral("CreateObject"));
}

QDBusMessage setPropertyMessage(const QString &service, const QString &path, const QString &property, const QVariant &value)
{
    return method(service, path, kProperties, QStringLiteral("Set"),
                  {kObjectInterface, property, QVariant::fromValue(QDBusVariant(value))});
}

QDBusMessage sendCommandMessage(const QString &service, const QString &path, int commandId, int objectType,
                                const QString &objectName)
{
    return method(service, path, kObjectInterface, QStringLiteral("SendCommand"),
                  {commandId, QVariant::fromValue(static_cast<qint16>(objectType)), objectName});
}

QDBusMessage releaseMessage(const QString &service, const QString &path)
{
    return method(service, path, kObjectInterface, QStringLiteral("Release"));
}

// The settings a host makes before it names the network, as property messages.
std::vector<std::pair<QString, QVariant>> settingProperties(const PluginSettings &s)
{
    std::vector<std::pair<QString, QVariant>> out;
    if (s.interfaceName)
        out.emplace_back(QStringLiteral("NetworkInterfaceName"), *s.interfaceName);
    if (s.remote)
        out.emplace_back(QStringLiteral("Remote"), true);
    if (s.devProgramId)
        out.emplace_back(QStringLiteral("DevelopmentProgramId"), *s.devProgramId);
    return out;
}

}  // namespace

std::string errorTextOf(const QDBusMessage &reply, const QString &plugin)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {};
    const QString name = reply.errorName();
    const QString prefix = QStringLiteral("Tellumic_PlugIn.Error.E");
    if (name.startsWith(prefix))
        return "error " + name.mid(prefix.size()).toStdString() + ": " + reply.errorMessage().toStdString();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return "no program on the session bus answers for " + plugin.toStdString() +
               "; the plug-in is not registered on this machine (" + reply.errorMessage().toStdString() + ")";
    return name.toStdString() + ": " + reply.errorMessage().toStdString();
}

PluginObject::PluginObject(QDBusConnection bus, const PluginSettings &settings)
    : m_bus(std::move(bus)), m_service(settings.plugin)
{
    if (!m_bus.isConnected())
        throw CallError{"no session bus: " + m_bus.lastError().message().toStdString()};
    const QDBusMessage reply = call(createObject(m_service));
    m_path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    for (const auto &[property, value] : settingProperties(settings))
        set(property, value);
}

PluginObject::~PluginObject()
{
    try {
        release();
    } catch (const CallError &) {
    }
}

void PluginObject::set(const QString &property, const QVariant &value)
{
    call(setPropertyMessage(m_service, m_path, property, value));
}

QVariant PluginObject::get(const QString &property)
{
    const auto reply = call(method(m_service, m_path, kProperties, QStringLiteral("Get"), {kObjectInterface, property}));
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void PluginObject::sendCommand(int commandId, int objectType, const QString &objectName)
{
    call(sendCommandMessage(m_service, m_path, commandId, objectType, objectName));
}

void PluginObject::release()
{
    if (m_path.isEmpty())
        return;
    const QString path = m_path;
    m_path.clear();
    call(releaseMessage(m_service, path));
}

bool PluginObject::pluginOnBus()
{
    return m_bus.interface()->isServiceRegistered(m_service).value();
}

QDBusMessage PluginObject::call(QDBusMessage message)
{
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, kNoTimeout);
    if (const std::string error = errorTextOf(reply, m_service); !error.empty())
        throw CallError{error};
    return reply;
}

PluginCommandRun::PluginCommandRun(QDBusConnection bus, PluginSettings settings, Command command, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_settings(std::move(settings)), m_command(std::move(command))
{
    const QString service = m_settings.plugin;
    m_steps.push_back([service] { return createObject(service); });
    auto props = settingProperties(m_settings);
    props.emplace_back(QStringLiteral("networkName"), m_command.network);
    for (const auto &[property, value] : props)
        m_steps.push_back([this, service, property = property, value = value] { return setPropertyMessage(service, m_path, property, value); });
    m_steps.push_back([this, service] {
        return sendCommandMessage(service, m_path, m_command.commandId, m_command.objectType, m_command.objectName);
    });
    if (m_command.show)
        m_steps.push_back([this, service] { return setPropertyMessage(service, m_path, QStringLiteral("Visible"), true); });
}

void PluginCommandRun::start()
{
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("no session bus: ") + m_bus.lastError().message());
        return;
    }
    m_step = 0;
    next();
}

void PluginCommandRun::next()
{
    QDBusMessage message = m_step < m_steps.size() ? m_steps[m_step]() : releaseMessage(m_settings.plugin, m_path);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kNoTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        stepDone(watcher->reply());
    });
}

void PluginCommandRun::stepDone(const QDBusMessage &reply)
{
    const std::string error = errorTextOf(reply, m_settings.plugin);
    if (m_step >= m_steps.size()) {
        // The release: the command's outcome stands whatever it answers.
        Q_EMIT finished(m_error);
        return;
    }
    if (!error.empty()) {
        fail(QString::fromStdString(error));
        return;
    }
    if (m_step == 0)
        m_path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    ++m_step;
    next();
}

void PluginCommandRun::fail(const QString &error)
{
    m_error = error;
    if (m_path.isEmpty()) {
        Q_EMIT finished(m_error);
        return;
    }
    m_step = m_steps.size();  // release the object the failed step was made on
    next();
}

}  // namespace tellumic::browser
