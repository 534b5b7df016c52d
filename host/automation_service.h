#pragma once

#include <map>
#include <memory>

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>

class QDBusServiceWatcher;

namespace tellumic {

class LNSPlugInAPI;

inline constexpr const char *kBusName = "Tellumic_PlugIn.LNSPlugInAPI";
inline constexpr const char *kFactoryPath = "/Tellumic_PlugIn/LNSPlugInAPI";
inline constexpr const char *kFactoryInterface = "Tellumic_PlugIn.Factory";
inline constexpr const char *kObjectInterface = "Tellumic_PlugIn.LNSPlugInAPI";
inline constexpr const char *kErrorPrefix = "Tellumic_PlugIn.Error.E";

// The plug-in's automation objects on the session bus. A client calls CreateObject on the
// factory and gets the path of a new object; it sends commands and reads and writes the
// object's properties through the standard Properties interface, and releases it (or
// leaves the bus). Errors of the plug-in come back as "Tellumic_PlugIn.Error.E<number>".
//
// An object belongs to the connection that created it: commands, property writes and the
// release from any other client are refused (AccessDenied); anyone may introspect it and
// read its properties. It goes when its client releases it or leaves the bus. A
// release that comes while a call of the same object runs (commands let window events
// run, D-Bus messages among them) takes effect when that call returns.
class AutomationService : public QDBusVirtualObject
{
    Q_OBJECT
public:
    explicit AutomationService(QDBusConnection connection, QObject *parent = nullptr);
    ~AutomationService() override;

    // Registers the object and takes the bus name; false when either is not possible.
    bool start();
    // Registers the object under the factory path only (for a service that shares a
    // connection with its clients, as tests do).
    bool registerObject();
    int objectCount() const { return static_cast<int>(m_objects.size()); }

    // Waits (briefly) until the replies sent so far have reached the bus, so that a process
    // that ends next does not take them along.
    void flushReplies();

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    struct Client
    {
        std::unique_ptr<LNSPlugInAPI> object;
        QString owner;
        int runningCalls = 0;
        bool releasePending = false;
    };
    // The live object a path names in its one canonical form ("/…/LNSPlugInAPI/1"), or 0.
    std::size_t objectIdOf(const QString &path) const;
    QDBusMessage createObject(const QDBusMessage &message);
    QDBusMessage callObject(std::size_t id, const QDBusMessage &message);
    QDBusMessage dispatch(LNSPlugInAPI &object, const QDBusMessage &message);
    QDBusMessage getProperty(LNSPlugInAPI &object, const QString &name, const QDBusMessage &message);
    QDBusMessage setProperty(LNSPlugInAPI &object, const QString &name, const QVariant &value, const QDBusMessage &message);
    // Releases the object now, or once its running call returns.
    void release(std::size_t id);
    void clientLeft(const QString &service);

    QDBusConnection m_connection;
    QDBusServiceWatcher *m_watcher = nullptr;
    std::map<std::size_t, Client> m_objects;
    std::size_t m_nextId = 1;
};

}  // namespace tellumic
