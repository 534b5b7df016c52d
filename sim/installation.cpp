#include "sim/installation.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdio>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/registry_store.h"
#include "foundation/runtime_error.h"
#include "model/product_tables.h"
#include "sim/device_model.h"
#include "sim/file_lock.h"
#include "sim/network_db.h"
#include "sim/resource_files.h"
#include "sim/xif_files.h"

namespace tellumic::sim {

namespace {

constexpr const char *kLonWorksKey = "SOFTWARE\\LonWorks";
constexpr const char *kFolders[] = {"Types/User/HVI", "bin", "Import", "Database"};

// The location text of the n-th device: "M" and two digits, as hexadecimal byte pairs.
std::string location(unsigned n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "4D%02X%02X000000", 0x30 + n / 10 % 10, 0x30 + n % 10);
    return buf;
}

bool createNetwork(NetworkDb &ndb, const std::filesystem::path &lonWorks)
{
    bool created = false;
    ndb.write([&] {
        auto &db = ndb.db();
        SQLite::Statement exists(db, "SELECT 1 FROM networks WHERE name = ?");
        exists.bind(1, std::string(kDemoNetwork));
        if (exists.executeStep())
            return;
        created = true;
        const auto rows = addNetworkRows(ndb, std::string(kDemoNetwork), (lonWorks / "Import").string(),
                                         std::string(kDemoSubsystem));
        auto add = [&](const std::string &name, const std::string &programId, unsigned n) {
            const auto tpl = addTemplate(ndb, rows.system, name, programId);
            addDevice(ndb, rows.subsystem, {name, neuronIdText(0x05, 0x1000 + n), programId, location(n), tpl});
        };
        ndb.insert("INSERT OR REPLACE INTO settings (key, value) VALUES ('latency_us', ?)",
                   {std::to_string(std::chrono::microseconds(kDemoLatency).count())});
        unsigned n = 0;
        for (const auto &meter : supportedMeters())
            add(meter.Model, meter.ProgramId, ++n);
        add(std::string(kThermostatName), std::string(kThermostatProgramId), ++n);
    });
    return created;
}

}  // namespace

std::string lonWorksPathSetting(const std::filesystem::path &registryFile)
{
    RegistryStore store(registryFile);
    const auto value = store.queryValue(kHkeyLocalMachine, kLonWorksKey, "LonWorks Path");
    if (!store.storeFailure().empty())
        throw RuntimeError(ErrorNumber::kInvalidLonWorksPath,
                           "The registry " + registryFile.string() + " could not be read: " + store.storeFailure());
    if (!value || value->type != RegType::kString)
        return {};
    return value->data.substr(0, value->data.find('\0'));
}

InitResult createDemoInstallation(const std::filesystem::path &home)
{
    // Two programs creating the installation at once: the second waits for the first and
    // then finds everything in place.
    std::filesystem::create_directories(home);
    FileLock lock(home / ".installation.lock");
    InitResult result;
    const auto registryFile = home / registryStorePath().filename();
    auto path = lonWorksPathSetting(registryFile);
    if (path.empty()) {
        path = (home / "LonWorks").string();
        RegistryStore store(registryFile);
        if (!store.createKey(kHkeyLocalMachine, kLonWorksKey) ||
            !store.setValue(kHkeyLocalMachine, kLonWorksKey, "LonWorks Path", {RegType::kString, path + '\0'}))
            throw RuntimeError(ErrorNumber::kSettingNotWritten, "Cannot write the LonWorks path to the registry");
        result.created = true;
    }
    result.lonWorksFolder = nativePath(path);
    for (const char *folder : kFolders) {
        const auto p = result.lonWorksFolder / folder;
        if (!std::filesystem::is_directory(p)) {
            std::filesystem::create_directories(p);
            result.created = true;
        }
    }
    // The installation names its types folder both "Types" and "types" (the maker's files
    // are under "types\User\HVI"); on a case-sensitive file system the second is a link.
    const auto lowerTypes = result.lonWorksFolder / "types";
    if (!std::filesystem::exists(std::filesystem::symlink_status(lowerTypes))) {
        std::filesystem::create_directory_symlink("Types", lowerTypes);
        result.created = true;
    }
    // The maker's resource files at the version the plug-in expects, and the meters' XIF files.
    if (!std::filesystem::exists(result.lonWorksFolder / "Types" / "User" / "HVI" / "HVI.fpt")) {
        installResourceFiles(result.lonWorksFolder);
        result.created = true;
    }
    if (!writeXifFiles(result.lonWorksFolder / "Import").empty())
        result.created = true;
    NetworkDb db(networkDbPath(result.lonWorksFolder), NetworkDb::kBusyTimeout, NetworkDb::Open::Create);
    if (createNetwork(db, result.lonWorksFolder))
        result.created = true;
    return result;
}

SimOptions installationOptions(const std::filesystem::path &lonWorksFolder, std::chrono::milliseconds busyTimeout)
{
    SimOptions options;
    NetworkDb ndb(networkDbPath(lonWorksFolder), busyTimeout);
    SQLite::Statement q(ndb.db(), "SELECT value FROM settings WHERE key = 'latency_us'");
    if (q.executeStep())
        options.latency = std::chrono::microseconds(q.getColumn(0).getInt64());
    SQLite::Statement speed(ndb.db(), "SELECT value FROM settings WHERE key = 'transfer_speed'");
    if (speed.executeStep())
        options.transferSpeedFactor = std::max(1e-3, speed.getColumn(0).getDouble());
    return options;
}

void setInstallationLatency(const std::filesystem::path &lonWorksFolder, std::chrono::microseconds latency)
{
    NetworkDb ndb(networkDbPath(lonWorksFolder));
    ndb.write([&] {
        ndb.insert("INSERT OR REPLACE INTO settings (key, value) VALUES ('latency_us', ?)",
                   {std::to_string(latency.count())});
    });
}

}  // namespace tellumic::sim

namespace tellumic::sim {

void setInstallationTransferSpeed(const std::filesystem::path &lonWorksFolder, double factor,
                                  std::chrono::milliseconds busyTimeout)
{
    NetworkDb ndb(networkDbPath(lonWorksFolder), busyTimeout);
    ndb.write([&] {
        SQLite::Statement up(ndb.db(), "INSERT OR REPLACE INTO settings (key, value) VALUES ('transfer_speed', ?)");
        up.bind(1, factor);
        up.exec();
    });
}

InitResult initDemoInstallation(const std::filesystem::path &home)
{
    auto result = createDemoInstallation(home);
    result.converter = programPath("XIF32BIN");
    result.converterInstalled = installConverter(result.lonWorksFolder, result.converter);
    return result;
}

bool installConverter(const std::filesystem::path &lonWorksFolder, const std::filesystem::path &converter)
{
    const auto target = lonWorksFolder / "bin" / "XIF32BIN";
    std::error_code ec;
    if (!std::filesystem::exists(converter, ec))
        return false;
    const auto wanted = std::filesystem::absolute(converter);
    if (std::filesystem::read_symlink(target, ec) == wanted)
        return true;
    // A new link put in place in one step, so that a second program doing the same meets
    // either link, never none.
    const auto temporary = target.string() + "." + std::to_string(::getpid());
    std::filesystem::remove(temporary, ec);
    std::filesystem::create_symlink(wanted, temporary, ec);
    if (!ec)
        std::filesystem::rename(temporary, target, ec);
    if (ec)
        std::filesystem::remove(temporary, ec);
    return std::filesystem::read_symlink(target, ec) == wanted;
}

}  // namespace tellumic::sim
