#include "gateway/gateway_core.h"

#include <algorithm>

#include "model/product_tables.h"
#include "model/value_boxes.h"
#include "model/si_value.h"

namespace tellumic::gateway {

namespace {

constexpr int kMaxRateSeconds = 3600;
constexpr int kDispatchMs = 100;

}  // namespace

Gateway::Gateway(lns::ObjectServer &server, GatewayOptions options) : m_server(server), m_options(std::move(options))
{
    m_options.rateSeconds = std::clamp(m_options.rateSeconds, 1, kMaxRateSeconds);
    QObject::connect(&m_dispatchTimer, &QTimer::timeout, [this] { dispatch(); });
    QObject::connect(&m_periodTimer, &QTimer::timeout, [this] { checkMeters(); });
}

Gateway::~Gateway()
{
    stop();
}

int Gateway::monitorRate() const
{
    // The object server's rate counts tenths of a second.
    return m_options.rateSeconds * 10;
}

void Gateway::start()
{
    if (!m_server.IsOpen())
        m_server.Open();
    for (const auto &name : m_options.networks)
        openNetwork(name);
    checkNamedMeters();
    m_server.SetEventSink(this);
    m_sinkSet = true;
    for (std::size_t i = 0; i < m_watched.size(); ++i)
        monitor(i);
}

void Gateway::startTimers()
{
    m_dispatchTimer.start(kDispatchMs);
    m_periodTimer.start(m_options.rateSeconds * 1000);
}

void Gateway::openNetwork(const std::string &name)
{
    try {
        auto network = m_server.Networks().Item(name);
        network->Open();
        m_networks.push_back(network);
        for (const auto &system : network->Systems()) {
            if (!system->IsOpen())
                system->Open();
            for (const auto &subsystem : system->Subsystems())
                for (const auto &device : subsystem->AppDevices())
                    addMeter(name, device);
        }
    } catch (const RuntimeError &e) {
        throw RuntimeError(e.number(), "cannot open network '" + name + "': " + e.description());
    }
}

void Gateway::addMeter(const std::string &network, const std::shared_ptr<lns::AppDevice> &device)
{
    const std::string name = device->Name();
    const auto &wanted = m_options.meters;
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), name) == wanted.end())
        return;
    const std::string programId = device->ProgramId();
    auto points = meterPoints(programId);
    if (points.empty()) {
        if (!wanted.empty())
            throw RuntimeError(lns::LcaError::kObjectNotFound, "'" + name + "' is not a meter the gateway serves");
        return;
    }
    MeterReading reading;
    reading.network = network;
    reading.name = name;
    reading.neuronId = device->NeuronId();
    reading.programId = programId;
    reading.model = findProgramId(programId)->Model;
    reading.firmware = firmwareOf(*device, programId);
    reading.points = std::move(points);
    Watched watched;
    watched.device = device;
    auto nvs = device->GetInterface()->Nvs();
    for (const auto &point : reading.points)
        watched.nvs.push_back(nvs.Item(point.nvName));
    m_readings.push_back(std::move(reading));
    m_watched.push_back(std::move(watched));
}

std::string Gateway::firmwareOf(lns::AppDevice &device, const std::string &programId)
{
    // Families 362 and 363 keep their version in the node object's CPs; the older ones give
    // it only through a calibration selector write, which the gateway does not make.
    const auto family = findProgramId(programId)->family;
    if (family != CatalogueFamily::F362 && family != CatalogueFamily::F363)
        return "";
    m_figures.deviceCalls += 2;
    const auto major = GetCpByTypeIndex(device, "F:0/C:0:165");
    const auto minor = GetCpByTypeIndex(device, "F:0/C:0:166");
    try {
        return major && minor ? major->Value() + "." + minor->Value() : "";
    } catch (const RuntimeError &) {
        return "";
    }
}

void Gateway::checkNamedMeters() const
{
    for (const auto &name : m_options.meters) {
        const bool found = std::any_of(m_readings.begin(), m_readings.end(), [&](const auto &r) { return r.name == name; });
        if (!found)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "there is no meter '" + name + "' in the networks given");
    }
}

