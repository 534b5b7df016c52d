#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/installation.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic::sim::test {

// Records what the object server delivers.
struct RecordingSink : lns::ObjectServerEvents
{
    struct Update
    {
        std::int32_t tag;
        std::string value;
        std::string source;
    };
    std::vector<Update> updates;
    std::vector<std::pair<std::int32_t, std::int32_t>> errors;  // tag, error number
    std::vector<std::pair<std::string, std::string>> pins;
    int idles = 0;
    std::function<void()> onIdle;

    void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source) override
    {
        updates.push_back({tag, value, source ? source->Name() : ""});
    }
    void OnNvUpdateError(std::int32_t tag, const RuntimeError &error) override { errors.emplace_back(tag, error.number()); }
    void OnSystemServicePin(const std::string &neuronId, const std::string &programId) override
    {
        pins.emplace_back(neuronId, programId);
    }
    void OnSystemNssIdle() override
    {
        ++idles;
        if (onIdle)
            onIdle();
    }
};

// A session of its own on an installation, as another program opens one: an object server
// with a network and its first system open.
struct Session
{
    std::unique_ptr<SimObjectServer> server;
    std::shared_ptr<lns::System> system;

    std::shared_ptr<lns::AppDevice> meter(const std::string &name) const
    {
        return system->Subsystems().Item("Meters")->AppDevices().Item(name);
    }
};

inline Session openSession(const std::filesystem::path &lonWorks, const std::string &network, const SimOptions &options)
{
    Session s{std::make_unique<SimObjectServer>(lonWorks, options), nullptr};
    s.server->Open();
    auto net = s.server->Networks().Item(network);
    net->Open();
    s.system = net->Systems().Item(1);
    s.system->Open();
    return s;
}

inline Session openSession(const std::filesystem::path &lonWorks, const std::string &network, Clock *clock = nullptr)
{
    SimOptions options;
    options.clock = clock;
    return openSession(lonWorks, network, options);
}

// The demo installation in a fresh TELLUMIC_HOME, its network and system open, and the
// logging meter at hand.
class SimTest : public tellumic::test::HomeTest
{
public:
    void SetUp() override
    {
        lonWorks = createDemoInstallation(home.root()).lonWorksFolder;
        reopen();
        server->SetEventSink(&sink);
    }

    // Another object server on the demo network, its system open, on the test's clock.
    std::unique_ptr<SimObjectServer> openServer(SimOptions options = {})
    {
        options.clock = &home.clock;
        return openSession(lonWorks, "Demo", options).server;
    }
    // Opens the installation afresh, as after a restart: server, system and meter are new
    // (no event sink is set).
    void reopen(SimOptions options = {})
    {
        options.clock = &home.clock;
        auto session = openSession(lonWorks, "Demo", options);
        server = std::move(session.server);
        system = session.system;
        meter = device("TMC-FT-Log-364");
    }

    std::shared_ptr<lns::AppDevice> device(const std::string &name)
    {
        return system->Subsystems().Item("Meters")->AppDevices().Item(name);
    }
    std::shared_ptr<lns::Nv> nv(const std::string &name, std::shared_ptr<lns::AppDevice> d = nullptr)
    {
        return (d ? d : meter)->GetInterface()->Nvs().Item(name);
    }
    void setFaults(const DeviceFaults &faults, const std::string &name = "TMC-FT-Log-364")
    {
        SimControl control(lonWorks);
        control.setFaults(control.device(name).id, faults);
    }

    std::filesystem::path lonWorks;
    std::unique_ptr<SimObjectServer> server;
    std::shared_ptr<lns::System> system;
    std::shared_ptr<lns::AppDevice> meter;
    RecordingSink sink;
};

}  // namespace tellumic::sim::test
