// lns-sim: administers the simulated LNS installation under TELLUMIC_HOME.

#include <cerrno>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <functional>
#include <unistd.h>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/paths.h"
#include "foundation/text.h"
#include "model/product_tables.h"
#include "sim/installation.h"
#include "sim/logging_site.h"
#include "sim/models/meter_state.h"
#include "sim/object_seam.h"
#include "sim/resource_files.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tools/standard_output.h"

namespace {

using namespace tellumic;
using namespace tellumic::sim;

constexpr const char *kUsage = R"(Usage: lns-sim COMMAND [ARGUMENTS]

Administers the simulated LNS installation under TELLUMIC_HOME.

Commands:
  init                          create the demo installation (network "Demo", subsystem
                                "Meters" with one meter of each model, "Thermostat");
                                resource files, XIF files, XIF32BIN); changes nothing
                                when it is complete
  init --network NAME --logging-meters N
                                also add the network NAME whose subsystem "Meters" holds
                                N logging meters (1 to 1000) named NAME-Meter-01 ...,
                                with logs of one to nine days at 5 to 60 minutes
  list                          list the networks and their devices
  show DEVICE                   list a device's NVs and CPs with their values
  get DEVICE NAME               read an NV or CP of a device
  set DEVICE NAME VALUE         write an NV or CP of a device
  condition DEVICE STATE        set a device's condition, one of:
                                  STATES
  fault DEVICE FAULT [VALUE]    set a fault of a device:
                                  comm-fail-at N      the N-th transaction from now fails
                                  comm-fail-rate R    a share R (0 to 1) of transactions fail
                                  self-test RESULT    the self-test answers RESULT (0 passes)
                                  last-error CODE     the status query reports CODE
                                  refuse-writes on|off
                                  refuse-write-at N   the N-th NV or CP write from now
                                                      is refused
                                  update-error NV|none  updates of NV fail: its monitor
                                                      updates and its format changes
                                  log-short BYTES     log reads (file 5) leave out BYTES
                                  log-bad-crc N       every N-th log record has a bad check
                                                      (0: none)
                                  log-fail-after BYTES|off
                                                      log reads (file 5) stop with a
                                                      communication failure after BYTES
                                  clear               no faults
  log DEVICE                    show a meter's log information (file 3)
  resources VERSION|remove      install the maker's resource files in VERSION (e.g. 1.6)
                                or remove them
  transfer-speed FACTOR         speed log transfers up by FACTOR for demos (1: real)
  power-fail DEVICE             the meter loses power for a moment (its log notes it)
  reference-load DEVICE PHASE VOLTS AMPS PF
                                connect a reference source to a meter's PHASE (A, B, C
                                or all): VOLTS (0 to 1000) at AMPS (0 to 10000) with the
                                power factor PF (-1 to 1); the meter measures it, locked
                                or not, in place of its own load
  reference-load DEVICE off     disconnect the meter's reference sources
  reference-load DEVICE         show the meter's reference sources
  service-pin DEVICE            press the device's service pin
  latency MILLISECONDS          set the time each device transaction takes for the
                                programs that open this installation (the demo: 15)
  --help                        show this text

DEVICE is an object name ("Demo/Demo/Meters/TMC-FT-Log-364"), its last two parts
("Meters/TMC-FT-Log-364") or a device name. NAME is an NV name ("nvoPowerSum"), a CP
address ("F:0/C:0:17", "N:nvoEnergySum/C:0:22", "C:3:2") or a CP name ("SCPTlocation").
)";

struct UsageError
{
    std::string message;
};

std::string usage()
{
    std::string text = kUsage;
    text.replace(text.find("STATES"), 6, conditionNames());
    return text;
}

// A folder or file this program cannot use for lack of permission, as a message; "" when
// the permissions are not what stands in the way.
std::string permissionProblem(const std::filesystem::path &path, int mode)
{
    if (::access(path.c_str(), mode) == 0 || (errno != EACCES && errno != EPERM && errno != EROFS))
        return {};
    return "Permission denied: " + path.string() + " cannot be " + (mode & W_OK ? "written" : "read") + " (" +
           std::error_code(errno, std::generic_category()).message() + ").";
}

