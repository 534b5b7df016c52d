#pragma once

// Publishes the gateway's meters to an MQTT broker through libmosquitto, on the Qt event
// loop: retained values, availability and Home Assistant discovery configs (layout in
// gateway/mqtt_topics.h). A lost broker is tried again with a growing pause, and on every
// connection everything retained is published afresh.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include <QTimer>

#include "gateway/gateway_core.h"

struct mosquitto;

namespace tellumic::gateway {

struct MqttSettings
{
    std::string host = "127.0.0.1";
    int port = 1883;
    bool tls = false;
    std::string caFile;  // TLS: the CA certificates to trust; "" for the system's
    std::string user, password;
    std::string gatewayVersion;
};

// "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" into settings; false for anything else.
bool parseMqttUrl(const std::string &url, MqttSettings &settings);
// The user name (first line) and password (second line) of a credentials file;
// RuntimeError when it cannot be read or has no user name.
void readCredentials(const std::string &path, MqttSettings &settings);

class MqttPublisher final : public GatewayListener
{
public:
    MqttPublisher(Gateway &gateway, MqttSettings settings);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Called once when the broker refuses the user name or password: no use trying again.
    void setOnRefused(std::function<void(const std::string &)> onRefused) { m_onRefused = std::move(onRefused); }
    // Starts connecting and serving the connection on the event loop.
    void start();
    // Publishes "offline" for the gateway, waits for the broker to take it (up to timeout)
    // and disconnects.
    void finish(std::chrono::milliseconds timeout);
    bool connected() const { return m_connected; }

    void onValue(const MeterReading &meter, std::size_t point, double value) override;
    void onAvailability(const MeterReading &meter) override;

private:
    static void connected(struct mosquitto *, void *self, int rc);
    static void published(struct mosquitto *, void *self, int mid);
    void tick();
    void tryConnect();
    void lost();
    void publishAll();
    int publish(const std::string &topic, const std::string &payload);

    Gateway &m_gateway;
    MqttSettings m_settings;
    struct mosquitto *m_client = nullptr;
    std::function<void(const std::string &)> m_onRefused;
    QTimer m_timer;
    bool m_socketOpen = false;
    bool m_connected = false;
    bool m_refused = false;
    bool m_everConnected = false;
    int m_backoffSeconds = 1;
    std::chrono::steady_clock::time_point m_nextAttempt{};
    int m_lastMid = -1;
    bool m_lastMidDone = false;
};

}  // namespace tellumic::gateway
