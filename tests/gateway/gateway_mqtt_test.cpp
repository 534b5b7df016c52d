// tellumic-gateway publishing to a private mosquitto broker of the test's own (a config file
// on a free port of 127.0.0.1, with a password file), read back with mosquitto_sub.

#include <arpa/inet.h>
#include <cmath>
#include <map>
#include <netinet/in.h>
#include <pwd.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "foundation/plugin_state.h"
#include "gateway/meter_points.h"
#include "gateway/mqtt_topics.h"
#include "model/si_value.h"
#include "sim/installation.h"
#include "sim/logging_site.h"
#include "tests/gateway/gateway_process.h"

namespace tellumic::gateway::test {
namespace {

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

// Run as root, mosquitto would become its own user, who cannot read the test's folder.
std::string userName()
{
    const passwd *user = ::getpwuid(::geteuid());
    return user ? user->pw_name : "root";
}

// A mosquitto of the test's own: no persistence, so a restart forgets every retained message.
class Broker
{
public:
    explicit Broker(const std::filesystem::path &dir) : m_dir(dir), m_port(freePort())
    {
        runCommand("mosquitto_passwd -b -c " + shellQuoted((dir / "passwords").string()) + " meter-reader s3cret");
        tellumic::test::writeFile(dir / "mosquitto.conf", "listener " + std::to_string(m_port) +
                                                              " 127.0.0.1\nuser " + userName() + "\nallow_anonymous false\npassword_file " +
                                                              (dir / "passwords").string() + "\npersistence false\n");
        tellumic::test::writeFile(dir / "credentials", "meter-reader\ns3cret\n");
        start();
    }
    ~Broker() { stop(); }

    void start()
    {
        const auto r = runCommand("mosquitto -c " + shellQuoted((m_dir / "mosquitto.conf").string()) + " >" +
                                  shellQuoted((m_dir / "mosquitto.log").string()) + " 2>&1 & echo $!");
        m_pid = std::stoi(r.out);
        for (int i = 0; i < 50 && subscribe("-t probe", 0).status == 5; ++i)
            std::this_thread::sleep_for(100ms);
    }
    void stop()
    {
        if (m_pid > 0)
            runCommand("kill " + std::to_string(m_pid) + "; while kill -0 " + std::to_string(m_pid) +
                       " 2>/dev/null; do sleep 0.05; done");
        m_pid = 0;
    }
    // What a subscriber to the topics ("-t T...") hears in seconds (retained messages at once).
    tellumic::test::CommandRun subscribe(const std::string &topics, int seconds = 1) const
    {
        return runCommand("mosquitto_sub -h 127.0.0.1 -p " + std::to_string(m_port) +
                          " -u meter-reader -P s3cret " + topics + " -F '%t\t%p' -W " +
                          std::to_string(std::max(seconds, 1)) + " 2>/dev/null");
    }
    // The retained messages under the gateway's topics, by topic.
    std::map<std::string, std::string> retained() const
    {
        std::map<std::string, std::string> messages;
        // Two seconds: the machine may be busy, and the retained messages come in a burst.
        std::istringstream lines(subscribe("-t 'tellumic/#' -t 'homeassistant/#'", 2).out);
        for (std::string line; std::getline(lines, line);) {
            const auto tab = line.find('\t');
            if (tab != std::string::npos)
                messages[line.substr(0, tab)] = line.substr(tab + 1);
        }
        return messages;
    }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
    std::string credentials() const { return (m_dir / "credentials").string(); }

private:
    std::filesystem::path m_dir;
    int m_port;
    int m_pid = 0;
};

class MqttGatewayTest : public RunningGatewayTest
{
public:
    void SetUp() override
    {
        RunningGatewayTest::SetUp();
        broker = std::make_unique<Broker>(home.root());
    }
    void TearDown() override
    {
        RunningGatewayTest::TearDown();
        broker.reset();
    }
    void startPublishing(const std::string &network, const std::string &meters)
    {
        startGateway(network, meters + " --mqtt " + broker->url() + " --mqtt-credentials " +
                                  shellQuoted(broker->credentials()) + " --rate 2");
    }
    // Waits up to timeout for a retained message to read payload; the messages last heard.
    std::map<std::string, std::string> waitFor(const std::string &topic, const std::string &payload,
                                               std::chrono::milliseconds timeout = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        auto messages = broker->retained();
        while (messages[topic] != payload && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(100ms);
            messages = broker->retained();
        }
        return messages;
    }
    // The NV as another program reads it now (on the real clock, as the gateway runs), as
    // the gateway publishes it.
    double expectedValue(const std::string &meter, const MeterPoint &point)
    {
        static SystemClock realClock;
        auto options = sim::installationOptions(lonWorks);
        options.clock = &realClock;
        sim::SimObjectServer live(lonWorks, options);
        live.Open();
        auto network = live.Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        auto v = system->Subsystems().Item("Meters")->AppDevices().Item(meter)->GetInterface()->Nvs().Item(
            point.nvName);
        const auto si = siValue(v->Value(), v->FormatSpec());
        // Energy goes out in kilowatt-hours (kvarh), the rest in base units.
        return si ? (isEnergyTotal(point.quantity) ? si->value / 1000 : si->value) : std::nan("");
    }
    // A live meter's values move between the gateway's reading and the test's: a published
    // value is the simulator's within 2 %, which no unit mix-up (a factor of 1000) meets.
    static void expectClose(const std::string &published, double expected)
    {
        ASSERT_FALSE(published.empty());
        EXPECT_NEAR(std::stod(published), expected, 0.02 * std::fabs(expected) + 1e-6) << published;
    }
    MeterReading readingOf(const std::string &name, const std::string &network = "Demo")
    {
        auto d = device(name);
        MeterReading r;
        r.network = network;
        r.name = name;
        r.neuronId = d->NeuronId();
        r.programId = d->ProgramId();
        r.points = meterPoints(r.programId);
        return r;
    }

