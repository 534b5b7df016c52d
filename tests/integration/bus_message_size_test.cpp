// Messages of every size the bus delivers, up to its own bound: a client that sends a huge
// text is refused, and the plug-in goes on answering everyone at once.

#include "tests/integration/automation_fixture.h"

namespace tellumic {
namespace {

using test::AutomationTest;

constexpr qsizetype kMiB = 1024 * 1024;
// What the plug-in may take to answer a property read once the huge message is behind it.
constexpr int kAnswerMs = 1000;

class BusMessageSizeTest : public AutomationTest
{
protected:
    void SetUp() override
    {
        AutomationTest::SetUp();
        ASSERT_EQ(run(PLUGIN_EXE, {"/regplugin"}), 0);
        path = createObject();
        ASSERT_FALSE(path.isEmpty());
    }

    QDBusMessage sendCommand(const QString &objectName)
    {
        auto m = QDBusMessage::createMethodCall("Tellumic_PlugIn.LNSPlugInAPI", path, "Tellumic_PlugIn.LNSPlugInAPI",
                                                "SendCommand");
        m.setArguments({20, QVariant::fromValue(qint16(7)), objectName});
        return m;
    }

    // A property read by a client of its own, which must be answered within kAnswerMs.
    bool answersAtOnce()
    {
        const QString name = "quick-" + QString::number(++m_quick);
        QDBusConnection other = QDBusConnection::connectToBus(daemon.address(), name);
        auto m = QDBusMessage::createMethodCall("Tellumic_PlugIn.LNSPlugInAPI", path, "org.freedesktop.DBus.Properties",
                                                "Get");
        m.setArguments({"Tellumic_PlugIn.LNSPlugInAPI", "Version"});
        const auto reply = other.call(m, QDBus::Block, kAnswerMs);
        QDBusConnection::disconnectFromBus(name);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString() == "1.11";
    }

    QString path;

private:
    int m_quick = 0;
};

// One text per call, of sizes about the point (63 MiB) where the bus library stops reading a
// connection whose unread messages are larger, up to the largest message the bus carries
// (128 MiB, headers included). Each size several times: whether the plug-in stalled
// depended on which of its threads let go of the message last.
TEST_F(BusMessageSizeTest, AHugeTextIsRefusedAndTheNextCallIsAnsweredAtOnce)
{
    const qsizetype sizes[] = {62 * kMiB, 64 * kMiB, 128 * kMiB - 4096};
    constexpr int kRounds = 3;
    for (const qsizetype size : sizes) {
        for (int round = 0; round < kRounds; ++round) {
            const auto reply = bus->call(sendCommand(QString(size, QLatin1Char('x'))), QDBus::Block, test::kWaitMs);
            EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << size << " bytes";
            ASSERT_TRUE(answersAtOnce()) << size << " bytes, round " << round;
        }
    }
}

}  // namespace
}  // namespace tellumic
