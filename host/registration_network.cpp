// Network-level registration: the plug-in's command on the meters' device templates, and
// its removal from every network of the database.

#include <QApplication>

#include <algorithm>
#include <map>

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

constexpr int kMaxNameTries = 1000;

// The open system the network-level routines work on. A host may send command 50 or 51
// before it names a network: then there is none, and that is an error to report.
lns::System &currentSystem()
{
    if (!plugIn().CurrentSystem)
        throw RuntimeError(lns::LcaError::kNotOpen, "No network is open; set networkName before this command");
    return *plugIn().CurrentSystem;
}

// The component-application collection a command is attached to, by its scope.
std::shared_ptr<lns::ComponentApps> appsFor(std::int16_t scope, const std::string &programId,
                                            const std::string &lonMarkObject)
{
    auto &s = plugIn();
    switch (scope) {
    case 1:
        return s.ObjectServer ? s.ObjectServer->ComponentApplications() : nullptr;
    case 2:
        return currentSystem().ComponentApplications();
    case 3:
        return currentSystem().DeviceTemplates().Item(programId)->ComponentApplications();
    case 4:
        return currentSystem().DeviceTemplates().Item(programId)->LonMarkObjects().Item(lonMarkObject)->ComponentApplications();
    default:
        return nullptr;
    }
}

// The device templates of the filled program-ID rows that the system's library holds.
std::vector<std::string> templatesInLibrary()
{
    std::vector<std::string> found;
    const auto &t = productTables();
    for (int i = 0; i < t.programIdCount; ++i) {
        try {
            auto templates = currentSystem().DeviceTemplates();
            if (templates.Find(t.programIds[static_cast<std::size_t>(i)].ProgramId))
                found.push_back(t.programIds[static_cast<std::size_t>(i)].ProgramId);
        } catch (const RuntimeError &) {
        }
    }
    return found;
}

std::string defaultQuestion(const CommandRecord &c, const std::string &templateName)
{
    const std::string name = GetCommandIdName(c.CommandId);
    if (c.RegisterScope == 3)
        return "Do you wish to make " + name + " the default action for " + templateName + " devices?";
    if (c.RegisterScope == 4)
        return "Do you wish to make " + name + " the default action for the LonMark object " + c.LonMarkObjectName +
               " on " + templateName + " devices?";
    return "Do you wish to make " + name + " the default action for " + GetClassIdName(static_cast<std::int16_t>(c.ObjectType)) +
           " objects?";
}

void attachCommand(const std::string &templateName, std::size_t commandIndex, std::map<std::string, bool> &defaults)
{
    const auto &c = productTables().commands[commandIndex];
    const std::string commandName = GetCommandIdName(c.CommandId);
    std::shared_ptr<lns::ComponentApps> apps;
    try {
        apps = appsFor(static_cast<std::int16_t>(c.RegisterScope), templateName, c.LonMarkObjectName);
    } catch (const RuntimeError &) {
    }
    if (!apps) {
        DisplayStatus("Error adding command " + commandName + " for Device Template" + templateName + ". \r\n" +
                      "ComponentApp was not created.");
        return;
    }
    DisplayStatus(templateName + "\r\nAdding command " + commandName + " for " +
                  GetClassIdName(static_cast<std::int16_t>(c.ObjectType)) + " objects...");
    std::shared_ptr<lns::ComponentApp> app;
    for (const auto &candidate : apps->Items()) {
        if (candidate->ProgId() == kProgId && candidate->CommandId() == c.CommandId && candidate->ObjectType() == c.ObjectType) {
            app = candidate;
            break;
        }
    }
    if (!app)
        app = CreateComponentApp(*apps, commandIndex);
    if (!app)
        return;
    app->SetCommandId(c.CommandId);
    app->SetDescription(c.CommandDescription);
    app->SetVersion(kPlugInVersion);
    app->SetManufacturerId(kManufacturerId);
    bool isDefault = false;
    if (c.IsDefault) {
        auto remembered = defaults.find(c.CommandName);
        if (remembered == defaults.end())
            remembered = defaults.emplace(c.CommandName, MsgBox(defaultQuestion(c, templateName),
                                                                MsgStyle::kYesNo + MsgStyle::kQuestion,
                                                                kPlugInName) == MsgResult::Yes).first;
        isDefault = remembered->second;
    }
    app->SetIsDefault(isDefault);
    if (isDefault) {
        auto items = apps->Items();
        for (std::int32_t i = items.Count(); i >= 1; --i)
            if (items.Item(i)->ProgId() != kProgId)
                items.Item(i)->SetIsDefault(false);
    }
}

}  // namespace

