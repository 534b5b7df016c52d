#pragma once

#include <filesystem>
#include <memory>

#include "device/device_window.h"
#include "device/monitor.h"
#include "foundation/plugin_state.h"
#include "host/plugin_api.h"
#include "log/log_transfer.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic::test {

// A plug-in process as a host drives it: the demo installation, the simulated object
// server as the composition root installs it, and handlers for the last release and the
// process's end. TearDown puts every piece of process state a test may have changed back.
class PlugInProcessTest : public HomeTest
{
protected:
    void SetUp() override
    {
        lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        plugIn() = PlugInState{};
        LnsBusy() = false;
        logFtpState() = LogFtpState{};
        lastReleases = 0;
        setObjectServerFactory([this] {
            options.clock = &home.clock;
            auto made = std::make_shared<sim::SimObjectServer>(lonWorks, options);
            server = made.get();
            ++serversMade;
            return made;
        });
        LNSPlugInAPI::setLastReleaseHandler([] { ++lastReleases; });
        setProcessEndHandler([] {});
    }
    void TearDown() override
    {
        if (DeviceWindow::exists())
            delete &DeviceWindow::instance();
        plugIn() = PlugInState{};
        monitorState() = MonitorState{};
        CurrentNvs() = {};
        setObjectServerFactory(nullptr);
        LNSPlugInAPI::setLastReleaseHandler(nullptr);
        setProcessEndHandler(nullptr);
        LnsBusy() = false;
        logFtpState() = LogFtpState{};
    }

    std::filesystem::path lonWorks;
    sim::SimOptions options;  // for the servers made from here on
    sim::SimObjectServer *server = nullptr;  // the server made last
    int serversMade = 0;
    // The last-release handler is a plain function: it counts here.
    static inline int lastReleases = 0;
};

}  // namespace tellumic::test
