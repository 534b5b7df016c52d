#include "browser/sim_installation.h"

#include "foundation/paths.h"
#include "sim/installation.h"
#include "sim/network_db.h"
#include "sim/object_seam.h"
#include "sim/sim_object_server.h"

namespace tellumic::browser {

namespace {

constexpr std::array<ConditionChoice, 7> kConditions{{
    {"Online", sim::DeviceCondition::ConfiguredOnline},
    {"Offline", sim::DeviceCondition::Offline},
    {"Soft Offline", sim::DeviceCondition::SoftOffline},
    {"Unconfigured", sim::DeviceCondition::Unconfigured},
    {"Applicationless", sim::DeviceCondition::Applicationless},
    {"Bypassed", sim::DeviceCondition::Bypassed},
    {"Uncommissioned", sim::DeviceCondition::Uncommissioned},
}};

constexpr std::array<SpeedChoice, 4> kSpeeds{{
    {"Real Channel", 1},
    {"10 Times Faster", 10},
    {"50 Times Faster", 50},
    {"200 Times Faster", 200},
}};

// The control API of the installation, its failures as the object server's errors.
template <typename Body>
decltype(auto) withControl(Body &&body)
{
    return sim::atSeam([&]() -> decltype(auto) {
        sim::SimControl control(sim::installedLonWorksFolder(), kDatabaseBusyTimeoutMs);
        return body(control);
    });
}

}  // namespace

const std::array<ConditionChoice, 7> &conditionChoices()
{
    return kConditions;
}

const std::array<SpeedChoice, 4> &speedChoices()
{
    return kSpeeds;
}

SimInstallation::Presence SimInstallation::look()
{
    // Looking must not create the registry store: the first run leaves the home untouched
    // until the user asks for the demo installation.
    std::error_code ec;
    if (!std::filesystem::exists(registryStorePath(), ec))
        return {};
    try {
        const auto path = sim::lonWorksPathSetting(registryStorePath());
        return {!path.empty() && std::filesystem::is_regular_file(sim::networkDbPath(nativePath(path)), ec), {}};
    } catch (const RuntimeError &e) {
        return {false, e.description()};
    }
}

std::filesystem::path SimInstallation::home()
{
    return tellumicHome();
}

std::filesystem::path SimInstallation::lonWorksFolderToBe()
{
    return tellumicHome() / "LonWorks";
}

std::string SimInstallation::createDemo()
{
    const auto result = sim::atSeam([] { return sim::initDemoInstallation(tellumicHome()); });
    if (!result.converterInstalled)
        return "The XIF converter " + result.converter.string() + " was not found; XIF files cannot be converted.";
    return {};
}

std::unique_ptr<lns::ObjectServer> SimInstallation::openServer()
{
    return sim::atSeam([] {
        const auto folder = sim::installedLonWorksFolder();
        auto options = sim::installationOptions(folder, kDatabaseBusyTimeoutMs);
        options.databaseBusyTimeout = kDatabaseBusyTimeoutMs;
        return std::unique_ptr<lns::ObjectServer>(std::make_unique<sim::SimObjectServer>(folder, options));
    });
}

void SimInstallation::setCondition(const std::string &objectName, sim::DeviceCondition condition)
{
    withControl([&](sim::SimControl &c) { c.setCondition(c.device(objectName).id, condition); });
}

void SimInstallation::setReferenceLoad(const std::string &objectName, int phase,
                                       const std::optional<sim::PhaseLoad> &load)
{
    withControl([&](sim::SimControl &c) {
        const auto id = c.device(objectName).id;
        for (std::size_t i = 0; i < 3; ++i)
            if (phase == 3 || static_cast<std::size_t>(phase) == i || !load)
                c.setReferenceLoad(id, i, load);
    });
}

void SimInstallation::failLogDownloads(const std::string &objectName)
{
    withControl([&](sim::SimControl &c) {
        c.setDeviceValue(c.device(objectName).id, sim::kFaultFailAfterKey, std::to_string(kFailingDownloadBytes));
    });
}

void SimInstallation::clearFaults(const std::string &objectName)
{
    withControl([&](sim::SimControl &c) {
        const auto id = c.device(objectName).id;
        c.setFaults(id, sim::DeviceFaults{});
        c.setDeviceValue(id, sim::kFaultShortReadKey, "0");
        c.setDeviceValue(id, sim::kFaultBadCrcKey, "0");
        c.setDeviceValue(id, sim::kFaultFailAfterKey, "");
    });
}

double SimInstallation::transferSpeed()
{
    return sim::atSeam([] {
        return sim::installationOptions(sim::installedLonWorksFolder(), kDatabaseBusyTimeoutMs).transferSpeedFactor;
    });
}

void SimInstallation::setTransferSpeed(double factor)
{
    sim::atSeam([&] { sim::setInstallationTransferSpeed(sim::installedLonWorksFolder(), factor, kDatabaseBusyTimeoutMs); });
}

}  // namespace tellumic::browser