std::shared_ptr<lns::ComponentApp> CreateComponentApp(lns::ComponentApps &apps, std::size_t commandIndex)
{
    DebugLog("MMain.CreateComponentApp()");
    const auto &c = productTables().commands[commandIndex];
    std::string name = c.CommandName;
    try {
        const auto items = apps.Items();
        for (int n = 1; n <= kMaxNameTries && items.Find(name); ++n)
            name = c.CommandName + " (" + std::to_string(n) + ")";
        return apps.Add(name, kProgId, c.ObjectType);
    } catch (const RuntimeError &e) {
        MsgBox(errorText(e), MsgStyle::kOkOnly, "");
        return nullptr;
    }
}

bool RegisterSupportedCommands()
{
    DebugLog("MMain.RegisterSupportedCommands()");
    auto &s = plugIn();
    s.ServerIsRemote = s.ObjectServer->Remote();
    auto &t = productTables();
    if (s.DevelopmentProgramIdValue.size() == 16) {
        t.programIds[0].ProgramId = s.DevelopmentProgramIdValue;
        t.programIdCount = 1;
    }
    std::string failure;
    try {
        auto &system = currentSystem();
        std::vector<std::string> available;
        for (int i = 0; i < t.programIdCount; ++i) {
            const auto &row = t.programIds[static_cast<std::size_t>(i)];
            try {
                if (system.DeviceTemplates().Find(row.ProgramId))
                    available.push_back(row.ProgramId);
                else if (row.ImportXif && ImportTemplateFromXIF(system, row.ProgramId, row.Model).empty() &&
                         system.DeviceTemplates().Find(row.ProgramId))
                    available.push_back(row.ProgramId);
            } catch (const RuntimeError &e) {
                DebugLog("ERROR: MMain.RegisterSupportedCommands()," + errorText(e));
            }
        }
        if (available.empty())
            failure = "Error, could import any Tellumic XIF files.";
        std::map<std::string, bool> defaults;
        for (const auto &templateName : available)
            for (std::size_t c = 0; c < kCommandCount; ++c)
                attachCommand(templateName, c, defaults);
        if (failure.empty()) {
            for (;;) {
                if (RefreshLdrfCatalog())
                    break;
                const auto answer = MsgBox("Unable to add the resources listed in the ResourceTable to the catalog",
                                           MsgStyle::kAbortRetryIgnore + MsgStyle::kInformation, "");
                if (answer == MsgResult::Abort)
                    return false;
                if (answer == MsgResult::Ignore)
                    break;
            }
            return true;
        }
    } catch (const RuntimeError &e) {
        failure = e.description();
    }
    MsgBox("Error registering plug-in: \r\n" + failure, MsgStyle::kCritical, "");
    throw RuntimeError(HostError::kRegistration, "Error registering plug-in: " + failure, HostError::kSource);
}

