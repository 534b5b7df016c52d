#pragma once

// The simulated LNS installation under TELLUMIC_HOME as the network browser uses it: whether
// there is one, creating the demo installation as "lns-sim init" does, an object server on
// it, and the simulator's operations of the Simulator menu (the ones lns-sim offers, through
// the same control API). Every failure leaves as RuntimeError, with the object server's texts.

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/object_server.h"
#include "sim/models/meter_state.h"
#include "sim/sim_control.h"

namespace tellumic::browser {

// A statement waits this long for another program's lock on the network database before
// the browser says the database is locked; it waits on the window's thread.
inline constexpr std::chrono::milliseconds kDatabaseBusyTimeoutMs{750};

// Bytes after which "Make Log Downloads Fail" cuts a meter's log reads (a few dozen records).
inline constexpr std::int32_t kFailingDownloadBytes = 2000;

struct ConditionChoice
{
    const char *label;  // the menu's text
    sim::DeviceCondition condition;
};

// The conditions a device can be put in, in menu order.
const std::array<ConditionChoice, 7> &conditionChoices();

// The transfer speeds of the Simulator menu, in menu order.
struct SpeedChoice
{
    const char *label;
    double factor;
};
const std::array<SpeedChoice, 4> &speedChoices();

class SimInstallation
{
public:
    // What TELLUMIC_HOME holds: an installation to open, none yet, or one whose registry
    // cannot be read (a read-only or damaged home); then why, as the command-line tools say.
    struct Presence
    {
        bool present = false;
        std::string unreadable;
    };
    static Presence look();
    // True when TELLUMIC_HOME names a LonWorks installation with its network database.
    static bool present() { return look().present; }
    // Where a new installation goes (TELLUMIC_HOME) and where the LonWorks folder would be.
    static std::filesystem::path home();
    static std::filesystem::path lonWorksFolderToBe();
    // Creates what is missing of the demo installation (as "lns-sim init"). Returns a
    // warning ("" when none): the XIF converter was not found.
    static std::string createDemo();
    // An object server on the installation, not yet open.
    static std::unique_ptr<lns::ObjectServer> openServer();

    // The simulator's operations on a device named by its object name.
    static void setCondition(const std::string &objectName, sim::DeviceCondition condition);
    // phase 0 A, 1 B, 2 C, 3 all; nullopt disconnects the sources.
    static void setReferenceLoad(const std::string &objectName, int phase, const std::optional<sim::PhaseLoad> &load);
    static void failLogDownloads(const std::string &objectName);
    // As "lns-sim fault DEVICE clear": no faults of any kind.
    static void clearFaults(const std::string &objectName);
    static double transferSpeed();
    static void setTransferSpeed(double factor);
};

}  // namespace tellumic::browser
