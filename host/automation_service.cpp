#include "host/automation_service.h"

#include <algorithm>
#include <functional>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "host/bus_connection.h"
#include "host/plugin_api.h"

namespace tellumic {

namespace {

constexpr const char *kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char *kIntrospectable = "org.freedesktop.DBus.Introspectable";
constexpr const char *kPeer = "org.freedesktop.DBus.Peer";

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

// The arguments each method takes, as D-Bus signatures.
struct MethodSignature
{
    const char *interface;
    const char *member;
    const char *signature;
};

constexpr MethodSignature kObjectMethods[] = {
    {kObjectInterface, "SendCommand", "ins"},
    {kObjectInterface, "Release", ""},
    {kPropertiesInterface, "Get", "ss"},
    {kPropertiesInterface, "Set", "ssv"},
    {kPropertiesInterface, "GetAll", "s"},
};

// Introspection and the peer interface, which the connection answers for every object.
bool answeredByConnection(const QDBusMessage &message)
{
    return message.interface() == QLatin1String(kIntrospectable) || message.interface() == QLatin1String(kPeer);
}

// Reading properties changes nothing and tells a client nothing an object of its own would
// not (they are the process's), so any client may; introspection tools read them to show
// what an object offers.
bool readsProperties(const QDBusMessage &message)
{
    return message.interface() == QLatin1String(kPropertiesInterface) &&
           (message.member() == QLatin1String("Get") || message.member() == QLatin1String("GetAll"));
}

// Texts a client sends (property values, object names, interface and property names) are
// bounded: a name repeated in an error would otherwise make a reply too large for the bus,
// and no network, interface or object name comes near this length. Characters are counted
// as a person counts them (code points), not as QString stores them: an emoji is one.
constexpr qsizetype kMaxTextLength = 1024;

// The UTF-16 units of text that hold its first `characters` code points.
qsizetype unitsOfCharacters(const QString &text, qsizetype characters)
{
    qsizetype units = 0;
    for (; characters > 0 && units < text.size(); --characters)
        units += text.at(units).isHighSurrogate() && units + 1 < text.size() && text.at(units + 1).isLowSurrogate() ? 2 : 1;
    return units;
}

bool longerThanBound(const QString &text)
{
    return unitsOfCharacters(text, kMaxTextLength) < text.size();
}

bool textTooLong(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return textTooLong(value.value<QDBusVariant>().variant());
    return value.metaType() == QMetaType::fromType<QString>() && longerThanBound(value.toString());
}

// A text from the client as an error repeats it: at most kMaxTextLength characters of it.
QString shown(const QString &text)
{
    return longerThanBound(text) ? text.left(unitsOfCharacters(text, kMaxTextLength)) + QStringLiteral("...") : text;
}

QDBusMessage invalidArgs(const QDBusMessage &message, const char *expected)
{
    return message.createErrorReply(QDBusError::InvalidArgs,
                                    QStringLiteral("%1 takes the arguments (%2), not (%3)")
                                        .arg(message.member(), QLatin1String(expected), message.signature()));
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

bool AutomationService::registerObject()
{
    acceptMessagesOfAnySize(m_connection);
    return m_connection.isConnected() &&
           m_connection.registerVirtualObject(QString::fromLatin1(kFactoryPath), this, QDBusConnection::SubPath);
}

bool AutomationService::start()
{
    return registerObject() && m_connection.registerService(QString::fromLatin1(kBusName));
}

void AutomationService::flushReplies()
{
    if (!m_connection.isConnected())
        return;
    // Messages leave a connection in order: once the bus answers this, everything sent
    // before it has been handed to the bus.
    constexpr int kFlushTimeoutMs = 2000;
    m_connection.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                     QString::fromLatin1(kPeer), QStringLiteral("Ping")),
                      QDBus::Block, kFlushTimeoutMs);
}

std::size_t AutomationService::objectIdOf(const QString &path) const
{
    const QString prefix = QString::fromLatin1(kFactoryPath) + '/';
    if (!path.startsWith(prefix))
        return 0;
    const QString tail = path.mid(prefix.size());
    bool ok = false;
    const std::size_t id = tail.toULongLong(&ok);
    // "…/01", "…/+1" and the like name no object: only the form the factory hands out does.
    if (!ok || tail != QString::number(id))
        return 0;
    const auto it = m_objects.find(id);
    return it != m_objects.end() && !it->second.releasePending ? id : 0;
}

QString AutomationService::introspect(const QString &path) const
{
    if (path == QLatin1String(kFactoryPath)) {
        QString xml = QStringLiteral("<interface name=\"%1\"><method name=\"CreateObject\">"
                                     "<arg name=\"object\" type=\"o\" direction=\"out\"/></method></interface>")
                          .arg(QString::fromLatin1(kFactoryInterface));
        for (const auto &[id, client] : m_objects)
            if (!client.releasePending)
                xml += QStringLiteral("<node name=\"%1\"/>").arg(id);
        return xml;
    }
    if (!objectIdOf(path))
        return {};
    QString xml = QStringLiteral("<interface name=\"%1\">"
                                 "<method name=\"SendCommand\"><arg name=\"commandId\" type=\"i\" direction=\"in\"/>"
                                 "<arg name=\"objectType\" type=\"n\" direction=\"in\"/>"
                                 "<arg name=\"objectName\" type=\"s\" direction=\"in\"/></method>"
                                 "<method name=\"Release\"/>")
                      .arg(QString::fromLatin1(kObjectInterface));
    // The properties are read when asked for; no change signal announces them.
    for (const auto &p : properties())
        xml += QStringLiteral("<property name=\"%1\" type=\"%2\" access=\"%3\">"
                              "<annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>"
                              "</property>")
                   .arg(QLatin1String(p.name), QLatin1String(p.signature),
                        p.writable ? QStringLiteral("readwrite") : QStringLiteral("read"));
    return xml + QStringLiteral("</interface>");
}

bool AutomationService::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString path = message.path();
    QDBusMessage reply;
    if (path == QLatin1String(kFactoryPath)) {
        if (answeredByConnection(message))
            return false;
        if (message.member() != QLatin1String("CreateObject") ||
            !(message.interface().isEmpty() || message.interface() == QLatin1String(kFactoryInterface)))
            reply = message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method: ") + message.member());
        else if (!message.signature().isEmpty())
            reply = invalidArgs(message, "");
        else
            reply = createObject(message);
    } else {
        const std::size_t id = objectIdOf(path);
        if (!id) {
            reply = message.createErrorReply(QDBusError::UnknownObject, QStringLiteral("No such object: ") + shown(path));
        } else if (answeredByConnection(message)) {
            return false;
        } else if (m_objects.at(id).owner != message.service() && !readsProperties(message)) {
            reply = message.createErrorReply(QDBusError::AccessDenied,
                                             QStringLiteral("%1 belongs to another client of the plug-in").arg(path));
        } else {
            reply = callObject(id, message);
        }
    }
    if (reply.type() != QDBusMessage::InvalidMessage)
        m_connection.send(reply);
    return true;
}

