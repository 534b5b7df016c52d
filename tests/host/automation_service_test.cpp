// The automation objects on a private session bus, with clients in this process: what a
// client may call, on which paths, with which arguments, and when its objects go.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>

#include <algorithm>

#include <utility>

#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "foundation/plugin_state.h"
#include "host/automation_service.h"
#include "host/plugin_api.h"
#include "tests/host/plugin_fixture.h"
#include "tests/support/private_bus.h"

namespace tellumic {
namespace {

constexpr int kWaitMs = 20'000;

// Answers a box after running a step of the test (which may pump the event loop).
class StepDialogs final : public Dialogs
{
public:
    std::function<void()> step;
    MsgResult messageBox(std::string_view, int style, std::string_view) override
    {
        // The step runs once; it is taken out first, as it may bring the next box.
        if (auto once = std::exchange(step, nullptr))
            once();
        return defaultButtonOf(style);
    }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
};

class AutomationServiceTest : public test::PlugInProcessTest
{
protected:
    void SetUp() override
    {
        PlugInProcessTest::SetUp();
        ASSERT_TRUE(daemon.start(kWaitMs));
        serviceBus = connect("service");
        ASSERT_TRUE(serviceBus->isConnected());
        service = std::make_unique<AutomationService>(*serviceBus);
        ASSERT_TRUE(service->registerObject());
        client = connect("client");
        stranger = connect("stranger");
    }
    void TearDown() override
    {
        service.reset();
        for (const auto *bus : {serviceBus.get(), client.get(), stranger.get()})
            if (bus)
                QDBusConnection::disconnectFromBus(bus->name());
        daemon.stop(kWaitMs);
        PlugInProcessTest::TearDown();
    }

    std::unique_ptr<QDBusConnection> connect(const QString &name)
    {
        return std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(daemon.address(), name + QString::number(++s_count)));
    }