std::filesystem::path lonWorksFolder()
{
    const auto home = tellumicHome();
    const auto registryFile = registryStorePath();
    // The registry store is read and written beside its file, in the home folder.
    if (auto problem = permissionProblem(home, W_OK | X_OK); !problem.empty())
        throw UsageError{problem};
    std::error_code ec;
    if (std::filesystem::exists(registryFile, ec))
        if (auto problem = permissionProblem(registryFile, R_OK | W_OK); !problem.empty())
            throw UsageError{problem};
    std::string path;
    try {
        path = lonWorksPathSetting(registryFile);
    } catch (const RuntimeError &e) {
        throw UsageError{e.description() + "."};
    }
    if (!path.empty()) {
        const auto folder = nativePath(path);
        const auto db = networkDbPath(folder);
        if (std::filesystem::exists(db, ec)) {
            // Every command may write the database (and SQLite writes beside it).
            for (const auto &p : {db.parent_path(), db})
                if (auto problem = permissionProblem(p, R_OK | W_OK); !problem.empty())
                    throw UsageError{problem};
            return folder;
        }
        if (ec)
            throw UsageError{"The network database " + db.string() + " cannot be reached: " + ec.message() + "."};
        if (std::filesystem::is_directory(folder, ec))
            throw UsageError{"The network database " + db.string() + " of the installation in " + home.string() +
                             " is missing; run 'lns-sim init' to create it."};
    }
    throw UsageError{sim::noInstallationMessage(home)};
}

const char *stateText(const DeviceInfo &d)
{
    if (!d.commissioned)
        return "Uncommissioned";
    switch (d.nodeState) {
    case 2: return "Unconfigured";
    case 3: return "App'less";
    case 4: return "Cnfg Online";
    case 6: return "Offline";
    case 12: return "Soft Offline";
    case 140: return "Bypass";
    default: return "Unknown";
    }
}

// The faults set on a device, as list shows them after its state.
std::string faultText(const DeviceFaults &f)
{
    std::string out;
    const auto add = [&out](const std::string &text) { out += (out.empty() ? "  faults: " : ", ") + text; };
    if (f.commFailAtCall)
        add("comm-fail-at " + std::to_string(f.commFailAtCall));
    if (f.commFailRate > 0)
        add("comm-fail-rate " + std::to_string(f.commFailRate));
    if (f.selfTestResult)
        add("self-test " + std::to_string(f.selfTestResult));
    if (f.lastErrorCode)
        add("last-error " + std::to_string(f.lastErrorCode));
    if (f.refuseWrites)
        add("refuse-writes on");
    if (f.refuseWriteAt)
        add("refuse-write-at " + std::to_string(f.refuseWriteAt));
    if (!f.updateErrorNv.empty())
        add("update-error " + f.updateErrorNv);
    return out;
}

int list()
{
    SimControl control(lonWorksFolder());
    std::string where;
    for (const auto &d : control.devices()) {
        const auto here = d.network + "/" + d.system + "/" + d.subsystem;
        if (here != where) {
            std::printf("Network \"%s\", system \"%s\", subsystem \"%s\"\n", d.network.c_str(), d.system.c_str(),
                        d.subsystem.c_str());
            where = here;
        }
        std::printf("  %-20s Neuron ID %s  program ID %s  %s%s\n", d.name.c_str(), d.neuronId.c_str(), d.programId.c_str(),
                    stateText(d), faultText(d.faults).c_str());
    }
    return 0;
}

// Opens the device's network and system on a fresh object server.
struct OpenDevice
{
    explicit OpenDevice(const std::string &name)
    {
        const auto folder = lonWorksFolder();
        info = SimControl(folder).device(name);
        server = std::make_unique<SimObjectServer>(folder);
        server->Open();
        auto net = server->Networks().Item(info.network);
        net->Open();
        auto sys = net->Systems().Item(info.system);
        sys->Open();
        device = sys->Subsystems().Item(info.subsystem)->AppDevices().Item(info.name);
    }
    DeviceInfo info;
    std::unique_ptr<SimObjectServer> server;
    std::shared_ptr<lns::AppDevice> device;
};

std::shared_ptr<lns::Cp> findCp(lns::Collection<lns::Cp> cps, const std::string &scopeIndex)
{
    for (const auto &cp : cps)
        if (std::to_string(cp->ResourceScope()) + ":" + std::to_string(cp->TypeIndex()) == scopeIndex)
            return cp;
    return nullptr;
}

