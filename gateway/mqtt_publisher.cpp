#include "gateway/mqtt_publisher.h"

#include <fstream>
#include <mosquitto.h>
#include <unistd.h>

#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "gateway/mqtt_topics.h"

namespace tellumic::gateway {

namespace {

constexpr int kTickMs = 50;
constexpr int kKeepAliveSeconds = 30;
constexpr int kMaxBackoffSeconds = 30;
constexpr int kQos = 1;
constexpr std::int32_t kFileError = 53;  // "File not found"
// CONNACK codes of MQTT 3.1.1 for a bad user name or password and for not authorised.
constexpr int kBadCredentials = 4;
constexpr int kNotAuthorised = 5;

struct LibraryUse
{
    LibraryUse() { mosquitto_lib_init(); }
};

}  // namespace

bool parseMqttUrl(const std::string &url, MqttSettings &settings)
{
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
        settings.tls = false;
        settings.port = 1883;
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        settings.tls = true;
        settings.port = 8883;
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::string host = rest;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos)
            return false;
        host = rest.substr(1, close - 1);
        const auto after = rest.substr(close + 1);
        if (!after.empty() && after[0] != ':')
            return false;
        if (!after.empty())
            port = after.substr(1);
    } else if (const auto colon = rest.rfind(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty())
            return false;
    }
    if (!port.empty()) {
        const auto number = parseWholeNumber(port, 1, 65535);
        if (!number)
            return false;
        settings.port = static_cast<int>(*number);
    }
    if (host.empty() || host.find_first_of("/@?#[] ") != std::string::npos)
        return false;
    settings.host = host;
    return true;
}
void readCredentials(const std::string &path, MqttSettings &settings)
{
    std::ifstream in(path);
    if (!in)
        throw RuntimeError(kFileError, "cannot read the MQTT credentials file " + path);
    std::getline(in, settings.user);
    std::getline(in, settings.password);
    for (auto *s : {&settings.user, &settings.password})
        if (!s->empty() && s->back() == '\r')
            s->pop_back();
    if (settings.user.empty())
        throw RuntimeError(kFileError, "the MQTT credentials file " + path + " has no user name on its first line");
}

MqttPublisher::MqttPublisher(Gateway &gateway, MqttSettings settings)
    : m_gateway(gateway), m_settings(std::move(settings))
{
    static LibraryUse library;
    const std::string id = "tellumic-gateway-" + std::to_string(::getpid());
    m_client = mosquitto_new(id.c_str(), true, this);
    if (!m_client)
        throw RuntimeError(kFileError, "cannot make an MQTT client");
    mosquitto_connect_callback_set(m_client, &MqttPublisher::connected);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::published);
    const std::string status = gatewayStatusTopic();
    mosquitto_will_set(m_client, status.c_str(), 7, "offline", kQos, true);
    if (!m_settings.user.empty())
        mosquitto_username_pw_set(m_client, m_settings.user.c_str(), m_settings.password.c_str());
    if (m_settings.tls) {
        const char *caFile = m_settings.caFile.empty() ? nullptr : m_settings.caFile.c_str();
        if (mosquitto_tls_set(m_client, caFile, caFile ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr) !=
            MOSQ_ERR_SUCCESS)
            throw RuntimeError(kFileError, "cannot use the CA file " + m_settings.caFile + " for TLS");
    }
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

MqttPublisher::~MqttPublisher()
{
    m_timer.stop();
    mosquitto_destroy(m_client);
}

void MqttPublisher::start()
{
    m_nextAttempt = std::chrono::steady_clock::now();
    tick();
    m_timer.start(kTickMs);
}

void MqttPublisher::tick()
{
    if (m_refused)
        return;
    if (!m_socketOpen) {
        if (std::chrono::steady_clock::now() >= m_nextAttempt)
            tryConnect();
        return;
    }
    if (mosquitto_loop(m_client, 0, 1) != MOSQ_ERR_SUCCESS)
        lost();
}

void MqttPublisher::tryConnect()
{
    const int rc = m_everConnected ? mosquitto_reconnect(m_client)
                                   : mosquitto_connect(m_client, m_settings.host.c_str(), m_settings.port, kKeepAliveSeconds);
    if (rc == MOSQ_ERR_SUCCESS) {
        m_socketOpen = true;
        return;
    }
    lost();
}

void MqttPublisher::lost()
{
    m_socketOpen = false;
    m_connected = false;
    m_nextAttempt = std::chrono::steady_clock::now() + std::chrono::seconds(m_backoffSeconds);
    m_backoffSeconds = std::min(m_backoffSeconds * 2, kMaxBackoffSeconds);
}

void MqttPublisher::connected(struct mosquitto *, void *self, int rc)
{
    auto &p = *static_cast<MqttPublisher *>(self);
    if (rc == kBadCredentials || rc == kNotAuthorised) {
        p.m_refused = true;
        p.m_connected = false;
        if (p.m_onRefused)
            p.m_onRefused(std::string("the MQTT broker refused the user name or password (") +
                          (rc == kBadCredentials ? "bad user name or password" : "not authorised") + ")");
        return;
    }
    if (rc != 0)
        return;  // the next loop sees the connection closed and tries again later
    p.m_connected = true;
    p.m_everConnected = true;
    p.m_backoffSeconds = 1;
    p.publishAll();
}

void MqttPublisher::published(struct mosquitto *, void *self, int mid)
{
    auto &p = *static_cast<MqttPublisher *>(self);
    if (mid == p.m_lastMid)
        p.m_lastMidDone = true;
}

int MqttPublisher::publish(const std::string &topic, const std::string &payload)
{
    int mid = -1;
    const int rc = mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     kQos, true);
    if (rc == MOSQ_ERR_SUCCESS)
        m_gateway.notePublished();
    return mid;
}

void MqttPublisher::publishAll()
{
    // The gateway's own "online" last: who sees it has every config and value before it.
    for (const auto &meter : m_gateway.meters()) {
        for (std::size_t i = 0; i < meter.points.size(); ++i)
            publish(discoveryTopic(meter, meter.points[i]), discoveryPayload(meter, meter.points[i], m_settings.gatewayVersion));
        publish(availabilityTopic(meter), meter.online ? "online" : "offline");
        for (const auto &[index, value] : meter.values)
            publish(stateTopic(meter, meter.points[index]), statePayload(meter.points[index], value));
    }
    publish(gatewayStatusTopic(), "online");
}

void MqttPublisher::onValue(const MeterReading &meter, std::size_t point, double value)
{
    if (m_connected)
        publish(stateTopic(meter, meter.points[point]), statePayload(meter.points[point], value));
}

void MqttPublisher::onAvailability(const MeterReading &meter)
{
    if (m_connected)
        publish(availabilityTopic(meter), meter.online ? "online" : "offline");
}

void MqttPublisher::finish(std::chrono::milliseconds timeout)
{
    m_timer.stop();
    if (!m_connected)
        return;
    m_lastMidDone = false;
    m_lastMid = publish(gatewayStatusTopic(), "offline");
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!m_lastMidDone && std::chrono::steady_clock::now() < end)
        if (mosquitto_loop(m_client, kTickMs, 1) != MOSQ_ERR_SUCCESS)
            break;
    mosquitto_disconnect(m_client);
    mosquitto_loop(m_client, kTickMs, 1);
    m_connected = false;
}

}  // namespace tellumic::gateway