    // A call from a client, waited for while this process's events run (the service lives here).
    QDBusMessage call(QDBusConnection &from, const QString &path, const QString &interface, const QString &method,
                      const QVariantList &args = {})
    {
        QDBusPendingCall pending = send(from, path, interface, method, args);
        waitFor([&] { return pending.isFinished(); });
        return pending.reply();
    }
    QDBusPendingCall send(QDBusConnection &from, const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args = {})
    {
        auto m = QDBusMessage::createMethodCall(serviceBus->baseService(), path, interface, method);
        m.setArguments(args);
        return from.asyncCall(m, kWaitMs);
    }
    static void waitFor(const std::function<bool()> &done)
    {
        QDeadlineTimer deadline(kWaitMs);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QString createObject(QDBusConnection &from)
    {
        return call(from, kFactoryPath, kFactoryInterface, "CreateObject").arguments().value(0).value<QDBusObjectPath>().path();
    }
    QDBusMessage get(QDBusConnection &from, const QString &path, const QString &property)
    {
        return call(from, path, "org.freedesktop.DBus.Properties", "Get", {QString(kObjectInterface), property});
    }
    QString introspect(const QString &path)
    {
        return call(*client, path, "org.freedesktop.DBus.Introspectable", "Introspect").arguments().value(0).toString();
    }

    test::PrivateBus daemon;
    std::unique_ptr<QDBusConnection> serviceBus, client, stranger;
    std::unique_ptr<AutomationService> service;
    static inline int s_count = 0;
};

TEST_F(AutomationServiceTest, CallsWithOtherArgumentsAreRefused)
{
    const QString path = createObject(*client);
    ASSERT_EQ(path, QString(kFactoryPath) + "/1");
    ASSERT_EQ(call(*client, path, "org.freedesktop.DBus.Properties", "Set",
                   {QString(kObjectInterface), "networkName", QVariant::fromValue(QDBusVariant(QString("Demo")))})
                  .type(),
              QDBusMessage::ReplyMessage);
    const auto short7 = QVariant::fromValue(qint16(7));
    struct Row
    {
        const char *what;
        QString path, interface, method;
        QVariantList args;
    };
    const Row rows[] = {
        {"three texts", path, kObjectInterface, "SendCommand", {"20", "7", "Demo/Demo/Meters/TMC-FT-362"}},
        {"a 32-bit object type", path, kObjectInterface, "SendCommand", {20, 7, "Demo/Demo/Meters/TMC-FT-362"}},
        {"two arguments", path, kObjectInterface, "SendCommand", {20, short7}},
        {"four arguments", path, kObjectInterface, "SendCommand", {20, short7, "x", "y"}},
        {"Release with an argument", path, kObjectInterface, "Release", {1}},
        {"Get without a name", path, "org.freedesktop.DBus.Properties", "Get", {QString(kObjectInterface)}},
        {"Set without a value", path, "org.freedesktop.DBus.Properties", "Set", {QString(kObjectInterface), "Visible"}},
        {"CreateObject with an argument", kFactoryPath, kFactoryInterface, "CreateObject", {1}},
    };
    for (const auto &row : rows) {
        const auto reply = call(*client, row.path, row.interface, row.method, row.args);
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << row.what;
    }
    EXPECT_TRUE(plugIn().CurrentDeviceName.empty()) << "no command ran";
    EXPECT_EQ(service->objectCount(), 1);
    // The right arguments still work.
    EXPECT_EQ(call(*client, path, kObjectInterface, "SendCommand", {21, short7, "x"}).errorName(),
              "Tellumic_PlugIn.Error.E20003");
}

TEST_F(AutomationServiceTest, OnlyTheCanonicalPathOfALiveObjectNamesIt)
{
    const QString path = createObject(*client);
    for (const QString &other : {path + "0", QString(kFactoryPath) + "/01", QString(kFactoryPath) + "/001",
                                 QString(kFactoryPath) + "/2", QString(kFactoryPath) + "/1/1", QString(kFactoryPath) + "/x"}) {
        EXPECT_EQ(get(*client, other, "Version").errorName(), "org.freedesktop.DBus.Error.UnknownObject")
            << other.toStdString();
        EXPECT_FALSE(introspect(other).contains("SendCommand")) << other.toStdString();
    }
    EXPECT_EQ(get(*client, path, "Version").arguments().value(0).value<QDBusVariant>().variant().toString(), "1.11");
}

TEST_F(AutomationServiceTest, ObjectsBelongToTheClientThatCreatedThem)
{
    const QString path = createObject(*client);
    const auto short7 = QVariant::fromValue(qint16(7));
    EXPECT_EQ(call(*stranger, path, kObjectInterface, "SendCommand", {21, short7, "x"}).errorName(),
              "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_EQ(call(*stranger, path, kObjectInterface, "Release").errorName(), "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_EQ(call(*stranger, path, "org.freedesktop.DBus.Properties", "Set",
                   {QString(kObjectInterface), "Visible", QVariant::fromValue(QDBusVariant(true))})
                  .errorName(),
              "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_EQ(service->objectCount(), 1);
    EXPECT_EQ(get(*client, path, "Visible").type(), QDBusMessage::ReplyMessage);
    // Anyone may look at what an object offers, its property values included.
    EXPECT_EQ(call(*stranger, path, "org.freedesktop.DBus.Introspectable", "Introspect").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(get(*stranger, path, "Version").arguments().value(0).value<QDBusVariant>().variant().toString(), "1.11");
    EXPECT_EQ(call(*stranger, path, "org.freedesktop.DBus.Properties", "GetAll", {QString(kObjectInterface)}).type(),
              QDBusMessage::ReplyMessage);
}

// The object count is a 16-bit number of the plug-in: a client cannot make it wrap, and one
// client cannot take every object from the others.
TEST_F(AutomationServiceTest, ObjectsAreLimited)
{
    const auto fill = [&](QDBusConnection &from, int count) {
        std::vector<QDBusPendingCall> created;
        for (int i = 0; i < count; ++i)
            created.push_back(send(from, kFactoryPath, kFactoryInterface, "CreateObject"));
        waitFor([&] { return created.back().isFinished(); });
        return std::count_if(created.begin(), created.end(), [](const QDBusPendingCall &c) { return !c.isError(); });
    };
    EXPECT_EQ(fill(*client, 100), 100);
    const auto refused = call(*client, kFactoryPath, kFactoryInterface, "CreateObject");
    EXPECT_EQ(refused.errorName(), "org.freedesktop.DBus.Error.LimitsExceeded");
    EXPECT_EQ(refused.errorMessage(), "A client holds at most 100 objects at once");
    EXPECT_FALSE(createObject(*stranger).isEmpty()) << "another client still gets one";

    std::vector<std::unique_ptr<QDBusConnection>> others;
    for (int c = 0; c < 9; ++c) {
        others.push_back(connect("other"));
        EXPECT_EQ(fill(*others.back(), c < 8 ? 100 : 99), c < 8 ? 100 : 99);
    }
    EXPECT_EQ(service->objectCount(), 1000);
    EXPECT_EQ(plugIn().ClientCount, 1000);
    const auto full = call(*stranger, kFactoryPath, kFactoryInterface, "CreateObject");
    EXPECT_EQ(full.errorName(), "org.freedesktop.DBus.Error.LimitsExceeded");
    EXPECT_EQ(full.errorMessage(), "The plug-in serves at most 1000 objects at once");
    EXPECT_EQ(plugIn().ClientCount, 1000);
    // A connection closes with its last handle.
    QStringList names;
    for (const auto &bus : others)
        names << bus->name();
    others.clear();
    for (const auto &name : names)
        QDBusConnection::disconnectFromBus(name);
    waitFor([&] { return service->objectCount() == 101; });
    EXPECT_EQ(service->objectCount(), 101);
}

// A client that asks for an object and leaves the bus before the answer: the plug-in finds it
// gone once the object is made and releases it, whatever the bus told it meanwhile.
TEST_F(AutomationServiceTest, AClientThatLeavesBeforeTheReplyLeavesNoObject)
{
    constexpr int kLeavers = 5;
    for (int i = 0; i < kLeavers; ++i) {
        auto leaver = connect("leaver");
        send(*leaver, kFactoryPath, kFactoryInterface, "CreateObject");
        // The bus answers the ping after it has passed the call on to the plug-in, whose
        // events do not run meanwhile: the call waits for it there.
        leaver->call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus.Peer", "Ping"),
                     QDBus::Block, kWaitMs);
        const QString name = leaver->name();
        leaver.reset();
        QDBusConnection::disconnectFromBus(name);
    }
    // Calls are handled in order: this object's number shows that the leavers' came first.
    const QString path = createObject(*client);
    EXPECT_EQ(path, QString(kFactoryPath) + "/" + QString::number(kLeavers + 1));
    waitFor([&] { return service->objectCount() == 1; });
    EXPECT_EQ(service->objectCount(), 1);
    EXPECT_EQ(plugIn().ClientCount, 1);
    EXPECT_FALSE(introspect(kFactoryPath).contains("<node name=\"1\"/>"));
}

// Texts from a client are bounded; the error names the bound, and a long one does not come
// back in a reply.
TEST_F(AutomationServiceTest, LongTextsAreRefused)
{
    const QString path = createObject(*client);
    const auto setText = [&](const char *property) {
        return [&, property](const QString &text) {
            return call(*client, path, "org.freedesktop.DBus.Properties", "Set",
                        {QString(kObjectInterface), property, QVariant::fromValue(QDBusVariant(text))});
        };
    };
    struct Row
    {
        const char *what;
        std::function<QDBusMessage(const QString &)> call;
    };
    const Row rows[] = {
        {"networkName", setText("networkName")},
        {"NetworkInterfaceName", setText("NetworkInterfaceName")},
        {"DevelopmentProgramId", setText("DevelopmentProgramId")},
        {"an object name",
         [&](const QString &text) {
             return call(*client, path, kObjectInterface, "SendCommand", {20, QVariant::fromValue(qint16(7)), text});
         }},
        {"a property name",
         [&](const QString &text) {
             return call(*client, path, "org.freedesktop.DBus.Properties", "Get", {QString(kObjectInterface), text});
         }},
        {"an interface name",
         [&](const QString &text) { return call(*client, path, "org.freedesktop.DBus.Properties", "GetAll", {text}); }},
    };
    // Characters as a person counts them: an emoji (two UTF-16 units) is one.
    const QString characters[] = {QStringLiteral("n"), QStringLiteral("\U0001F600")};
    for (const auto &row : rows) {
        for (const auto &character : characters) {
            const auto refused = row.call(character.repeated(1025));
            EXPECT_EQ(refused.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << row.what;
            EXPECT_TRUE(refused.errorMessage().endsWith("takes texts of at most 1024 characters")) << row.what;
            EXPECT_NE(row.call(character.repeated(1024)).errorName(), "org.freedesktop.DBus.Error.InvalidArgs")
                << row.what << " " << character.toStdString();
        }
    }
    const auto huge = setText("networkName")(QString(8 << 20, 'n'));
    EXPECT_EQ(huge.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_LT(huge.errorMessage().size(), 100);
    const auto nowhere = get(*client, QString(kFactoryPath) + "/x" + QString(100'000, 'p'), "Version");
    EXPECT_EQ(nowhere.errorName(), "org.freedesktop.DBus.Error.UnknownObject");
    EXPECT_LT(nowhere.errorMessage().size(), 1100);
    EXPECT_EQ(get(*client, path, "Version").arguments().value(0).value<QDBusVariant>().variant().toString(), "1.11");
}

TEST_F(AutomationServiceTest, IntrospectionShowsTheInterfaceAndTheLiveObjects)
{
    const QString first = createObject(*client);
    const QString second = createObject(*client);
    const QString factory = introspect(kFactoryPath);
    EXPECT_TRUE(factory.contains("<node name=\"1\"/>")) << factory.toStdString();
    EXPECT_TRUE(factory.contains("<node name=\"2\"/>"));
    EXPECT_TRUE(factory.contains("CreateObject"));
    const QString object = introspect(first);
    for (const char *part : {"name=\"Tellumic_PlugIn.LNSPlugInAPI\"", "<method name=\"SendCommand\">",
                             "<arg name=\"commandId\" type=\"i\" direction=\"in\"/>",
                             "<arg name=\"objectType\" type=\"n\" direction=\"in\"/>", "<method name=\"Release\"/>",
                             "<property name=\"networkName\" type=\"s\" access=\"readwrite\">",
                             "<property name=\"Version\" type=\"s\" access=\"read\">"})
        EXPECT_TRUE(object.contains(part)) << part;
    EXPECT_EQ(call(*client, second, kObjectInterface, "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(introspect(kFactoryPath).contains("<node name=\"2\"/>"));
}

// A release that arrives while a command of the same object runs (the command's message
// box lets D-Bus messages in) waits until the command has returned.
TEST_F(AutomationServiceTest, AReleaseDuringACommandWaitsForIt)
{
    struct Row
    {
        const char *what;
        bool disconnect;  // the client leaves the bus instead of releasing
    };
    for (const Row row : {Row{"Release", false}, Row{"leaving the bus", true}}) {
        auto owner = connect("owner");
        const QString path = createObject(*owner);
        ASSERT_FALSE(path.isEmpty());
        const int releasesBefore = lastReleases;
        int objectsSeenDuringCommand = -1;
        std::int16_t clientsSeenDuringCommand = -1;
        StepDialogs dialogs;
        dialogs.step = [&] {
            if (row.disconnect) {
                const QString name = owner->name();
                owner.reset();  // the connection closes with its last handle
                QDBusConnection::disconnectFromBus(name);
                waitFor([&] { return !service->introspect(kFactoryPath).contains("<node name="); });
            } else {
                auto release = send(*owner, path, kObjectInterface, "Release");
                waitFor([&] { return release.isFinished(); });
                EXPECT_EQ(release.reply().type(), QDBusMessage::ReplyMessage) << row.what;
            }
            objectsSeenDuringCommand = service->objectCount();
            clientsSeenDuringCommand = plugIn().ClientCount;
        };
        setDialogs(&dialogs);
        auto command = send(*owner, path, kObjectInterface, "SendCommand", {21, QVariant::fromValue(qint16(7)), "x"});
        waitFor([&] { return objectsSeenDuringCommand >= 0 && service->objectCount() == 0; });
        setDialogs(&home.dialogs);
        EXPECT_EQ(objectsSeenDuringCommand, 1) << row.what;
        EXPECT_EQ(clientsSeenDuringCommand, 1) << row.what;
        EXPECT_EQ(service->objectCount(), 0) << row.what;
        EXPECT_EQ(lastReleases, releasesBefore + 1) << row.what;
        if (owner) {
            const QString name = owner->name();
            owner.reset();
            QDBusConnection::disconnectFromBus(name);
        }
    }
}

}  // namespace
}  // namespace tellumic