QDBusMessage AutomationService::createObject(const QDBusMessage &message)
{
    // The objects are counted in a 16-bit number; a client making more than any host
    // needs is refused long before it could wrap.
    constexpr std::size_t kMaxObjects = 1000;
    // One client cannot take all of them from the others.
    constexpr std::size_t kMaxObjectsPerClient = 100;
    if (m_objects.size() >= kMaxObjects)
        return message.createErrorReply(QDBusError::LimitsExceeded,
                                        QStringLiteral("The plug-in serves at most %1 objects at once").arg(kMaxObjects));
    const QString owner = message.service();
    const auto owned = std::count_if(m_objects.begin(), m_objects.end(), [&](const auto &o) { return o.second.owner == owner; });
    if (static_cast<std::size_t>(owned) >= kMaxObjectsPerClient)
        return message.createErrorReply(QDBusError::LimitsExceeded,
                                        QStringLiteral("A client holds at most %1 objects at once").arg(kMaxObjectsPerClient));
    try {
        const std::size_t id = m_nextId++;
        Client client{std::make_unique<LNSPlugInAPI>(), owner};
        m_objects.emplace(id, std::move(client));
        if (!owner.isEmpty()) {
            m_watcher->addWatchedService(owner);
            // A client that left before this call was handled is gone before the watch began,
            // and its leaving is never seen: its object would stay for good. The bus handles
            // the watch before this question, so a client that leaves after it is seen leaving.
            const QDBusReply<bool> present = m_connection.interface()->isServiceRegistered(owner);
            if (present.isValid() && !present.value()) {
                clientLeft(owner);
                return {};
            }
        }
        return message.createReply(QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kFactoryPath) + '/' + QString::number(id))));
    } catch (const RuntimeError &e) {
        return errorReply(message, e);
    } catch (const std::exception &e) {
        return message.createErrorReply(QDBusError::Failed, QString::fromLocal8Bit(e.what()));
    }
}