void DeregisterCommand(std::int16_t scope, const CommandRecord &command, const std::string &programId,
                       const std::string &lonMarkObjectName)
{
    DebugLog("MMain.DeregisterCommand()");
    try {
        auto apps = appsFor(scope, programId, lonMarkObjectName);
        if (!apps)
            return;
        const auto items = apps->Items();
        for (std::int32_t i = items.Count(); i >= 1; --i) {
            auto app = items.Item(i);
            if (app->ProgId() != kProgId || app->CommandId() != command.CommandId)
                continue;
            if (plugIn().DeregShowProgress)
                DisplayStatus(programId + "\r\nDeregister Command " + std::to_string(command.CommandId) + "...");
            apps->Remove(i);
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.DeregisterCommand()," + errorText(e));
    }
}

void DeregisterSupportedCommands(bool resetAll, bool firstNetwork)
{
    DebugLog("MMain.DeregisterSupportedCommands()");
    // Without an open network there is nothing to deregister from: a failure, not success.
    if (!plugIn().CurrentSystem)
        throw RuntimeError(HostError::kRegistration,
                           "Error deregistering plug-in: no network is open; set networkName before command 51",
                           HostError::kSource);
    const auto templates = templatesInLibrary();
    const auto &commands = productTables().commands;
    for (const auto &programId : templates)
        for (std::size_t c = 0; c < kCommandCount; ++c)
            if (commands[c].RegisterScope != 1 || firstNetwork)
                DeregisterCommand(static_cast<std::int16_t>(commands[c].RegisterScope), commands[c], programId,
                                  commands[c].LonMarkObjectName);
    CommandRecord hostEntry;
    hostEntry.CommandId = 50;
    DeregisterCommand(2, hostEntry, "", "");
    if (!(resetAll && plugIn().DeregShowProgress))
        return;
    for (const auto &programId : templates) {
        try {
            bool used = false;
            for (const auto &sub : currentSystem().Subsystems())
                for (const auto &device : sub->AppDevices())
                    used = used || device->ProgramId() == programId;
            if (used)
                continue;
            if (MsgBox("The device template '" + programId +
                           "' is no longer referenced by any device in the current network. Do you want to remove the "
                           "device template from the template library?",
                       MsgStyle::kYesNo + MsgStyle::kExclamation, "") == MsgResult::Yes)
                currentSystem().RemoveDeviceTemplate(programId);
        } catch (const RuntimeError &e) {
            MsgBox("Unable to remove the device template: " + e.description(), MsgStyle::kCritical, "");
        }
    }
}

std::string DeregisterMe(std::int32_t mode, bool showProgress)
{
    DebugLog("MMain.DeregisterMe()");
    plugIn().DeregShowProgress = showProgress;
    if (mode == 0 || mode == 1)
        Cleanup(mode == 1);
    return DeregisterRegistrationCommand(showProgress);
}

void Cleanup(bool resetAll)
{
    DebugLog("MMain.Cleanup()");
    auto &s = plugIn();
    const bool progress = s.DeregShowProgress;
    FillCommandTable();
    // Deregistration removes what registration added: the program-ID table is filled here
    // too, so the command leaves the meters' device templates as well.
    FillProgramIdTable();
    auto quietly = [](const std::function<void()> &step) {
        try {
            step();
            return true;
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: MMain.Cleanup()," + errorText(e));
            return false;
        }
    };
    if (progress)
        DisplayStatus("Opening the Object Server...");
    if (!s.ObjectServer)
        quietly([&] { s.ObjectServer = createObjectServer(); });
    if (!s.ObjectServer)
        return;
    lns::Collection<lns::Network> networks;
    const bool listed = quietly([&] {
        s.ObjectServer->SetRemote(false);
        s.ObjectServer->Open();
        networks = s.ObjectServer->Networks();
    });
    for (std::int32_t i = 1; listed && i <= networks.Count(); ++i) {
        s.CurrentNetwork = networks.Item(i);
        const std::string name = s.CurrentNetwork->Name();
        if (progress)
            DisplayStatus("Opening " + name + "...");
        if (quietly([&] { s.CurrentNetwork->Open(); })) {
            std::shared_ptr<lns::NetworkInterface> remembered;
            quietly([&] {
                s.CurrentSystem = s.CurrentNetwork->Systems().Item(1);
                remembered = s.CurrentSystem->NetworkServiceDeviceInterface();
                s.CurrentSystem->SetNetworkServiceDeviceInterface(nullptr);
            });
            if (progress)
                DisplayStatus("Opening " + name + "...\r\nEngineered system mode");
            bool open = s.CurrentSystem && quietly([&] { s.CurrentSystem->Open(); });
            if (!open && s.CurrentSystem) {
                quietly([&] { s.CurrentSystem->SetNetworkServiceDeviceInterface(remembered); });
                if (progress)
                    DisplayStatus("Opening " + name + "...\r\nNetwork Interface '" + (remembered ? remembered->Name() : "") + "'");
                open = quietly([&] { s.CurrentSystem->Open(); });
            }
            if (open) {
                if (progress)
                    DisplayStatus("Deregister commands...");
                DeregisterSupportedCommands(resetAll, i == 1);
            }
        }
        quietly([&] {
            if (s.CurrentSystem)
                s.CurrentSystem->Close();
            s.CurrentNetwork->Close();
        });
        s.CurrentSystem.reset();
        s.CurrentNetwork.reset();
    }
    if (progress)
        ProgressWindow::closeProgress();
    quietly([&] { s.ObjectServer->Close(); });
    s.ObjectServer.reset();
}

}  // namespace tellumic
