#include "host/automation_service.h"

#include <functional>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "host/plugin_api.h"

namespace tellumic {

namespace {

constexpr const char *kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char *kIntrospectable = "org.freedesktop.DBus.Introspectable";

// One property of the automation object: its D-Bus type, how to read it, how to write it.
struct Property
{
    const char *name;
    const char *signature;
    bool writable;
    std::function<QVariant(LNSPlugInAPI &)> get;
    std::function<void(LNSPlugInAPI &, const QVariant &)> set;
};

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

Property readOnly(const char *name, std::string (LNSPlugInAPI::*getter)())
{
    return {name, "s", false, [getter](LNSPlugInAPI &o) { return QVariant(qs((o.*getter)())); },
            [name](LNSPlugInAPI &, const QVariant &) { LNSPlugInAPI::refuseWrite(name); }};
}

Property boolean(const char *name, bool (LNSPlugInAPI::*getter)(), void (LNSPlugInAPI::*setter)(bool))
{
    return {name, "b", true, [getter](LNSPlugInAPI &o) { return QVariant((o.*getter)()); },
            [setter](LNSPlugInAPI &o, const QVariant &v) { (o.*setter)(v.toBool()); }};
}

Property integer(const char *name, std::int32_t (LNSPlugInAPI::*getter)(), void (LNSPlugInAPI::*setter)(std::int32_t))
{
    return {name, "i", true, [getter](LNSPlugInAPI &o) { return QVariant((o.*getter)()); },
            [setter](LNSPlugInAPI &o, const QVariant &v) { (o.*setter)(v.toInt()); }};
}

Property text(const char *name, std::string (LNSPlugInAPI::*getter)(), void (LNSPlugInAPI::*setter)(const std::string &))
{
    return {name, "s", true, [getter](LNSPlugInAPI &o) { return QVariant(qs((o.*getter)())); },
            [setter](LNSPlugInAPI &o, const QVariant &v) { (o.*setter)(v.toString().toStdString()); }};
}

const std::vector<Property> &properties()
{
    using A = LNSPlugInAPI;
    static const std::vector<Property> table = {
        boolean("Visible", &A::Visible, &A::SetVisible),
        text("networkName", &A::networkName, &A::SetNetworkName),
        text("NetworkInterfaceName", &A::NetworkInterfaceName, &A::SetNetworkInterfaceName),
        boolean("Remote", &A::Remote, &A::SetRemote),
        integer("Height", &A::Height, &A::SetHeight),
        integer("Width", &A::Width, &A::SetWidth),
        integer("Left", &A::Left, &A::SetLeft),
        boolean("Minimized", &A::Minimized, &A::SetMinimized),
        readOnly("ManufacturerID", &A::ManufacturerID),
        readOnly("ManufacturerName", &A::ManufacturerName),
        readOnly("LcaVersion", &A::LcaVersion),
        readOnly("Version", &A::Version),
        integer("Top", &A::Top, &A::SetTop),
        readOnly("Name", &A::Name),
        text("DevelopmentProgramId", &A::DevelopmentProgramId, &A::SetDevelopmentProgramId),
    };
    return table;
}

const Property *findProperty(const QString &name)
{
    for (const auto &p : properties())
        if (name == QLatin1String(p.name))
            return &p;
    return nullptr;
}

QDBusMessage errorReply(const QDBusMessage &message, const RuntimeError &e)
{
    return message.createErrorReply(QString::fromLatin1(kErrorPrefix) + QString::number(e.unsignedNumber()),
                                     qs(e.description()));
}

bool signatureMatches(const QVariant &value, const char *signature)
{
    switch (signature[0]) {
    case 'b': return value.metaType() == QMetaType::fromType<bool>();
    case 'i': return value.metaType() == QMetaType::fromType<int>();
    default: return value.metaType() == QMetaType::fromType<QString>();
    }
}

}  // namespace

AutomationService::AutomationService(QDBusConnection connection, QObject *parent)
    : QDBusVirtualObject(parent), m_connection(std::move(connection))
{
    m_watcher = new QDBusServiceWatcher(this);
    m_watcher->setConnection(m_connection);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationService::clientLeft);
}

AutomationService::~AutomationService()
{
    m_connection.unregisterObject(QString::fromLatin1(kFactoryPath), QDBusConnection::UnregisterTree);
}

bool AutomationService::start()
{
    if (!m_connection.isConnected())
        return false;
    if (!m_connection.registerVirtualObject(QString::fromLatin1(kFactoryPath), this, QDBusConnection::SubPath))
        return false;
    return m_connection.registerService(QString::fromLatin1(kBusName));
}

