#pragma once

// What the network browser shows, read through the object-server interfaces: every network
// with its first system's subsystems and application devices, each device with its model
// (product tables), program ID, state, the plug-in commands registered on its template, and
// for logging meters the last record of their CSV log. Plain C++: the window shows it, tests
// and lns-host read it without a window.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/object_server.h"
#include "log/log_csv.h"

namespace tellumic::browser {

// A command a plug-in registered on a device template (a component application).
struct PluginCommand
{
    std::string name;    // "Browse Tellumic"
    std::string progId;  // the plug-in's bus name
    std::int32_t commandId = 0;
    std::int32_t objectType = 0;
    bool operator==(const PluginCommand &) const = default;
};

// The newest record of a meter's CSV logs (short or long) in the program folder.
struct LogFileStatus
{
    std::filesystem::path file;  // the log holding it; empty when the meter has no log yet
    LastLogRecord last;          // number 0: the file holds no record
    std::string error;           // the file could not be read
};

struct DeviceEntry
{
    std::string name;
    std::string network;
    std::string objectName;  // network/system/subsystem/device, as host commands name it
    std::string programId;
    std::string model;  // from the product tables; empty for a device of another maker
    bool logging = false;
    std::vector<PluginCommand> commands;
    std::string state;  // "Online", "Offline", ... (deviceStateText)
    LogFileStatus log;
};

struct SubsystemEntry
{
    std::string name;
    std::vector<DeviceEntry> devices;
};

struct NetworkEntry
{
    std::string name;
    std::string system;
    std::vector<SubsystemEntry> subsystems;
    std::string error;  // why the network could not be opened; then it has no subsystems
};

// A device's state as the browser says it, from its node state and commissioned flag.
std::string deviceStateText(bool commissioned, std::int32_t nodeState);

// The newest record of a device's logs in the program folder, read without tracing and
// without asking anything: a refresh every few seconds must neither fill the trace nor
// stop at a message box.
LogFileStatus readLogStatus(const std::string &deviceName);

// A command of a device by position in its list: the first is the one double-click runs.
const PluginCommand *commandOf(const DeviceEntry &device, std::size_t index);

// Opens an object server's networks and reads them; keeps them open, so that the states
// can be read again cheaply. Failures of one network are kept in its entry, not thrown;
// a server that cannot be opened throws RuntimeError.
class NetworkReader
{
public:
    explicit NetworkReader(lns::ObjectServer &server);
    ~NetworkReader();
    NetworkReader(const NetworkReader &) = delete;
    NetworkReader &operator=(const NetworkReader &) = delete;

    // Everything: the networks, their devices and commands, the states and the logs.
    std::vector<NetworkEntry> read();
    // One network by name, as read() reads it; RuntimeError when it cannot be opened.
    NetworkEntry readNetwork(const std::string &name);
    // The states, commands and logs of the devices read last into networks (which read() gave).
    // RuntimeError when the database cannot be read; the entries keep their last values.
    void refresh(std::vector<NetworkEntry> &networks);

private:
    struct OpenNetwork;
    NetworkEntry readOpen(OpenNetwork &open);

    lns::ObjectServer &m_server;
    std::vector<std::unique_ptr<OpenNetwork>> m_open;
};

}  // namespace tellumic::browser
