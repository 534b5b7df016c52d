#include "sim/sim_object_server.h"

#include "foundation/paths.h"
#include "sim/installation.h"
#include "sim/object_seam.h"
#include "sim/sim_objects.h"

namespace tellumic::sim {

SimObjectServer::SimObjectServer(const std::filesystem::path &lonWorksFolder, SimOptions options)
    : m_core(atSeam([&] { return std::make_shared<SimCore>(lonWorksFolder, std::move(options)); }))
{
    // The core hands out NV handles in events; a weak reference keeps it free of a cycle.
    std::weak_ptr<SimCore> weak = m_core;
    m_core->makeNv = [weak](std::int64_t deviceId, const std::string &nvName) -> std::shared_ptr<lns::Nv> {
        auto core = weak.lock();
        return core ? makeNvHandle(core, deviceId, nvName) : nullptr;
    };
}

SimObjectServer::~SimObjectServer()
{
    m_core->sink = nullptr;
    m_core->makeNv = nullptr;
}

void SimObjectServer::Open()
{
    m_core->serverOpen = true;
}

void SimObjectServer::Close()
{
    m_core->serverOpen = false;
    m_core->openNetworks.clear();
    m_core->openSystems.clear();
    m_core->pausedSystems.clear();
    m_core->inTransaction = false;
    m_core->pendingWrites.clear();
}

bool SimObjectServer::IsOpen()
{
    return m_core->serverOpen;
}

void SimObjectServer::SetRemote(bool remote)
{
    if (m_core->serverOpen)
        throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: the remote flag cannot change while the object server is open");
    m_remote = remote;
}

lns::Collection<lns::NetworkInterface> SimObjectServer::NetworkInterfaces()
{
    return atSeam([&] { return makeNetworkInterfaces(m_core); });
}

void SimObjectServer::SetActiveNetworkInterface(std::shared_ptr<lns::NetworkInterface> ni)
{
    if (ni && !NetworkInterfaces().Find(atSeam([&] { return ni->Name(); })))
        throw RuntimeError(lns::LcaError::kObjectNotFound, "LCA: network interface '" + ni->Name() + "' not found");
    m_activeInterface = std::move(ni);
}

lns::Collection<lns::Network> SimObjectServer::Networks()
{
    m_core->requireServerOpen();
    return guardedAll(atSeam([&] { return makeNetworks(m_core); }));
}

std::shared_ptr<lns::ComponentApps> SimObjectServer::ComponentApplications()
{
    return guarded(makeComponentApps(m_core, "server"));
}

void SimObjectServer::SetEventSink(lns::ObjectServerEvents *sink)
{
    m_sink = sink ? guardedSink(*sink) : nullptr;
    m_core->sink = m_sink.get();
}

void SimObjectServer::DispatchEvents()
{
    atSeam([&] { m_core->dispatchEvents(); });
}

NoInstallation::NoInstallation() : RuntimeError(ErrorNumber::kInvalidLonWorksPath, noInstallationMessage(tellumicHome()))
{
}

std::string noInstallationMessage(const std::filesystem::path &home)
{
    return "there is no simulated LNS installation in " + home.string() + "; run 'lns-sim init' first";
}

std::filesystem::path installedLonWorksFolder()
{
    const auto path = lonWorksPathSetting(registryStorePath());
    if (path.empty())
        throw NoInstallation();
    return nativePath(path);
}

}  // namespace tellumic::sim
