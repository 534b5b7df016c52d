#pragma once

// The edge between the simulated object server and its callers. Below it the simulator
// works on SQLite and the file system, whose failures are exceptions of their own; above
// it only the object server's run-time error (RuntimeError) may appear, as it does from
// any LNS back-end. Every object the simulated object server hands out is wrapped so that
// each of its calls crosses this edge.

#include <exception>
#include <memory>

#include "foundation/object_server.h"

namespace tellumic::sim {

// The object server's run-time error for a failure below the seam: a locked, damaged or
// unwritable network database, a file-system error, anything else the simulator threw.
RuntimeError seamError(const std::exception &failure);

// Runs body; a failure other than a RuntimeError leaves as seamError.
template <typename Body>
decltype(auto) atSeam(Body &&body)
{
    try {
        return body();
    } catch (const RuntimeError &) {
        throw;
    } catch (const std::exception &e) {
        throw seamError(e);
    }
}

// Wrappers whose every call runs through atSeam, and whose results are wrapped too.
std::shared_ptr<lns::Network> guarded(std::shared_ptr<lns::Network> network);
std::shared_ptr<lns::System> guarded(std::shared_ptr<lns::System> system);
std::shared_ptr<lns::Subsystem> guarded(std::shared_ptr<lns::Subsystem> subsystem);
std::shared_ptr<lns::DeviceTemplate> guarded(std::shared_ptr<lns::DeviceTemplate> deviceTemplate);
std::shared_ptr<lns::AppDevice> guarded(std::shared_ptr<lns::AppDevice> device);
std::shared_ptr<lns::Interface> guarded(std::shared_ptr<lns::Interface> deviceInterface);
std::shared_ptr<lns::FunctionalBlock> guarded(std::shared_ptr<lns::FunctionalBlock> block);
std::shared_ptr<lns::Nv> guarded(std::shared_ptr<lns::Nv> nv);
std::shared_ptr<lns::Cp> guarded(std::shared_ptr<lns::Cp> cp);
std::shared_ptr<lns::ComponentApps> guarded(std::shared_ptr<lns::ComponentApps> apps);
std::shared_ptr<lns::ComponentApp> guarded(std::shared_ptr<lns::ComponentApp> app);
std::shared_ptr<lns::NetworkInterface> guarded(std::shared_ptr<lns::NetworkInterface> networkInterface);
std::unique_ptr<lns::FileTransfer> guarded(std::unique_ptr<lns::FileTransfer> transfer);

template <typename T>
lns::Collection<T> guardedAll(const lns::Collection<T> &items)
{
    std::vector<std::shared_ptr<T>> out;
    for (const auto &item : items)
        out.push_back(guarded(item));
    return lns::Collection<T>(std::move(out));
}

// An event sink that hands the plug-in's sink guarded NV handles.
std::unique_ptr<lns::ObjectServerEvents> guardedSink(lns::ObjectServerEvents &target);

}  // namespace tellumic::sim
