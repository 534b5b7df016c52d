#include "host/plugin_api.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>

#include "calibration/calibration_open.h"
#include "config/config_menu.h"
#include "device/device_window.h"
#include "device/meter_commands.h"
#include "foundation/plugin_state.h"
#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "host/command_routing.h"
#include "model/product_tables.h"
#include "nvtype/type_change_wiring.h"

namespace tellumic {

namespace {

void (*g_lastRelease)() = [] { EndPlugIn(); };

std::string boolText(bool b)
{
    return b ? "True" : "False";
}

RuntimeError hostError(std::int32_t number, const std::string &description)
{
    return RuntimeError(number, description, HostError::kSource);
}

DeviceWindow &window()
{
    return DeviceWindow::instance();
}

std::string &windowsUnavailable()
{
    static std::string reason;
    return reason;
}

// Moving or sizing is refused while the window is minimised or maximised.
void requireNormalState()
{
    if (window().isMinimized() || window().isMaximized())
        throw hostError(HostError::kWindowOrNetwork, "Plug-in can't be moved or sized while minimized or maximized");
}

// What the screens can show: the virtual desktop. Sizes and positions a host asks for are
// kept inside it, so that no client can make the window larger than any screen (its
// backing store would take all memory) or move it where nobody can see it.
QRect screensArea()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->virtualGeometry() : QRect();
    return area.isValid() ? area : QRect(0, 0, 1024, 768);
}

std::int32_t boundedWidth(std::int32_t pixels)
{
    return std::clamp(pixels, std::min(window().minimumWidth(), screensArea().width()), screensArea().width());
}

std::int32_t boundedHeight(std::int32_t pixels)
{
    return std::clamp(pixels, std::min(window().minimumHeight(), screensArea().height()), screensArea().height());
}

// Runs a setter body with the hourglass pointer, restored however it ends.
struct Hourglass
{
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void initialiseFirstClient()
{
    auto &state = plugIn();
    FillCommandTable();
    FillProgramIdTable();
    try {
        FillResourceTable();
    } catch (const RuntimeError &e) {
        // Without a LonWorks installation nothing can be browsed; the first command says so.
        DebugLog("ERROR: LNSPlugInAPI.Class_Initialize()," + errorText(e));
    }
    state.ServerOpen = false;
    state.NetworkOpened = false;
    installTypeChange(DeviceWindow::instance());
    config::installConfigMenu(DeviceWindow::instance());
    DeviceWindow::instance().setCalibrateHandler([] { openCalibrationWindow(DeviceWindow::instance()); });
    if (!state.ObjectServer)
        state.ObjectServer = createObjectServer();
    window().attachObjectServer(state.ObjectServer);
}

LNSPlugInAPI::LNSPlugInAPI()
{
    DebugLog("LNSPlugInAPI.Class_Initialize()");
    if (plugIn().ClientCount == 0)
        initialiseFirstClient();
    ++plugIn().ClientCount;
}

LNSPlugInAPI::~LNSPlugInAPI()
{
    DebugLog("LNSPlugInAPI.Class_Terminate()");
    --plugIn().ClientCount;
    if (plugIn().ClientCount == 0 && !(DeviceWindow::exists() && window().isVisible()) && g_lastRelease)
        g_lastRelease();
}

void LNSPlugInAPI::setLastReleaseHandler(void (*handler)())
{
    g_lastRelease = handler;
}

void LNSPlugInAPI::SendCommand(std::int32_t commandId, std::int16_t objectType, const std::string &objectName)
{
    routeCommand(commandId, objectType, objectName);
}

bool LNSPlugInAPI::Visible()
{
    const bool v = window().isVisible();
    DebugLog("LNSPlugInAPI.Get Visible()=" + boolText(v));
    return v;
}

void LNSPlugInAPI::SetVisible(bool visible)
{
    DebugLog("LNSPlugInAPI.Visible(" + boolText(visible) + ")");
    if (visible)
        requireWindows();
    window().setVisible(visible);
    if (visible) {
        window().raise();
        window().activateWindow();
    }
}

std::string LNSPlugInAPI::networkName()
{
    DebugLog("LNSPlugInAPI.Get networkName()=" + plugIn().CurrentNetworkName);
    return plugIn().CurrentNetworkName;
}

void LNSPlugInAPI::SetNetworkName(const std::string &name)
{
    DebugLog("LNSPlugInAPI.networkName(" + name + ")");
    Hourglass hourglass;
    auto &s = plugIn();
    if (name == s.CurrentNetworkName && s.NetworkOpened)
        return;
    try {
        auto &server = *s.ObjectServer;
        const bool remoteAtEntry = server.Remote();
        const bool wantRemote = !m_networkInterfaceName.empty();
        if (remoteAtEntry != wantRemote) {
            if (server.IsOpen()) {
                server.Close();
                s.ServerOpen = false;
            }
            server.SetRemote(wantRemote);
        }
        bool internet = false;
        if (!s.ServerOpen) {
            if (server.IsOpen())
                server.Close();
            server.SetBooleanOption(false);
            if (remoteAtEntry) {
                std::int32_t flags = server.ConnectionFlags() & ~0x30;
                internet = m_networkInterfaceName == "Internet";
                flags |= internet ? 0x10 : 0x20;
                server.SetConnectionFlags(flags);
            }
            server.Open();
            s.ServerOpen = true;
        }
        if (!m_networkInterfaceName.empty() && !internet)
            server.SetActiveNetworkInterface(server.NetworkInterfaces().Item(m_networkInterfaceName));
        s.CurrentNetwork = server.Networks().Item(name);
        s.CurrentNetwork->Open();
        s.CurrentNetworkName = s.CurrentNetwork->Name();
        s.CurrentSystem = s.CurrentNetwork->Systems().Item(1);
        s.CurrentSystem->Open();
        if (internet) {
            PauseLnsSystem();
            s.CurrentSystem->SetMgmtMode(0);
            UnpauseLnsSystem();
        }
        s.NetworkOpened = true;
        s.CurrentSystem->SetNumericSetting(200);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: LNSPlugInAPI.networkName()," + errorText(e));
        s.NetworkOpened = false;
        s.CurrentNetworkName.clear();
        throw hostError(HostError::kWindowOrNetwork, "Cannot open the network " + name);
    }
}

std::string LNSPlugInAPI::NetworkInterfaceName()
{
    DebugLog("LNSPlugInAPI.Get NetworkInterfaceName()=" + m_networkInterfaceName);
    return m_networkInterfaceName;
}

void LNSPlugInAPI::SetNetworkInterfaceName(const std::string &name)
{
    DebugLog("LNSPlugInAPI.NetworkInterfaceName(" + name + ")");
    m_networkInterfaceName = name;
}

bool LNSPlugInAPI::Remote()
{
    const bool remote = plugIn().ObjectServer->Remote();
    DebugLog("LNSPlugInAPI.Get Remote()=" + boolText(remote));
    return remote;
}

void LNSPlugInAPI::SetRemote(bool remote)
{
    DebugLog("LNSPlugInAPI.Remote(" + boolText(remote) + ")");
    auto &s = plugIn();
    auto &server = *s.ObjectServer;
    s.ServerOpen = server.IsOpen();
    if (s.ServerOpen)
        server.Close();
    server.SetRemote(remote);
    if (s.ServerOpen)
        server.Open();
}

std::int32_t LNSPlugInAPI::Height()
{
    DebugLog("LNSPlugInAPI.Get Height()=" + std::to_string(window().height()));
    return window().height();
}

void LNSPlugInAPI::SetHeight(std::int32_t pixels)
{
    DebugLog("LNSPlugInAPI.Height(" + std::to_string(pixels) + ")");
    requireNormalState();
    window().resize(window().width(), boundedHeight(pixels));
}

std::int32_t LNSPlugInAPI::Width()
{
    DebugLog("LNSPlugInAPI.Get Width()=" + std::to_string(window().width()));
    return window().width();
}

void LNSPlugInAPI::SetWidth(std::int32_t pixels)
{
    DebugLog("LNSPlugInAPI.Width(" + std::to_string(pixels) + ")");
    requireNormalState();
    window().resize(boundedWidth(pixels), window().height());
}

std::int32_t LNSPlugInAPI::Left()
{
    DebugLog("LNSPlugInAPI.Get Left()=" + std::to_string(window().x()));
    return window().x();
}

void LNSPlugInAPI::SetLeft(std::int32_t pixels)
{
    DebugLog("LNSPlugInAPI.Left(" + std::to_string(pixels) + ")");
    requireNormalState();
    window().move(std::clamp(pixels, screensArea().left(), screensArea().right()), window().y());
}

std::int32_t LNSPlugInAPI::Top()
{
    DebugLog("LNSPlugInAPI.Get Top()=" + std::to_string(window().y()));
    return window().y();
}

void LNSPlugInAPI::SetTop(std::int32_t pixels)
{
    DebugLog("LNSPlugInAPI.Top(" + std::to_string(pixels) + ")");
    requireNormalState();
    window().move(window().x(), std::clamp(pixels, screensArea().top(), screensArea().bottom()));
}

bool LNSPlugInAPI::Minimized()
{
    const bool minimized = window().windowState().testFlag(Qt::WindowMinimized);
    DebugLog("LNSPlugInAPI.Get Minimized()=" + boolText(minimized));
    return minimized;
}

void LNSPlugInAPI::SetMinimized(bool minimized)
{
    DebugLog("LNSPlugInAPI.Minimized(" + boolText(minimized) + ")");
    auto state = window().windowState();
    state.setFlag(Qt::WindowMinimized, minimized);
    window().setWindowState(state);
    if (!window().isVisible())
        throw hostError(HostError::kWindowOrNetwork, "Can not modify the minimzed property when invisble. The property "
                                                     "will be applied the next time the plug-in is made visible");
}

std::string LNSPlugInAPI::ManufacturerID()
{
    DebugLog(std::string("LNSPlugInAPI.Get ManufacturerID()=") + kManufacturerId);
    return kManufacturerId;
}

std::string LNSPlugInAPI::ManufacturerName()
{
    DebugLog(std::string("LNSPlugInAPI.Get ManufacturerName()=") + kManufacturerName);
    return kManufacturerName;
}

std::string LNSPlugInAPI::LcaVersion()
{
    DebugLog(std::string("LNSPlugInAPI.Get LcaVersion()=") + kLcaVersion);
    return kLcaVersion;
}

std::string LNSPlugInAPI::Version()
{
    DebugLog(std::string("LNSPlugInAPI.Get Version()=") + kPlugInVersion);
    return kPlugInVersion;
}

std::string LNSPlugInAPI::Name()
{
    DebugLog(std::string("LNSPlugInAPI.Get Name()=") + kPlugInName);
    return kPlugInName;
}

std::string LNSPlugInAPI::DevelopmentProgramId()
{
    DebugLog("LNSPlugInAPI.Get DevelopmentProgramId()=" + plugIn().DevelopmentProgramIdValue);
    return plugIn().DevelopmentProgramIdValue;
}

void LNSPlugInAPI::SetDevelopmentProgramId(const std::string &id)
{
    DebugLog("LNSPlugInAPI.DevelopmentProgramId(" + id + ")");
    plugIn().DevelopmentProgramIdValue = id.size() == 16 ? id : std::string();
}

void LNSPlugInAPI::refuseWrite(const std::string &property)
{
    DebugLog("LNSPlugInAPI." + property + "()");
    throw hostError(HostError::kReadOnly, "Attempt to write to read-only property");
}

void setWindowsUnavailable(std::string reason)
{
    windowsUnavailable() = std::move(reason);
}

void requireWindows()
{
    if (!windowsUnavailable().empty())
        throw hostError(HostError::kWindowOrNetwork, windowsUnavailable());
}

}  // namespace tellumic
