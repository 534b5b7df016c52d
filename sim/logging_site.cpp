#include "sim/logging_site.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "foundation/clock.h"
#include "foundation/runtime_error.h"
#include "model/product_tables.h"
#include "sim/models/meter_state.h"
#include "sim/network_db.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"

namespace tellumic::sim {

namespace {

// Logging intervals a site's meters are set to, in minutes.
constexpr int kIntervals[] = {15, 30, 60, 10, 5};

std::string meterName(const std::string &network, int n, int count)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, count >= 100 ? "%03d" : "%02d", n);
    return network + "-Meter-" + buf;
}

// The location text of the n-th meter: "P" and three digits, as hexadecimal byte pairs.
std::string location(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "50%02X%02X%02X0000", 0x30 + n / 100 % 10, 0x30 + n / 10 % 10, 0x30 + n % 10);
    return buf;
}

struct SiteMeter
{
    std::string name;
    SiteLog log;
};

// The rows of the network; empty when it existed already.
std::vector<SiteMeter> insertNetwork(NetworkDb &ndb, const std::string &network, int count, SiteResult &result)
{
    std::vector<SiteMeter> meters;
    ndb.write([&] {
        auto &db = ndb.db();
        SQLite::Statement exists(db,
                                 "SELECT COUNT(d.id) FROM networks n LEFT JOIN systems s ON s.network_id = n.id"
                                 " LEFT JOIN subsystems b ON b.system_id = s.id LEFT JOIN devices d ON d.subsystem_id = b.id"
                                 " WHERE n.name = ? GROUP BY n.id");
        exists.bind(1, network);
        if (exists.executeStep()) {
            const int devices = exists.getColumn(0).getInt();
            if (devices != count)
                throw RuntimeError(lns::LcaError::kInvalidValue, "The network \"" + network + "\" exists already with " +
                                                                     std::to_string(devices) + " devices");
            result.meters = devices;
            return;
        }
        std::set<std::string> neuronIds;
        SQLite::Statement ids(db, "SELECT neuron_id FROM devices");
        while (ids.executeStep())
            neuronIds.insert(ids.getColumn(0).getString());
        std::vector<const ProgramIdRecord *> models;
        for (const auto &m : supportedMeters())
            if (m.logging)
                models.push_back(&m);

        SQLite::Statement importFolder(db, "SELECT import_folder FROM systems ORDER BY id LIMIT 1");
        const std::string folder = importFolder.executeStep() ? importFolder.getColumn(0).getString() : std::string();
        const auto rows = addNetworkRows(ndb, network, folder, "Meters");
        std::map<std::string, std::int64_t> templates;  // by model
        unsigned serial = 0;
        for (int n = 0; n < count; ++n) {
            const ProgramIdRecord &model = *models[static_cast<std::size_t>(n) % models.size()];
            auto tpl = templates.find(model.Model);
            if (tpl == templates.end())
                tpl = templates.emplace(model.Model, addTemplate(ndb, rows.system, model.Model, model.ProgramId)).first;
            std::string neuronId;
            do
                neuronId = neuronIdText(0x07, 0x2000 + serial++);
            while (neuronIds.count(neuronId));
            neuronIds.insert(neuronId);
            SiteMeter meter{meterName(network, n + 1, count), siteLog(n)};
            addDevice(ndb, rows.subsystem, {meter.name, neuronId, model.ProgramId, location(n + 1), tpl->second});
            meters.push_back(std::move(meter));
        }
        result.created = true;
        result.meters = count;
    });
    return meters;
}

}  // namespace

SiteLog siteLog(int n)
{
    SiteLog log;
    log.minutes = kIntervals[static_cast<std::size_t>(n) % std::size(kIntervals)];
    // One to nine days of records, in an order that does not follow the intervals.
    const int days = 1 + (n * 7) % 9;
    log.records = std::min<std::int64_t>(std::int64_t{days} * 1440 / log.minutes, 24192);
    log.firstRecord = 1 + (std::int64_t{n} * 4099) % 50000;
    return log;
}

SiteResult createLoggingNetwork(const std::filesystem::path &lonWorksFolder, const std::string &network, int count)
{
    if (count < 1 || count > kMaxSiteMeters)
        throw RuntimeError(lns::LcaError::kInvalidValue, "A site takes 1 to " + std::to_string(kMaxSiteMeters) + " meters");
    SiteResult result;
    std::vector<SiteMeter> meters;
    {
        NetworkDb ndb(networkDbPath(lonWorksFolder));
        meters = insertNetwork(ndb, network, count, result);
    }
    if (meters.empty())
        return result;

    // The interval is set as the network sets it, so that the meter knows it; the log that
    // runs up to now is then put in place of the one the change started.
    SimObjectServer server(lonWorksFolder);
    server.Open();
    auto net = server.Networks().Item(network);
    net->Open();
    auto sys = net->Systems().Item(1);
    sys->Open();
    auto devices = sys->Subsystems().Item("Meters")->AppDevices();
    SimControl control(lonWorksFolder);
    const double now = seconds(processClock().now());
    for (const SiteMeter &m : meters) {
        devices.Item(m.name)->GetInterface()->Nvs().Item("nciLogMinutes")->SetValue(std::to_string(m.log.minutes));
        const double interval = 60.0 * m.log.minutes;
        const double start = std::floor(now / interval) * interval - static_cast<double>(m.log.records) * interval;
        const LogState log{m.log.firstRecord, {{m.log.firstRecord, start, interval}}};
        control.setDeviceValue(control.device(network + "/" + network + "/Meters/" + m.name).id, kLogKey,
                               numberListText(logStateNumbers(log)));
    }
    return result;
}

}  // namespace tellumic::sim
