#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/object_server.h"

namespace tellumic {

inline constexpr const char *kPlugInVersion = "1.11";
inline constexpr const char *kPlugInName = "Tellumic LNS Plug-In";
inline constexpr const char *kManufacturerName = "Halvern Instruments, LLC";
inline constexpr const char *kManufacturerId = "47077";
inline constexpr const char *kLcaVersion = "3.0";
inline constexpr const char *kProgId = "Tellumic_PlugIn.LNSPlugInAPI";

// The process-wide state of one plug-in run: what is open on the object server and which
// device is served. Shared by the automation objects, command routing and the windows.
struct PlugInState
{
    std::shared_ptr<lns::ObjectServer> ObjectServer;
    std::shared_ptr<lns::Network> CurrentNetwork;
    std::shared_ptr<lns::System> CurrentSystem;
    std::shared_ptr<lns::AppDevice> CurrentDevice;
    std::string CurrentNetworkName;
    std::string CurrentDeviceName;
    bool ServerOpen = false;
    bool NetworkOpened = false;
    std::int16_t ClientCount = 0;
    bool ServerIsRemote = false;
    bool DeregShowProgress = false;
    std::string DevelopmentProgramIdValue;
};

PlugInState &plugIn();

// Makes the object server the plug-in runs on; the composition root installs it.
using ObjectServerFactory = std::function<std::shared_ptr<lns::ObjectServer>()>;
void setObjectServerFactory(ObjectServerFactory factory);
std::shared_ptr<lns::ObjectServer> createObjectServer();

}  // namespace tellumic
