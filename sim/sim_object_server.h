#pragma once

// The simulated LNS object server: the object-server interfaces over the network database
// of a LonWorks folder. The composition root picks it; tests and lns-sim use it directly.
// Every object it hands out reports failures of the database or the file system as the
// object server's run-time error (sim/object_seam.h).

#include <filesystem>
#include <memory>

#include "foundation/object_server.h"
#include "sim/sim_core.h"

namespace tellumic::sim {

class SimObjectServer final : public lns::ObjectServer
{
public:
    explicit SimObjectServer(const std::filesystem::path &lonWorksFolder, SimOptions options = {});
    ~SimObjectServer() override;

    void Open() override;
    void Close() override;
    bool IsOpen() override;

    bool Remote() override { return m_remote; }
    void SetRemote(bool remote) override;
    bool BooleanOption() override { return m_booleanOption; }
    void SetBooleanOption(bool value) override { m_booleanOption = value; }
    std::int32_t ConnectionFlags() override { return m_connectionFlags; }
    void SetConnectionFlags(std::int32_t flags) override { m_connectionFlags = flags; }

    lns::Collection<lns::NetworkInterface> NetworkInterfaces() override;
    std::shared_ptr<lns::NetworkInterface> ActiveNetworkInterface() override { return m_activeInterface; }
    void SetActiveNetworkInterface(std::shared_ptr<lns::NetworkInterface> ni) override;

    lns::Collection<lns::Network> Networks() override;
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override;

    void SetEventSink(lns::ObjectServerEvents *sink) override;
    void DispatchEvents() override;

    SimCore &core() { return *m_core; }

private:
    std::shared_ptr<SimCore> m_core;
    bool m_remote = false;
    bool m_booleanOption = false;
    std::int32_t m_connectionFlags = 0;
    std::shared_ptr<lns::NetworkInterface> m_activeInterface;
    std::unique_ptr<lns::ObjectServerEvents> m_sink;
};

// There is no simulated installation under TELLUMIC_HOME: error 800407DA with the text
// every program gives for it (noInstallationMessage).
class NoInstallation : public RuntimeError
{
public:
    NoInstallation();
};

// What every program says where there is no simulated installation under home.
std::string noInstallationMessage(const std::filesystem::path &home);

// The LonWorks folder named in the registry ("LonWorks Path" under HKLM
// "SOFTWARE\LonWorks"); NoInstallation when there is none.
std::filesystem::path installedLonWorksFolder();

}  // namespace tellumic::sim
