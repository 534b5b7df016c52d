#include "browser/network_snapshot.h"

#include <array>
#include <map>

#include "foundation/paths.h"
#include "foundation/runtime_error.h"
#include "log/log_file.h"
#include "model/date_time.h"
#include "model/product_tables.h"

namespace tellumic::browser {

namespace {

struct NodeStateName
{
    std::int32_t nodeState;
    const char *text;
};

// LonWorks node states as a commissioning engineer reads them.
constexpr std::array<NodeStateName, 6> kNodeStates{{
    {4, "Online"},
    {2, "Unconfigured"},
    {3, "Applicationless"},
    {6, "Offline"},
    {12, "Soft offline"},
    {140, "Bypassed"},
}};

bool isLater(const LastLogRecord &a, const LastLogRecord &b)
{
    const auto key = [](const LogDateTime &t) {
        return std::array<std::int64_t, 6>{t.year, t.month, t.day, t.hour, t.minute, t.second};
    };
    return key(a.dateTime) > key(b.dateTime);
}

}  // namespace

std::string deviceStateText(bool commissioned, std::int32_t nodeState)
{
    if (!commissioned)
        return "Uncommissioned";
    for (const auto &s : kNodeStates)
        if (s.nodeState == nodeState)
            return s.text;
    return "Unknown (" + std::to_string(nodeState) + ")";
}

LogFileStatus readLogStatus(const std::string &deviceName)
{
    LogFileStatus status;
    for (const bool isShort : {false, true}) {
        const auto file = programFolder() / logFileName(deviceName, isShort);
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec)))
            continue;
        LastLogRecord found;
        try {
            scanLastLogRecnum(readLogFileTail(file, kLastLogRecnumTailBytes), found);
        } catch (const RuntimeError &e) {
            if (status.file.empty()) {
                status.file = file;
                status.error = e.description();
            }
            continue;
        }
        // Of a long and a short log, the one that was downloaded into last.
        if (status.file.empty() || !status.error.empty() || isLater(found, status.last)) {
            status.file = file;
            status.last = found;
            status.error.clear();
        }
    }
    return status;
}

const PluginCommand *commandOf(const DeviceEntry &device, std::size_t index)
{
    return index < device.commands.size() ? &device.commands[index] : nullptr;
}

namespace {

// The commands plug-ins registered on a device's template; many devices share a template, so
// each template's are read once per pass (cache).
const std::vector<PluginCommand> &templateCommands(const lns::Collection<lns::DeviceTemplate> &templates,
                                                   const std::string &name,
                                                   std::map<std::string, std::vector<PluginCommand>> &cache)
{
    auto known = cache.find(name);
    if (known == cache.end()) {
        std::vector<PluginCommand> commands;
        if (auto t = templates.Find(name))
            for (const auto &app : t->ComponentApplications()->Items())
                commands.push_back({app->Name(), app->ProgId(), app->CommandId(), app->ObjectType()});
        known = cache.emplace(name, std::move(commands)).first;
    }
    return known->second;
}

}  // namespace

struct NetworkReader::OpenNetwork
{
    std::shared_ptr<lns::Network> network;
    std::shared_ptr<lns::System> system;
    std::vector<std::shared_ptr<lns::AppDevice>> devices;  // in the order of the entry
};

NetworkReader::NetworkReader(lns::ObjectServer &server) : m_server(server) {}

NetworkReader::~NetworkReader()
{
    try {
        for (auto &open : m_open)
            if (open->network)
                open->network->Close();
    } catch (const RuntimeError &) {
        // Closing is a courtesy; a server that failed meanwhile has nothing left open.
    }
}

std::vector<NetworkEntry> NetworkReader::read()
{
    if (!m_server.IsOpen())
        m_server.Open();
    m_open.clear();
    std::vector<NetworkEntry> networks;
    for (const auto &network : m_server.Networks()) {
        NetworkEntry entry;
        entry.name = network->Name();
        try {
            entry = readNetwork(entry.name);
        } catch (const RuntimeError &e) {
            entry.error = e.description();
            m_open.push_back(std::make_unique<OpenNetwork>());  // keeps the places of the entries
        }
        networks.push_back(std::move(entry));
    }
    return networks;
}

NetworkEntry NetworkReader::readNetwork(const std::string &name)
{
    auto open = std::make_unique<OpenNetwork>();
    open->network = m_server.Networks().Item(name);
    open->network->Open();
    NetworkEntry entry;
    try {
        open->system = open->network->Systems().Item(1);
        open->system->Open();
        entry = readOpen(*open);
    } catch (const RuntimeError &) {
        open->network->Close();  // no network stays open that the browser does not show
        throw;
    }
    m_open.push_back(std::move(open));
    return entry;
}

NetworkEntry NetworkReader::readOpen(OpenNetwork &open)
{
    NetworkEntry entry;
    entry.name = open.network->Name();
    entry.system = open.system->Name();
    const auto templates = open.system->DeviceTemplates();
    // Many devices share a template: its commands are read once.
    std::map<std::string, std::vector<PluginCommand>> commandsOf;
    for (const auto &sub : open.system->Subsystems()) {
        SubsystemEntry subsystem;
        subsystem.name = sub->Name();
        for (const auto &device : sub->AppDevices()) {
            DeviceEntry d;
            d.name = device->Name();
            d.network = entry.name;
            d.objectName = entry.name + "/" + entry.system + "/" + subsystem.name + "/" + d.name;
            d.programId = device->ProgramId();
            if (const ProgramIdRecord *meter = findProgramId(d.programId)) {
                d.model = meter->Model;
                d.logging = meter->logging;
            }
            d.commands = templateCommands(templates, device->TemplateName(), commandsOf);
            d.state = deviceStateText(device->Commissioned(), device->State());
            if (d.logging)
                d.log = readLogStatus(d.name);
            subsystem.devices.push_back(std::move(d));
            open.devices.push_back(device);
        }
        entry.subsystems.push_back(std::move(subsystem));
    }
    return entry;
}

void NetworkReader::refresh(std::vector<NetworkEntry> &networks)
{
    for (std::size_t n = 0; n < networks.size() && n < m_open.size(); ++n) {
        const auto &devices = m_open[n]->devices;
        if (devices.empty())
            continue;
        // A plug-in registered or deregistered in the network by another program meanwhile.
        const auto templates = m_open[n]->system->DeviceTemplates();
        std::map<std::string, std::vector<PluginCommand>> commandsOf;
        std::size_t i = 0;
        for (auto &sub : networks[n].subsystems) {
            for (auto &d : sub.devices) {
                if (i >= devices.size())
                    return;
                const auto &device = devices[i++];
                d.commands = templateCommands(templates, device->TemplateName(), commandsOf);
                d.state = deviceStateText(device->Commissioned(), device->State());
                if (d.logging)
                    d.log = readLogStatus(d.name);
            }
        }
    }
}

}  // namespace tellumic::browser