void Gateway::monitor(std::size_t meter)
{
    auto &nvs = m_watched[meter].nvs;
    for (std::size_t p = 0; p < nvs.size(); ++p) {
        try {
            nvs[p]->SetMonitorRate(monitorRate());
            nvs[p]->SetMonitorTag(static_cast<std::int32_t>(meter) * kTagStride + static_cast<std::int32_t>(p) + 1);
            m_figures.deviceCalls += 2;
        } catch (const RuntimeError &) {
            // Counted as the meter not answering; the next period says so.
            ++m_watched[meter].errorsThisPeriod;
        }
    }
}

void Gateway::stop()
{
    m_dispatchTimer.stop();
    m_periodTimer.stop();
    for (auto &watched : m_watched)
        for (auto &nv : watched.nvs) {
            try {
                if (nv->IsMonitorOn())
                    nv->SetMonitorTag(0);
            } catch (const RuntimeError &) {
                // The object server going away ends monitoring too.
            }
        }
    if (m_sinkSet) {
        m_server.SetEventSink(nullptr);
        m_sinkSet = false;
    }
}

void Gateway::dispatch()
{
    try {
        m_server.DispatchEvents();
    } catch (const std::exception &) {
        ++m_figures.updateErrors;
    }
}

bool Gateway::fromTag(std::int32_t tag, std::size_t &meter, std::size_t &point) const
{
    if (tag < 1)
        return false;
    meter = static_cast<std::size_t>((tag - 1) / kTagStride);
    point = static_cast<std::size_t>((tag - 1) % kTagStride);
    return meter < m_readings.size() && point < m_readings[meter].points.size();
}

void Gateway::OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source)
{
    std::size_t meter = 0;
    std::size_t point = 0;
    if (!fromTag(tag, meter, point))
        return;
    ++m_figures.updatesReceived;
    try {
        // The NV's format now, not the one it had when the gateway started: another process
        // may have changed its type.
        const std::string format = (source ? source : m_watched[meter].nvs[point])->FormatSpec();
        const auto si = siValue(value, format);
        if (!si || si->unit != quantityUnit(m_readings[meter].points[point].quantity)) {
            ++m_figures.valuesRefused;
            m_readings[meter].values.erase(point);
            return;
        }
        m_readings[meter].values[point] = si->value;
        if (m_listener)
            m_listener->onValue(m_readings[meter], point, si->value);
    } catch (const RuntimeError &) {
        ++m_watched[meter].errorsThisPeriod;
    }
}

void Gateway::OnNvUpdateError(std::int32_t tag, const RuntimeError &)
{
    ++m_figures.updateErrors;
    std::size_t meter = 0;
    std::size_t point = 0;
    if (fromTag(tag, meter, point))
        ++m_watched[meter].errorsThisPeriod;
}

std::string Gateway::stateOf(std::size_t meter)
{
    auto &watched = m_watched[meter];
    try {
        ++m_figures.deviceCalls;
        if (!watched.device->Commissioned())
            return "unconfigured";
        ++m_figures.deviceCalls;
        switch (watched.device->State()) {
        case 4: return watched.errorsThisPeriod > 0 ? "not answering" : "online";
        case 2:
        case 3: return "unconfigured";
        default: return "offline";
        }
    } catch (const RuntimeError &) {
        return "not answering";
    }
}

void Gateway::checkMeters()
{
    for (std::size_t i = 0; i < m_readings.size(); ++i) {
        try {
            const std::string state = stateOf(i);
            const bool first = !m_watched[i].checked;
            m_watched[i].checked = true;
            m_watched[i].errorsThisPeriod = 0;
            if (first || state != m_readings[i].state)
                setAvailability(i, state);
        } catch (const std::exception &) {
            // A listener that failed: the next change tells it again.
        }
    }
}

void Gateway::setAvailability(std::size_t meter, const std::string &state)
{
    auto &reading = m_readings[meter];
    reading.state = state;
    reading.online = state == "online";
    if (m_listener)
        m_listener->onAvailability(reading);
}

}  // namespace tellumic::gateway
