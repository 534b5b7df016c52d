#include "config/config_menu.h"

#include <ctime>
#include <map>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "config/config_compare_dialog.h"
#include "config/config_file.h"
#include "device/device_window.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"

namespace tellumic::config {

namespace {

constexpr const char *kFilter = "Configurations (*.json)";
constexpr const char *kApplyAction = "MConfig.ApplyConfiguration";

// The applies handed to the action queue, by the number their action carries. An action
// the full queue drops leaves its job here, never run.
std::map<int, std::function<void()>> &waitingApplies()
{
    static std::map<int, std::function<void()>> jobs;
    return jobs;
}

void queueApply(DeviceWindow &window, std::function<void()> job)
{
    static int last = 0;
    last = last == 32767 ? 1 : last + 1;
    waitingApplies()[last] = std::move(job);
    window.queue().ExecuteLnsAction(std::string(kApplyAction) + "," + std::to_string(last));
}

void runApply(std::int16_t number)
{
    const auto it = waitingApplies().find(number);
    if (it == waitingApplies().end())
        return;
    const auto job = std::move(it->second);
    waitingApplies().erase(it);
    job();
}

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::shared_ptr<lns::AppDevice> meterShown()
{
    auto device = plugIn().CurrentDevice;
    if (!device)
        throw RuntimeError(lns::LcaError::kNotOpen, "No meter is open.");
    return device;
}

void saveConfiguration(DeviceWindow &window)
{
    DebugLog("MConfig.mnuSaveConfig_Click()");
    auto device = meterShown();
    const std::string path = dialogs().saveFileName("Save Configuration",
                                                    (programFolder() / (device->Name() + ".json")).string(), kFilter);
    if (path.empty())
        return;
    // The file holds what the meter has, not the boxes.
    if (window.editPending())
        window.addInfo("Unapplied edits are not in the saved configuration: it was read from the meter");
    saveConfig(captureConfig(*device, plugIn().CurrentNetworkName, now()), path);
    window.addInfo("Configuration saved to " + path);
}

void compareConfiguration(DeviceWindow &window)
{
    DebugLog("MConfig.mnuCompareConfig_Click()");
    auto device = meterShown();
    const std::string path = dialogs().openFileName("Compare with Configuration", programFolder().string(), kFilter);
    if (path.empty())
        return;
    CompareDialogSite site{[&window](const std::string &line) { window.addInfo(line); }, plugIn().CurrentSystem,
                           [&window](std::function<void()> job) { queueApply(window, std::move(job)); }};
    ConfigCompareDialog dialog(loadConfig(path), device, std::move(site), &window);
    dialog.exec();
}

QAction *addEntry(DeviceWindow &window, QMenu &file, QAction *before, const QString &text, const char *name,
                  void (*run)(DeviceWindow &))
{
    auto *action = new QAction(text, &file);
    action->setObjectName(name);
    file.insertAction(before, action);
    QObject::connect(action, &QAction::triggered, &window, [&window, run, name] {
        try {
            run(window);
        } catch (const RuntimeError &e) {
            DebugLog(std::string("ERROR: MConfig.") + name + "_Click()," + errorText(e));
            window.addError(errorText(e));
            MsgBox(e.description(), MsgStyle::kExclamation, kPlugInName);
        }
    });
    return action;
}

}  // namespace

void installConfigMenu(DeviceWindow &window)
{
    QMenu *file = window.menuBar()->actions().value(0) ? window.menuBar()->actions().value(0)->menu() : nullptr;
    // Once per window, however often the composition root calls.
    if (!file || file->findChild<QAction *>(QStringLiteral("mnuSaveConfig")))
        return;
    // Before the separator above Exit.
    QAction *before = nullptr;
    const auto actions = file->actions();
    for (qsizetype i = 0; i < actions.size(); ++i)
        if (actions[i]->objectName() == QLatin1String("mnuExit"))
            before = i > 0 && actions[i - 1]->isSeparator() ? actions[i - 1] : actions[i];
    window.queue().registerAction(kApplyAction, LnsArgument::Integer,
                                  [](const LnsActionQueue::Arg &arg) { runApply(arg.integer); });
    file->insertSeparator(before);
    addEntry(window, *file, before, QStringLiteral("Save &Configuration..."), "mnuSaveConfig", saveConfiguration);
    addEntry(window, *file, before, QStringLiteral("Compa&re with Configuration..."), "mnuCompareConfig",
             compareConfiguration);
}

}  // namespace tellumic::config
