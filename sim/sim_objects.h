#pragma once

// Factories of the simulated object server's objects. Each object is a small handle onto
// the shared core: collections hand out fresh handles, and state that must outlive a
// handle (values, monitor points, formats, open flags) lives in the core.

#include <memory>
#include <string>

#include "foundation/object_server.h"
#include "sim/sim_core.h"

namespace tellumic::sim {

using CorePtr = std::shared_ptr<SimCore>;

std::shared_ptr<lns::Nv> makeNvHandle(const CorePtr &core, std::int64_t deviceId, const std::string &nvName);
std::shared_ptr<lns::AppDevice> makeAppDevice(const CorePtr &core, std::int64_t deviceId);
std::unique_ptr<lns::FileTransfer> makeFileTransfer(const CorePtr &core);
// The component applications of an owner ("server", "system:<id>", "template:<id>",
// "lonmark:<template id>:<object name>").
std::shared_ptr<lns::ComponentApps> makeComponentApps(const CorePtr &core, std::string owner);
lns::Collection<lns::Network> makeNetworks(const CorePtr &core);
lns::Collection<lns::NetworkInterface> makeNetworkInterfaces(const CorePtr &core);
std::shared_ptr<lns::NetworkInterface> makeNetworkInterface(std::string name);

}  // namespace tellumic::sim