QString AutomationService::introspect(const QString &path) const
{
    if (path == QLatin1String(kFactoryPath)) {
        QString xml = QStringLiteral("<interface name=\"%1\"><method name=\"CreateObject\">"
                                     "<arg name=\"object\" type=\"o\" direction=\"out\"/></method></interface>")
                          .arg(QString::fromLatin1(kFactoryInterface));
        for (const auto &[id, client] : m_objects)
            xml += QStringLiteral("<node name=\"%1\"/>").arg(id);
        return xml;
    }
    QString xml = QStringLiteral("<interface name=\"%1\">"
                                 "<method name=\"SendCommand\"><arg name=\"commandId\" type=\"i\" direction=\"in\"/>"
                                 "<arg name=\"objectType\" type=\"n\" direction=\"in\"/>"
                                 "<arg name=\"objectName\" type=\"s\" direction=\"in\"/></method>"
                                 "<method name=\"Release\"/>")
                      .arg(QString::fromLatin1(kObjectInterface));
    for (const auto &p : properties())
        xml += QStringLiteral("<property name=\"%1\" type=\"%2\" access=\"%3\"/>")
                   .arg(QLatin1String(p.name), QLatin1String(p.signature),
                        p.writable ? QStringLiteral("readwrite") : QStringLiteral("read"));
    return xml + QStringLiteral("</interface>");
}

bool AutomationService::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString path = message.path();
    QDBusMessage reply;
    if (path == QLatin1String(kFactoryPath)) {
        if (message.member() != QLatin1String("CreateObject"))
            return false;
        reply = createObject(message);
    } else {
        const QString prefix = QString::fromLatin1(kFactoryPath) + '/';
        bool ok = false;
        const std::size_t id = path.startsWith(prefix) ? path.mid(prefix.size()).toULongLong(&ok) : 0;
        const auto it = ok ? m_objects.find(id) : m_objects.end();
        if (it == m_objects.end())
            return false;
        reply = callObject(it->second, id, message);
    }
    if (reply.type() != QDBusMessage::InvalidMessage)
        m_connection.send(reply);
    return true;
}

QDBusMessage AutomationService::createObject(const QDBusMessage &message)
{
    try {
        const std::size_t id = m_nextId++;
        Client client{std::make_unique<LNSPlugInAPI>(), message.service()};
        m_objects.emplace(id, std::move(client));
        if (!message.service().isEmpty())
            m_watcher->addWatchedService(message.service());
        return message.createReply(QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kFactoryPath) + '/' + QString::number(id))));
    } catch (const RuntimeError &e) {
        return errorReply(message, e);
    }
}

QDBusMessage AutomationService::callObject(Client &client, std::size_t id, const QDBusMessage &message)
{
    const QString member = message.member();
    const auto args = message.arguments();
    auto &object = *client.object;
    try {
        if (message.interface() == QLatin1String(kPropertiesInterface)) {
            if (member == QLatin1String("Get") && args.size() == 2)
                return getProperty(object, args[1].toString(), message);
            if (member == QLatin1String("Set") && args.size() == 3)
                return setProperty(object, args[1].toString(), args[2].value<QDBusVariant>().variant(), message);
            if (member == QLatin1String("GetAll")) {
                QVariantMap all;
                for (const auto &p : properties())
                    all.insert(QLatin1String(p.name), p.get(object));
                return message.createReply(QVariant::fromValue(all));
            }
        } else if (member == QLatin1String("SendCommand") && args.size() == 3) {
            object.SendCommand(args[0].toInt(), static_cast<std::int16_t>(args[1].toInt()), args[2].toString().toStdString());
            return message.createReply();
        } else if (member == QLatin1String("Release")) {
            QDBusMessage reply = message.createReply();
            m_connection.send(reply);
            release(id);
            return {};
        }
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method: ") + member);
    } catch (const RuntimeError &e) {
        return errorReply(message, e);
    }
}

QDBusMessage AutomationService::getProperty(LNSPlugInAPI &object, const QString &name, const QDBusMessage &message)
{
    const Property *p = findProperty(name);
    if (!p)
        return message.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("No such property: ") + name);
    return message.createReply(QVariant::fromValue(QDBusVariant(p->get(object))));
}

QDBusMessage AutomationService::setProperty(LNSPlugInAPI &object, const QString &name, const QVariant &value,
                                            const QDBusMessage &message)
{
    const Property *p = findProperty(name);
    if (!p)
        return message.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("No such property: ") + name);
    if (p->writable && !signatureMatches(value, p->signature))
        return message.createErrorReply(QDBusError::InvalidArgs,
                                        QStringLiteral("%1 takes a value of type %2").arg(name, QLatin1String(p->signature)));
    p->set(object, value);
    return message.createReply();
}

void AutomationService::release(std::size_t id)
{
    const auto it = m_objects.find(id);
    if (it == m_objects.end())
        return;
    auto object = std::move(it->second.object);
    m_objects.erase(it);
    object.reset();  // the last release may end the plug-in
}

void AutomationService::clientLeft(const QString &service)
{
    std::vector<std::size_t> owned;
    for (const auto &[id, client] : m_objects)
        if (client.owner == service)
            owned.push_back(id);
    m_watcher->removeWatchedService(service);
    for (auto id : owned)
        release(id);
}

}  // namespace tellumic
