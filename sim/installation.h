#pragma once

// The demo installation of the simulated LNS: the registry value that names the LonWorks
// folder, the folders of the installation, and the network database with the network
// "Demo", its system "Demo" and the subsystem "Meters" holding one meter of each supported
// model plus a thermostat of another maker.

#include <chrono>
#include <filesystem>
#include <string>

#include "sim/sim_core.h"

namespace tellumic::sim {

inline constexpr std::string_view kDemoNetwork = "Demo";
inline constexpr std::string_view kDemoSubsystem = "Meters";
inline constexpr std::string_view kThermostatName = "Thermostat";
// The device-transaction latency the demo runs with, near that of a real FT-10 channel.
inline constexpr std::chrono::milliseconds kDemoLatency{15};

struct InitResult
{
    bool created = false;  // false: the installation was complete and nothing changed
    std::filesystem::path lonWorksFolder;
    // initDemoInstallation: the product's XIF converter, and whether it is linked in.
    std::filesystem::path converter;
    bool converterInstalled = false;
};

// Creates whatever part of the demo installation under home is missing. A new demo
// network runs with kDemoLatency.
InitResult createDemoInstallation(const std::filesystem::path &home);

// What "lns-sim init" does, for every program that offers it: the demo installation under
// home, with the product's XIF converter linked into its "bin" folder (converterInstalled
// false when the converter was not found).
InitResult initDemoInstallation(const std::filesystem::path &home);

// The "LonWorks Path" registry value of a registry store ("" when missing; RuntimeError
// 800407DA when the store cannot be read). The simulator
// reads the store directly: its accesses are not the plug-in's and stay out of its trace.
std::string lonWorksPathSetting(const std::filesystem::path &registryFile);

// The options an installation asks for (its device latency); tests pass their own. A window
// that must not wait long for another program's lock on the database passes its busyTimeout.
SimOptions installationOptions(const std::filesystem::path &lonWorksFolder,
                               std::chrono::milliseconds busyTimeout = NetworkDb::kBusyTimeout);
// Speeds file transfers up by a factor for demos (1: the real channel's record rates).
void setInstallationTransferSpeed(const std::filesystem::path &lonWorksFolder, double factor,
                                  std::chrono::milliseconds busyTimeout = NetworkDb::kBusyTimeout);
// Puts the XIF converter into the installation's "bin" folder (a link to the built program).
bool installConverter(const std::filesystem::path &lonWorksFolder, const std::filesystem::path &converter);
void setInstallationLatency(const std::filesystem::path &lonWorksFolder, std::chrono::microseconds latency);

}  // namespace tellumic::sim