// A CP by address or by name, or nullptr.
std::shared_ptr<lns::Cp> cpOf(lns::Interface &ifc, const std::string &name)
{
    std::string rest;
    const auto head = ParseWord(name, ":", rest);
    if (head == "C" && !rest.empty())
        return findCp(ifc.Cps(), rest);
    if ((head == "F" || head == "N") && !rest.empty()) {
        std::string cpPart;
        const auto owner = ParseWord(rest, "/", cpPart);
        std::string scopeIndex;
        if (ParseWord(cpPart, ":", scopeIndex) != "C")
            return nullptr;
        if (head == "N")
            return findCp(ifc.Nvs().Item(owner)->Cps(), scopeIndex);
        const auto blocks = ifc.FunctionalBlocks();
        const auto block = parseWholeNumber(owner, 0, blocks.Count() - 1);
        if (!block)
            throw UsageError{"'" + name + "' names no functional block: the device's blocks are F:0 to F:" +
                             std::to_string(blocks.Count() - 1) + "."};
        return findCp(blocks.Item(static_cast<std::int32_t>(*block) + 1)->Cps(), scopeIndex);
    }
    std::shared_ptr<lns::Cp> found = ifc.Cps().Find(name);
    for (const auto &block : ifc.FunctionalBlocks())
        if (!found)
            found = block->Cps().Find(name);
    for (const auto &nv : ifc.Nvs())
        if (!found)
            found = nv->Cps().Find(name);
    return found;
}

int getOrSet(const std::vector<std::string> &args, bool set)
{
    OpenDevice open(args[1]);
    auto ifc = open.device->GetInterface();
    const auto &name = args[2];
    if (auto nv = ifc->Nvs().Find(name)) {
        if (set)
            nv->SetValue(args[3]);
        std::printf("%s = %s\n", name.c_str(), nv->Value().c_str());
        return 0;
    }
    auto cp = cpOf(*ifc, name);
    if (!cp)
        throw UsageError{open.info.name + " has no NV or CP '" + name + "'."};
    if (set)
        cp->SetValue(args[3]);
    std::printf("%s = %s\n", name.c_str(), cp->Value().c_str());
    return 0;
}

std::string valueOrError(const std::function<std::string()> &read)
{
    try {
        return read();
    } catch (const RuntimeError &e) {
        return "(" + e.description() + ")";
    }
}

int show(const std::string &name)
{
    OpenDevice open(name);
    auto ifc = open.device->GetInterface();
    std::printf("%s (%s), program ID %s\n", open.info.objectName().c_str(), stateText(open.info), open.info.programId.c_str());
    for (const auto &nv : ifc->Nvs()) {
        std::printf("  %-20s %s\n", nv->Name().c_str(), valueOrError([&] { return nv->Value(); }).c_str());
        for (const auto &cp : nv->Cps())
            std::printf("    N:%s/C:%d:%d %s = %s\n", nv->Name().c_str(), cp->ResourceScope(), cp->TypeIndex(),
                        cp->Name().c_str(), valueOrError([&] { return cp->Value(); }).c_str());
    }
    if (ifc->Nvs().Count() == 0 && ifc->FunctionalBlocks().Count() == 0)
        std::printf("  (the simulator has no model of this device's interface)\n");
    std::int32_t n = 0;
    for (const auto &block : ifc->FunctionalBlocks()) {
        for (const auto &cp : block->Cps())
            std::printf("  F:%d/C:%d:%d %s (%s) = %s\n", n, cp->ResourceScope(), cp->TypeIndex(), cp->Name().c_str(),
                        block->Name().c_str(), valueOrError([&] { return cp->Value(); }).c_str());
        ++n;
    }
    for (const auto &cp : ifc->Cps())
        std::printf("  C:%d:%d %s = %s\n", cp->ResourceScope(), cp->TypeIndex(), cp->Name().c_str(),
                    valueOrError([&] { return cp->Value(); }).c_str());
    return 0;
}

std::uint32_t big(const std::vector<std::uint8_t> &b, std::size_t at, std::size_t n)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v = (v << 8) | b[at + i];
    return v;
}