QDBusMessage AutomationService::callObject(std::size_t id, const QDBusMessage &message)
{
    const QString interface = message.interface();
    const QString member = message.member();
    const MethodSignature *method = nullptr;
    for (const auto &m : kObjectMethods)
        if (member == QLatin1String(m.member) &&
            (interface == QLatin1String(m.interface) || (interface.isEmpty() && QLatin1String(m.interface) == QLatin1String(kObjectInterface))))
            method = &m;
    if (!method)
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method: ") + member);
    if (message.signature() != QLatin1String(method->signature))
        return invalidArgs(message, method->signature);
    const auto args = message.arguments();
    if (std::any_of(args.begin(), args.end(), textTooLong))
        return message.createErrorReply(QDBusError::InvalidArgs,
                                        QStringLiteral("%1 takes texts of at most %2 characters").arg(member).arg(kMaxTextLength));
    if (member == QLatin1String("Release")) {
        m_connection.send(message.createReply());
        release(id);
        return {};
    }

    // The object stays while the call runs, whatever arrives meanwhile.
    Client &client = m_objects.at(id);
    ++client.runningCalls;
    QDBusMessage reply;
    try {
        reply = dispatch(*client.object, message);
    } catch (const RuntimeError &e) {
        reply = errorReply(message, e);
    } catch (const std::exception &e) {
        reply = message.createErrorReply(QDBusError::Failed, QString::fromLocal8Bit(e.what()));
    }
    --client.runningCalls;
    if (client.releasePending && client.runningCalls == 0) {
        m_connection.send(reply);
        release(id);
        return {};
    }
    return reply;
}

QDBusMessage AutomationService::dispatch(LNSPlugInAPI &object, const QDBusMessage &message)
{
    const QString member = message.member();
    const auto args = message.arguments();
    if (member == QLatin1String("SendCommand")) {
        object.SendCommand(args[0].toInt(), static_cast<std::int16_t>(args[1].toInt()), args[2].toString().toStdString());
        return message.createReply();
    }
    // The Properties interface: only the automation object's own interface has properties.
    const QString interface = args[0].toString();
    if (!interface.isEmpty() && interface != QLatin1String(kObjectInterface))
        return message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("No such interface: ") + interface);
    if (member == QLatin1String("Get"))
        return getProperty(object, args[1].toString(), message);
    if (member == QLatin1String("Set"))
        return setProperty(object, args[1].toString(), args[2].value<QDBusVariant>().variant(), message);
    QVariantMap all;
    for (const auto &p : properties())
        all.insert(QLatin1String(p.name), p.get(object));
    return message.createReply(QVariant::fromValue(all));
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
    if (it->second.runningCalls > 0) {
        it->second.releasePending = true;
        return;
    }
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
