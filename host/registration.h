#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/object_server.h"
#include "host/activation_file.h"
#include "model/product_tables.h"

namespace tellumic {

inline constexpr const char *kPlugInsKey = "SOFTWARE\\LonWorks\\LCA\\Plug-Ins\\";

// Machine level: the plug-in's record for host tools and its activation on the session bus.
// runServerRegistration: the process was started with a command line, so it also
// (re)installs its D-Bus activation file, as " /regserver" does. Returns why the plug-in
// could not be registered ("" when it was, or when a newer version is registered already);
// with showMessages the user is told in a box as well.
std::string RegisterRegistrationCommand(bool showMessages, bool runServerRegistration = true);
// Returns why the plug-in's record could not be removed ("" when it was or there was none).
std::string DeregisterRegistrationCommand(bool showMessages);

// Network level: the "Browse Tellumic" command on the device templates of the meters.
// Both fail with kRegistration while no network is open.
bool RegisterSupportedCommands();
void DeregisterSupportedCommands(bool resetAll, bool firstNetwork);
void DeregisterCommand(std::int16_t scope, const CommandRecord &command, const std::string &programId,
                       const std::string &lonMarkObjectName);
std::shared_ptr<lns::ComponentApp> CreateComponentApp(lns::ComponentApps &apps, std::size_t commandIndex);
std::int16_t ConstRange(std::int16_t lower, std::int16_t upper, std::int16_t &value);

// Stand-alone deregistration: modes -1 (machine only), 0 (and every network), 1 (and offer
// to delete device templates no device uses).
std::string DeregisterMe(std::int32_t mode, bool showProgress);
void Cleanup(bool resetAll);

// Writes it: started by the bus, the plug-in runs as `executable -Embedding` with the
// TELLUMIC_HOME in force now. Returns false when it cannot be written.
bool installActivationFile(const std::filesystem::path &executable);
bool removeActivationFile();

}  // namespace tellumic