std::string stamp(const std::vector<std::uint8_t> &b, std::size_t at)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", big(b, at, 2), b[at + 2], b[at + 3], b[at + 4], b[at + 5],
                  b[at + 6]);
    return buf;
}

// The log information as the plug-in reads it: file 3 over the file transfer.
int logInfo(const std::string &name)
{
    OpenDevice open(name);
    auto sys = open.server->Networks().Item(open.info.network)->Systems().Item(open.info.system);
    auto transfer = sys->NewFileTransfer();
    transfer->SetFileNumber(3);
    transfer->SetLength(35);
    transfer->SetParameters(0, 0, 0);
    transfer->SetTargetDevice(open.device);
    const auto b = transfer->Read();
    if (b.size() < 30)
        throw UsageError{open.info.name + " answered " + std::to_string(b.size()) + " bytes of log information."};
    std::printf("%s\n  newest record %u at %s\n  oldest record %u at %s\n", open.info.objectName().c_str(), big(b, 0, 4),
                stamp(b, 8).c_str(), big(b, 15, 4), stamp(b, 23).c_str());
    return 0;
}

int condition(const std::vector<std::string> &args)
{
    const auto c = parseCondition(args[2]);
    if (!c)
        throw UsageError{"Unknown condition '" + args[2] + "'; use one of: " + conditionNames() + "."};
    SimControl control(lonWorksFolder());
    control.setCondition(control.device(args[1]).id, *c);
    return 0;
}

// A number given to an option, or a message that names the option.
std::int32_t wholeNumber(const std::string &option, const std::string &text, std::int32_t low, std::int32_t high)
{
    const auto v = parseWholeNumber(text, low, high);
    if (!v)
        throw UsageError{option + ": '" + text + "' is not a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + "."};
    return static_cast<std::int32_t>(*v);
}

double decimalNumber(const std::string &option, const std::string &text, double low, double high, const char *what)
{
    const auto v = parseDouble(text);
    if (!v || !(*v >= low && *v <= high))  // NaN fails both
        throw UsageError{option + ": '" + text + "' is not " + what + "."};
    return *v;
}

// A resource-file version MAJOR.MINOR, each a whole number from 0 to 255.
std::pair<int, int> versionNumber(const std::string &text)
{
    const auto dot = text.find('.');
    const auto major = dot == std::string::npos ? std::nullopt : parseWholeNumber(text.substr(0, dot), 0, 255);
    const auto minor = dot == std::string::npos ? std::nullopt : parseWholeNumber(text.substr(dot + 1), 0, 255);
    if (!major || !minor || text[0] == '+' || text[dot + 1] == '+')
        throw UsageError{"resources: '" + text + "' is not a version such as 1.5."};
    return {static_cast<int>(*major), static_cast<int>(*minor)};
}

int fault(const std::vector<std::string> &args)
{
    SimControl control(lonWorksFolder());
    const auto d = control.device(args[1]);
    auto f = d.faults;
    const auto &kind = args[2];
    const bool clear = kind == "clear";
    if (clear != (args.size() == 3))
        throw UsageError{clear ? "'clear' takes no value." : "The fault '" + kind + "' needs a value."};
    const std::string value = clear ? "" : args[3];
    if (clear) {
        f = DeviceFaults{};
        control.setDeviceValue(d.id, kFaultShortReadKey, "0");
        control.setDeviceValue(d.id, kFaultBadCrcKey, "0");
        control.setDeviceValue(d.id, kFaultFailAfterKey, "");
    } else if (kind == "log-fail-after") {
        control.setDeviceValue(d.id, kFaultFailAfterKey,
                               value == "off" ? "" : std::to_string(wholeNumber(kind, value, 0, 10'000'000)));
        return 0;
    } else if (kind == "log-short") {
        control.setDeviceValue(d.id, kFaultShortReadKey, std::to_string(wholeNumber(kind, value, 0, 10'000'000)));
        return 0;
    } else if (kind == "log-bad-crc") {
        control.setDeviceValue(d.id, kFaultBadCrcKey, std::to_string(wholeNumber(kind, value, 0, 1'000'000)));
        return 0;
    } else if (kind == "comm-fail-at") {
        f.commFailAtCall = wholeNumber(kind, value, 0, 1'000'000);
    } else if (kind == "comm-fail-rate") {
        f.commFailRate = decimalNumber(kind, value, 0, 1, "a rate from 0 to 1");
    } else if (kind == "self-test") {
        f.selfTestResult = wholeNumber(kind, value, -32768, 32767);
    } else if (kind == "last-error") {
        f.lastErrorCode = wholeNumber(kind, value, 0, 255);
    } else if (kind == "refuse-writes") {
        if (value != "on" && value != "off")
            throw UsageError{"refuse-writes takes 'on' or 'off'."};
        f.refuseWrites = value == "on";
    } else if (kind == "refuse-write-at") {
        f.refuseWriteAt = wholeNumber(kind, value, 0, 1'000'000);
    } else if (kind == "update-error") {
        f.updateErrorNv = value == "none" ? "" : value;
    } else {
        throw UsageError{"Unknown fault '" + kind + "'; see 'lns-sim --help'."};
    }
    control.setFaults(d.id, f);
    return 0;
}

// Creates what is missing of the demo installation and links the product's XIF converter
// into it (a warning when there is none).
InitResult initDemo()
{
    std::error_code ec;
    if (std::filesystem::is_directory(tellumicHome(), ec))
        if (auto problem = permissionProblem(tellumicHome(), W_OK | X_OK); !problem.empty())
            throw UsageError{problem};
    auto result = initDemoInstallation(tellumicHome());
    if (!result.converterInstalled)
        std::fprintf(stderr, "lns-sim: %s was not found; XIF files cannot be converted.\n", result.converter.c_str());
    return result;
}

// lns-sim init --network NAME --logging-meters N: the demo installation and a site network.
int initLoggingSite(const std::vector<std::string> &args)
{
    std::string network, count;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 == args.size())
            throw UsageError{"'" + args[i] + "' needs a value; see 'lns-sim --help'."};
        if (args[i] == "--network")
            network = args[i + 1];
        else if (args[i] == "--logging-meters")
            count = args[i + 1];
        else
            throw UsageError{"Unknown option '" + args[i] + "' of 'init'; see 'lns-sim --help'."};
    }
    if (network.empty() || count.empty())
        throw UsageError{"'init' takes --network NAME and --logging-meters N together; see 'lns-sim --help'."};
    // Digits only: no sign, blank, fraction or exponent slips through.
    int meters = 0;
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), meters);
    if (ec != std::errc() || end != count.data() + count.size() || meters < 1 || meters > kMaxSiteMeters)
        throw UsageError{"'" + count + "' is not a whole number of meters from 1 to " + std::to_string(kMaxSiteMeters) +
                         "."};
    const auto installation = initDemo();
    const auto site = createLoggingNetwork(installation.lonWorksFolder, network, meters);
    std::printf(site.created ? "Created the network \"%s\" with %d logging meters in %s\n"
                             : "The network \"%s\" with %d logging meters in %s is complete; nothing changed.\n",
                network.c_str(), site.meters, installation.lonWorksFolder.string().c_str());
    return 0;
}

