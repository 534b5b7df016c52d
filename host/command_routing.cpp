#include "host/command_routing.h"

#include <QApplication>

#include "device/device_window.h"
#include "device/lns_action_queue.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/trace_log.h"
#include "host/device_templates.h"
#include "host/object_names.h"
#include "host/plugin_api.h"
#include "host/registration.h"

namespace tellumic {

namespace {

RuntimeError hostError(std::int32_t number, const std::string &description)
{
    return RuntimeError(number, description, HostError::kSource);
}

struct Match
{
    bool known = false;
    std::optional<std::size_t> index;
};

Match findCommand(std::int32_t commandId, std::int16_t objectType)
{
    Match m;
    const auto &commands = productTables().commands;
    for (std::size_t i = 0; i < kCommandCount && !m.index; ++i) {
        if (commands[i].CommandId != commandId)
            continue;
        m.known = true;
        if (commands[i].ObjectType == objectType)
            m.index = i;
    }
    return m;
}

}  // namespace

void routeCommand(std::int32_t commandId, std::int16_t objectType, const std::string &objectName)
{
    DebugLog("LNSPlugInAPI.SendCommand(" + std::to_string(commandId) + "," + objectName + ")");
    try {
        LnsBusyScope busy;  // cleared however the command ends, 50 and 51 included
        ProgressWindow::instance().show();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        Match match;
        if (commandId == 50) {
            DisplayStatus("Registering plug-in . . .");
            RegisterSupportedCommands();
        } else if (commandId == 51) {
            DisplayStatus("Unregistering plug-in . . .");
            DeregisterSupportedCommands(false, true);
        } else {
            DisplayStatus("Initializing plug-in . . .");
            match = findCommand(commandId, objectType);
        }
        ProgressWindow::closeProgress();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (commandId == 50 || commandId == 51)
            return;
        if (!match.index)
            throw match.known ? hostError(HostError::kObjectTypeNotSupported, "Object type not supported for this command")
                              : hostError(HostError::kCommandNotSupported, "Command not supported");
        objectNames().LastObjectName = objectName;
        ParseObjectName(objectName);
        auto object = plugIn().CurrentSystem ? GetObjectNameObject(*plugIn().CurrentSystem, objectType) : nullptr;
        CommandReceived(*match.index, object);
    } catch (const RuntimeError &e) {
        ProgressWindow::closeProgress();
        DebugLog("ERROR: LNSPlugInAPI.SendCommand()," + errorText(e));
        MsgBox("Tellumic Plug-in error in SendCommand(): " + errorText(e), MsgStyle::kOkOnly, "Tellumic Plug-in Error");
        throw RuntimeError(e.number(), e.description());
    }
}

void CommandReceived(std::size_t commandIndex, std::shared_ptr<lns::AppDevice> object)
{
    DebugLog("modFramework.CommandReceived(" + std::to_string(commandIndex) + ")");
    if (!object)
        throw hostError(HostError::kObjectNotFound, "CommandReceived(): Object not found");
    const auto &command = productTables().commands[commandIndex];
    if (command.ObjectType == 7)
        ProcessDeviceCommand(std::move(object), command);
}

void ProcessDeviceCommand(std::shared_ptr<lns::AppDevice> device, const CommandRecord &command)
{
    try {
        DebugLog("modFramework.ProcessDeviceCommand(" + device->Name() + "," + std::to_string(command.CommandId) + ")");
        requireWindows();
        auto &window = DeviceWindow::instance();
        // A second device in the same process: the first one's monitoring stops and the
        // window is laid out afresh, so that no event of the old meter lands in the new one.
        if (plugIn().CurrentDevice)
            window.releaseDevice();
        plugIn().CurrentDevice = device;
        plugIn().CurrentDeviceName = device->Name();
        if (const std::string report = ValidateDrfFiles(); !report.empty()) {
            if (MsgBox(report + "\r\nDo you want to continue?", MsgStyle::kYesNo + MsgStyle::kExclamation,
                       "Validating Resource Catalog") == MsgResult::No)
                return;
        }
        if (!plugIn().ServerIsRemote) {
            const bool modesSet = DrfLookUp(*device, [&window](const std::string &text) {
                window.setWindowTitle(QString::fromStdString(text));
            });
            if (!modesSet && MsgBox("Unable to set the Mode for the LonMark Objects, do you want to proceed?",
                                    MsgStyle::kYesNo + MsgStyle::kExclamation, "") == MsgResult::No)
                return;
        }
        if (window.SetDevTemplateLabel())
            window.InitDevice();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: modFramework.ProcessDeviceCommand()" + errorText(e));
        throw RuntimeError(e.number(), "ProcessDeviceCommand(): " + e.description());
    }
}

}  // namespace tellumic
