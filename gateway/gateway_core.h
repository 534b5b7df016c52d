#pragma once

// The gateway's core: the live values of the meters of one or more networks, taken through
// the object server's NV monitoring (as the device window watches a tab) and converted with
// each NV's present type into base units, and each meter's availability once a period.
// Publishers listen to it; it knows nothing of them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QTimer>

#include "foundation/object_server.h"
#include "gateway/meter_points.h"

namespace tellumic::gateway {

struct GatewayOptions
{
    std::vector<std::string> networks;
    std::vector<std::string> meters;  // device names; empty: every meter served in the networks
    int rateSeconds = 10;             // the monitor rate and the availability period
};

// A meter the gateway watches and what it last heard of it.
struct MeterReading
{
    std::string network, name, neuronId, programId, model;
    std::string firmware;  // "4.2" from the meter's version CPs; "" where the family keeps it elsewhere
    std::vector<MeterPoint> points;
    std::map<std::size_t, double> values;  // by index into points, in the quantity's base unit
    bool online = false;
    // "online", "offline", "unconfigured", "not answering"
    std::string state = "not answering";
};

class GatewayListener
{
public:
    virtual ~GatewayListener() = default;
    virtual void onValue(const MeterReading &meter, std::size_t point, double value) = 0;
    // The meter's availability changed (and once for every meter at the first period).
    virtual void onAvailability(const MeterReading &meter) = 0;
};

// The gateway's own figures since it started.
struct GatewayFigures
{
    std::uint64_t updatesReceived = 0;
    std::uint64_t updateErrors = 0;
    std::uint64_t valuesRefused = 0;  // updates whose format gives no value in base units
    std::uint64_t deviceCalls = 0;    // calls the gateway made on the meters
    std::uint64_t messagesPublished = 0;  // counted by the publishers
};

class Gateway final : public lns::ObjectServerEvents
{
public:
    Gateway(lns::ObjectServer &server, GatewayOptions options);
    ~Gateway() override;
    Gateway(const Gateway &) = delete;
    Gateway &operator=(const Gateway &) = delete;

    // Opens the networks, finds the meters and turns their monitoring on. A network that
    // cannot be opened, a named meter that is missing or not served: RuntimeError whose
    // description says which.
    void start();
    // Monitoring off and the event sink detached; never throws.
    void stop();
    // Drives dispatch every 100 ms and checkMeters every period on the Qt event loop.
    void startTimers();

    void setListener(GatewayListener *listener) { m_listener = listener; }
    // Delivers the object server's due events; a failure is counted, never thrown.
    void dispatch();
    // Once a period: each meter's state; a meter whose updates failed since the last check
    // is "not answering".
    void checkMeters();

    const std::vector<MeterReading> &meters() const { return m_readings; }
    const GatewayFigures &figures() const { return m_figures; }
    void notePublished() { ++m_figures.messagesPublished; }
    int monitorRate() const;

    static constexpr std::int32_t kTagStride = 64;

    void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source) override;
    void OnNvUpdateError(std::int32_t tag, const RuntimeError &error) override;
    void OnSystemServicePin(const std::string &, const std::string &) override {}
    void OnSystemNssIdle() override {}

private:
    struct Watched
    {
        std::shared_ptr<lns::AppDevice> device;
        std::vector<std::shared_ptr<lns::Nv>> nvs;  // by point
        int errorsThisPeriod = 0;
        bool checked = false;
    };

    void openNetwork(const std::string &name);
    void addMeter(const std::string &network, const std::shared_ptr<lns::AppDevice> &device);
    void checkNamedMeters() const;
    std::string firmwareOf(lns::AppDevice &device, const std::string &programId);
    void monitor(std::size_t meter);
    void setAvailability(std::size_t meter, const std::string &state);
    std::string stateOf(std::size_t meter);
    // The meter and point a tag names; false for a tag of no point.
    bool fromTag(std::int32_t tag, std::size_t &meter, std::size_t &point) const;

    lns::ObjectServer &m_server;
    GatewayOptions m_options;
    GatewayListener *m_listener = nullptr;
    std::vector<MeterReading> m_readings;
    std::vector<Watched> m_watched;
    std::vector<std::shared_ptr<lns::Network>> m_networks;
    GatewayFigures m_figures;
    bool m_sinkSet = false;
    QTimer m_dispatchTimer;
    QTimer m_periodTimer;
};

}  // namespace tellumic::gateway