// The reference sources of a meter's calibration bench: shown, connected per phase, or
// disconnected.
namespace reference_load {

double number(const std::string &text, double low, double high, const char *what)
{
    const auto v = parseDouble(text);
    if (!v || !(*v >= low && *v <= high)) {  // NaN is in no range
        char range[64];
        std::snprintf(range, sizeof range, " from %g to %g.", low, high);
        throw UsageError{"'" + text + "' is not " + what + range};
    }
    return *v;
}

void print(const DeviceInfo &device, const std::array<std::optional<PhaseLoad>, 3> &loads)
{
    std::printf("%s reference sources:\n", device.objectName().c_str());
    for (std::size_t i = 0; i < loads.size(); ++i) {
        const char phase = static_cast<char>('A' + i);
        if (loads[i])
            std::printf("  phase %c: %g V, %g A, power factor %g\n", phase, loads[i]->volts, loads[i]->amps,
                        loads[i]->powerFactor);
        else
            std::printf("  phase %c: none\n", phase);
    }
    if (std::any_of(loads.begin(), loads.end(), [](const auto &l) { return l.has_value(); }))
        std::printf("  (a phase without a source draws the rated current at the nominal voltage)\n");
}

int run(const std::vector<std::string> &args)
{
    if (args.size() != 2 && args.size() != 3 && args.size() != 6)
        throw UsageError{"'reference-load' takes a device, then 'off' or a phase, volts, amps and a power factor; see "
                         "'lns-sim --help'."};
    SimControl control(lonWorksFolder());
    const auto device = control.device(args[1]);
    if (!findProgramId(device.programId))
        throw UsageError{device.name + " is not a Tellumic meter."};
    if (args.size() == 3) {
        if (args[2] != "off")
            throw UsageError{"'" + args[2] + "' is not 'off'; a phase needs volts, amps and a power factor."};
        for (std::size_t i = 0; i < 3; ++i)
            control.setReferenceLoad(device.id, i, std::nullopt);
    } else if (args.size() == 6) {
        const std::string phase = toUpperAscii(args[2]);
        if (phase != "A" && phase != "B" && phase != "C" && phase != "ALL")
            throw UsageError{"'" + args[2] + "' is not a phase; use A, B, C or all."};
        const PhaseLoad load{number(args[3], 0, 1000, "a voltage"), number(args[4], 0, 10000, "a current"),
                             number(args[5], -1, 1, "a power factor")};
        for (std::size_t i = 0; i < 3; ++i)
            if (phase == "ALL" || phase[0] == 'A' + static_cast<char>(i))
                control.setReferenceLoad(device.id, i, load);
    }
    print(device, control.referenceLoads(device.id));
    return 0;
}

}  // namespace reference_load