    std::unique_ptr<Broker> broker;
};

TEST_F(MqttGatewayTest, DiscoveryConfigsAndValuesEqualTheSimulatorsAfterATypeChangeToo)
{
    startPublishing("Demo", "--meter TMC-FT-362 --meter TMC-FT-BI-313");
    auto messages = waitFor("tellumic/gateway/status", "online");
    ASSERT_EQ(messages["tellumic/gateway/status"], "online");
    std::set<std::string> uniqueIds;
    for (const auto *name : {"TMC-FT-362", "TMC-FT-BI-313"}) {
        SCOPED_TRACE(name);
        const auto meter = readingOf(name);
        EXPECT_EQ(messages[availabilityTopic(meter)], "online");
        ASSERT_FALSE(meter.points.empty());
        for (const auto &point : meter.points) {
            SCOPED_TRACE(point.nvName);
            const auto config = nlohmann::json::parse(messages[discoveryTopic(meter, point)], nullptr, false);
            ASSERT_TRUE(config.is_object()) << messages[discoveryTopic(meter, point)];
            for (const auto *key : {"name", "unique_id", "state_topic", "device_class", "state_class", "device",
                                    "availability"})
                EXPECT_TRUE(config.contains(key)) << key;
            EXPECT_TRUE(uniqueIds.insert(config.value("unique_id", "")).second) << "unique_id twice";
            EXPECT_EQ(config.value("state_class", ""), isEnergyTotal(point.quantity) ? "total_increasing" : "measurement");
            EXPECT_EQ(config.contains("unit_of_measurement"), point.quantity != Quantity::PowerFactor);
            EXPECT_EQ(config["device"]["identifiers"][0], "tellumic_" + meter.neuronId);
            EXPECT_EQ(config["device"]["manufacturer"], "Tellumic");
            EXPECT_EQ(config["device"]["model"], name);
            EXPECT_EQ(config["origin"]["sw_version"], kPlugInVersion);
            expectClose(messages[config.value("state_topic", "")], expectedValue(name, point));
        }
    }
    EXPECT_EQ(nlohmann::json::parse(messages[discoveryTopic(readingOf("TMC-FT-362"), readingOf("TMC-FT-362").points[0])])
                  ["device"]["sw_version"],
              "3.62")
        << "the firmware of the meter's version CPs";

    // Energy from watt-hours (float) to whole-tenth kilowatt-hours, by another program.
    const auto meter = readingOf("TMC-FT-362");
    const MeterPoint energy{"nvoEnergySum", Quantity::Energy, Phase::Total};
    nv("nvoEnergySum", device("TMC-FT-362"))->Cps().Item("SCPTnvType")->SetValue(
        "PID 0:0:0:0:0:0:0:0, Scope 0, Index 146, NVT_CAT_SIGNED_QUAD, 4 bytes, A=1, B=-1, C=0");
    ASSERT_EQ(nv("nvoEnergySum", device("TMC-FT-362"))->FormatSpec(), "SNVT_elec_kwh_l");
    // Whole tenths of a kilowatt-hour from now on: the published value has at most one decimal.
    const auto end = std::chrono::steady_clock::now() + 5s;
    std::string published;
    do {
        std::this_thread::sleep_for(200ms);
        published = broker->retained()[stateTopic(meter, energy)];
    } while ((published.find('.') != std::string::npos && published.size() - published.find('.') > 2) &&
             std::chrono::steady_clock::now() < end);
    expectClose(published, expectedValue("TMC-FT-362", energy));
}

TEST_F(MqttGatewayTest, AMeterTakenOfflineIsOfflineWithinOnePeriodAndSigtermSaysTheGatewayIs)
{
    startPublishing("Demo", "--meter TMC-FT-362");
    const auto meter = readingOf("TMC-FT-362");
    ASSERT_EQ(waitFor(availabilityTopic(meter), "online")[availabilityTopic(meter)], "online");
    sim::SimControl control(lonWorks);
    control.setCondition(control.device("TMC-FT-362").id, sim::DeviceCondition::Offline);
    const auto takenAway = std::chrono::steady_clock::now();
    EXPECT_EQ(waitFor(availabilityTopic(meter), "offline")[availabilityTopic(meter)], "offline");
    EXPECT_LT(std::chrono::steady_clock::now() - takenAway, 4s) << "a period of two seconds, and a subscription";

    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(broker->retained()["tellumic/gateway/status"], "offline");
}

TEST_F(MqttGatewayTest, ABrokerRestartedGetsTheRetainedStateAgain)
{
    startPublishing("Demo", "--meter TMC-FT-362");
    const auto meter = readingOf("TMC-FT-362");
    ASSERT_EQ(waitFor("tellumic/gateway/status", "online")["tellumic/gateway/status"], "online");
    broker->stop();
    std::this_thread::sleep_for(1500ms);
    broker->start();
    // The broker keeps nothing over a restart (no persistence): what it holds now the gateway
    // published again.
    const auto messages = waitFor("tellumic/gateway/status", "online", 10s);
    EXPECT_EQ(messages.at("tellumic/gateway/status"), "online");
    EXPECT_EQ(messages.count(availabilityTopic(meter)), 1u);
    EXPECT_EQ(messages.count(discoveryTopic(meter, meter.points[0])), 1u);
    EXPECT_EQ(messages.count(stateTopic(meter, meter.points[0])), 1u);
    EXPECT_EQ(terminate(), 0);
}

TEST_F(MqttGatewayTest, AWrongPasswordEndsWithStatusOneAndSaysSo)
{
    tellumic::test::writeFile(home.root() / "wrong", "meter-reader\nguess\n");
    const auto r = runCommand("timeout 30 " + kGateway + " Demo --meter TMC-FT-362 --mqtt " + broker->url() + " --mqtt-credentials " +
                              shellQuoted((home.root() / "wrong").string()) + " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("tellumic-gateway: the MQTT broker refused the user name or password"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("guess"), std::string::npos) << "the password is never shown";
}

TEST_F(MqttGatewayTest, HostileNamesMakeNoLevelsOrWildcards)
{
    const std::string network = "Pl/ant #1+\"x\"\ny";
    sim::createLoggingNetwork(lonWorks, network, 1);
    EXPECT_EQ(topicLevel(network), "Pl%2Fant%20%231%2B%22x%22%0Ay");
    startPublishing(network, "");
    const std::string topic = "tellumic/" + topicLevel(network) + "/" + topicLevel(network + "-Meter-01") + "/availability";
    const auto messages = waitFor(topic, "online");
    EXPECT_EQ(messages.count(topic), 1u);
    for (const auto &[t, payload] : messages) {
        EXPECT_EQ(t.find_first_of("#+\n\""), std::string::npos) << t;
        EXPECT_LE(std::count(t.begin(), t.end(), '/'), 4) << t;
    }
    EXPECT_EQ(terminate(), 0);
}

}  // namespace
}  // namespace tellumic::gateway::test
