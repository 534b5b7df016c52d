#pragma once

#include <cstdint>
#include <string>

namespace tellumic {

// Error numbers the plug-in raises to its host, and their source.
namespace HostError {
inline constexpr std::int32_t kRegistration = 20000;
inline constexpr std::int32_t kReadOnly = 20002;
inline constexpr std::int32_t kCommandNotSupported = 20003;
inline constexpr std::int32_t kObjectTypeNotSupported = 20004;
inline constexpr std::int32_t kObjectNotFound = 20005;
inline constexpr std::int32_t kWindowOrNetwork = 20006;
inline constexpr const char *kSource = "Tellumic LNS Plug-In";
}  // namespace HostError

// One automation object of the plug-in, as a host tool creates it. The object itself holds
// only the network interface name; everything else is the process's shared state and the
// device window.
class LNSPlugInAPI
{
public:
    LNSPlugInAPI();   // Class_Initialize
    ~LNSPlugInAPI();  // Class_Terminate
    LNSPlugInAPI(const LNSPlugInAPI &) = delete;
    LNSPlugInAPI &operator=(const LNSPlugInAPI &) = delete;

    void SendCommand(std::int32_t commandId, std::int16_t objectType, const std::string &objectName);

    bool Visible();
    void SetVisible(bool visible);
    std::string networkName();
    void SetNetworkName(const std::string &name);
    std::string NetworkInterfaceName();
    void SetNetworkInterfaceName(const std::string &name);
    bool Remote();
    void SetRemote(bool remote);
    std::int32_t Height();
    void SetHeight(std::int32_t pixels);
    std::int32_t Width();
    void SetWidth(std::int32_t pixels);
    std::int32_t Left();
    void SetLeft(std::int32_t pixels);
    std::int32_t Top();
    void SetTop(std::int32_t pixels);
    bool Minimized();
    void SetMinimized(bool minimized);
    std::string ManufacturerID();
    std::string ManufacturerName();
    std::string LcaVersion();
    std::string Version();
    std::string Name();
    std::string DevelopmentProgramId();
    void SetDevelopmentProgramId(const std::string &id);

    // The setter of a read-only property: error 20002.
    [[noreturn]] static void refuseWrite(const std::string &property);

    // What the last release does when the window is hidden (EndPlugIn unless a test
    // puts something else).
    static void setLastReleaseHandler(void (*handler)());

private:
    std::string m_networkInterfaceName;
};

// Fills the tables and binds the object server on the first object of a process.
void initialiseFirstClient();

// Started by the bus where no display can be reached, the plug-in serves what needs no
// window (commands 50 and 51, the properties); what would show a window fails with error
// 20006 and this reason. "" (the default): windows can be shown.
void setWindowsUnavailable(std::string reason);
// Throws that error while windows cannot be shown.
void requireWindows();

}  // namespace tellumic