int run(const std::vector<std::string> &args)
{
    const auto need = [&](std::size_t count) {
        if (args.size() != count)
            throw UsageError{"'" + args[0] + "' takes " + std::to_string(count - 1) + " argument(s); see 'lns-sim --help'."};
    };
    const auto &command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (command == "init") {
        if (args.size() > 1)
            return initLoggingSite(args);
        need(1);
        const auto result = initDemo();
        std::printf(result.created ? "Created the demo installation in %s\n"
                                   : "The demo installation in %s is complete; nothing changed.\n",
                    result.lonWorksFolder.string().c_str());
        return 0;
    }
    if (command == "list")
        return need(1), list();
    if (command == "show")
        return need(2), show(args[1]);
    if (command == "get")
        return need(3), getOrSet(args, false);
    if (command == "set")
        return need(4), getOrSet(args, true);
    if (command == "condition")
        return need(3), condition(args);
    if (command == "fault") {
        if (args.size() != 3 && args.size() != 4)
            throw UsageError{"'fault' takes a device, a fault and a value; see 'lns-sim --help'."};
        return fault(args);
    }
    if (command == "log")
        return need(2), logInfo(args[1]);
    if (command == "resources") {
        need(2);
        if (args[1] == "remove")
            return removeMakerResourceFiles(lonWorksFolder()), 0;
        const auto [major, minor] = versionNumber(args[1]);
        installResourceFiles(lonWorksFolder(), major, minor);
        return 0;
    }
    if (command == "transfer-speed") {
        need(2);
        setInstallationTransferSpeed(lonWorksFolder(),
                                     decimalNumber(command, args[1], 0.001, 100000, "a factor from 0.001 to 100000"));
        return 0;
    }
    if (command == "power-fail") {
        need(2);
        SimControl control(lonWorksFolder());
        control.failPower(control.device(args[1]).id);
        return 0;
    }
    if (command == "reference-load")
        return reference_load::run(args);
    if (command == "service-pin") {
        need(2);
        SimControl control(lonWorksFolder());
        control.pressServicePin(control.device(args[1]).id);
        return 0;
    }
    if (command == "latency") {
        need(2);
        const auto folder = lonWorksFolder();
        setInstallationLatency(folder, std::chrono::milliseconds(wholeNumber(command, args[1], 0, 10'000)));
        return 0;
    }
    throw UsageError{"Unknown command '" + command + "'; see 'lns-sim --help'."};
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(usage().c_str(), stderr);
        return 2;
    }
    try {
        return checkedExit("lns-sim", run(args), 1);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "lns-sim: %s\n", e.message.c_str());
        return 2;
    } catch (const RuntimeError &e) {
        std::fprintf(stderr, "lns-sim: %s\n", e.description().c_str());
        return 1;
    } catch (const std::exception &e) {
        // The database or the file system failed: said as the object server says it.
        std::fprintf(stderr, "lns-sim: %s\n", seamError(e).description().c_str());
        return 1;
    }
}
