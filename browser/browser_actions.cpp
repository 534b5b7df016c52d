// What the network browser's menus, tree and buttons do.

#include <QMenu>
#include <QTreeView>

#include "browser/harvest_panel.h"
#include "browser/harvest_run.h"
#include "browser/network_browser_window.h"
#include "browser/network_tree_model.h"
#include "browser/plugin_client.h"
#include "browser/reference_load_dialog.h"
#include "browser/sim_installation.h"
#include "logview/log_viewer_window.h"

namespace tellumic::browser {

namespace {

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

}  // namespace

void NetworkBrowserWindow::runCommand(const DeviceEntry &device, std::size_t index)
{
    const PluginCommand *command = commandOf(device, index);
    if (!command) {
        setStatus(QStringLiteral("%1 has no plug-in: no plug-in registered a command for its device template in the "
                                 "network %2.")
                      .arg(qs(device.name), qs(device.network)));
        return;
    }
    if (!pluginOf(m_plugins, command->progId)) {
        tellError(QStringLiteral("The plug-in %1 that serves \"%2\" is not registered on this machine; register it "
                                 "with \"tellumic-plugin /regplugin\", then refresh.")
                      .arg(qs(command->progId), qs(command->name)));
        return;
    }
    startPluginCommand(qs(command->progId), qs(device.network), command->commandId, command->objectType,
                       qs(device.objectName),
                       QStringLiteral("\"%1\" sent for %2.").arg(qs(command->name), qs(device.objectName)));
}

void NetworkBrowserWindow::networkCommand(const RegisteredPlugin &plugin, const std::string &network, bool reg)
{
    startPluginCommand(qs(plugin.progId), qs(network), reg ? HostCommand::kRegister : HostCommand::kDeregister, 0,
                       QString(),
                       QStringLiteral("%1 the plug-in %2 in network %3.")
                           .arg(reg ? QStringLiteral("Registered") : QStringLiteral("Deregistered"), qs(plugin.name),
                                qs(network)));
}

void NetworkBrowserWindow::startPluginCommand(const QString &plugin, const QString &network, int commandId,
                                              int objectType, const QString &objectName, const QString &done)
{
    if (commandRunning()) {
        setStatus(QStringLiteral("A plug-in command is still waiting for its answer; try again once it has one."));
        return;
    }
    PluginSettings settings;
    settings.plugin = plugin;
    PluginCommandRun::Command command{network, commandId, objectType, objectName, commandId == HostCommand::kBrowse};
    auto *run = new PluginCommandRun(m_bus, settings, command, this);
    m_commandRun = run;
    const bool changesCommands = commandId == HostCommand::kRegister || commandId == HostCommand::kDeregister;
    connect(run, &PluginCommandRun::finished, this, [this, run, done, changesCommands](const QString &error) {
        run->deleteLater();
        m_commandRun = nullptr;
        if (changesCommands)
            reload();
        else
            rebuildPluginsMenu();
        if (error.isEmpty())
            setStatus(done);
        else
            tellError(QStringLiteral("The plug-in answered with an error: ") + error);
        Q_EMIT commandFinished(error);
    });
    setStatus(QStringLiteral("Sending command %1 to %2 for %3 . . .")
                  .arg(commandId)
                  .arg(plugin, objectName.isEmpty() ? QStringLiteral("the network ") + network : objectName));
    rebuildPluginsMenu();
    run->start();
}

void NetworkBrowserWindow::viewLog()
{
    guarded(QStringLiteral("The log viewer could not be opened"), [&] {
        const DeviceEntry *device = selectedDevice();
        if (!device || !device->logging) {
            setStatus(QStringLiteral("Select a logging meter to view its log."));
            return;
        }
        if (device->log.file.empty()) {
            setStatus(QStringLiteral("%1 has no log yet: download it on the Logging tab of the device window, or "
                                     "harvest the network.")
                          .arg(qs(device->name)));
            return;
        }
        const QString file = QString::fromStdString(device->log.file.string());
        logview::openLogViewer(file, this);
        setStatus(QStringLiteral("Opened %1 in the log viewer.").arg(file));
    });
}

void NetworkBrowserWindow::harvestNow()
{
    guarded(QStringLiteral("The harvest could not be started"), [&] {
        const NetworkEntry *network = selectedNetwork();
        if (!network && m_model->networks().size() == 1)
            network = &m_model->networks().front();
        if (!network) {
            setStatus(QStringLiteral("Select a network to harvest."));
            return;
        }
        if (m_harvest && m_harvest->running()) {
            setStatus(QStringLiteral("The harvest of %1 is still running.").arg(m_harvest->network()));
            return;
        }
        if (m_harvest)
            m_harvest->deleteLater();
        auto *run = new HarvestRun(m_harvestProgram, qs(network->name), this);
        m_harvest = run;
        connect(run, &HarvestRun::changed, this, [this] { m_harvestPanel->update(); });
        connect(run, &HarvestRun::ended, this, [this] { harvestEnded(); });
        m_harvestPanel->follow(run);
        run->start();
        rebuildDeviceMenu();
        setStatus(QStringLiteral("Harvesting the logging meters of %1 . . .").arg(qs(network->name)));
    });
}

void NetworkBrowserWindow::cancelHarvest()
{
    if (!m_harvest || !m_harvest->running())
        return;
    m_harvest->cancel();
    rebuildDeviceMenu();
    setStatus(QStringLiteral("Cancelling the harvest of %1 . . .").arg(m_harvest->network()));
}

void NetworkBrowserWindow::harvestEnded()
{
    m_harvestPanel->update();
    rebuildDeviceMenu();
    tick();  // the logs' last records
    const int status = m_harvest ? m_harvest->exitStatus() : -1;
    setStatus(m_harvest ? m_harvest->outcome() : QString(), status != 0 && !(m_harvest && m_harvest->cancelRequested()));
}

void NetworkBrowserWindow::setCondition(int choice)
{
    guarded(QStringLiteral("The simulator could not change the device"), [&] {
        const DeviceEntry *device = selectedDevice();
        if (!device)
            return;
        const auto &c = conditionChoices()[static_cast<std::size_t>(choice)];
        const std::string name = device->objectName;
        SimInstallation::setCondition(name, c.condition);
        tick();
        setStatus(QStringLiteral("The simulator put %1 in the condition %2.").arg(qs(name), QString::fromLatin1(c.label)));
    });
}

void NetworkBrowserWindow::referenceLoad()
{
    const DeviceEntry *device = selectedDevice();
    if (!device || device->model.empty())
        return;
    auto *dialog = new ReferenceLoadDialog(qs(device->name), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, name = device->objectName] {
        guarded(QStringLiteral("The simulator could not connect the reference source"), [&] {
            SimInstallation::setReferenceLoad(name, dialog->phase(), dialog->load());
            const auto load = dialog->load();
            setStatus(QStringLiteral("%1 measures a reference source of %2 V, %3 A, power factor %4 on %5.")
                          .arg(qs(name))
                          .arg(load.volts)
                          .arg(load.amps)
                          .arg(load.powerFactor)
                          .arg(dialog->phase() == 3 ? QStringLiteral("every phase")
                                                    : QStringLiteral("phase ") + QChar('A' + dialog->phase())));
        });
    });
    dialog->open();
}

void NetworkBrowserWindow::disconnectReferenceLoad()
{
    guarded(QStringLiteral("The simulator could not disconnect the reference source"), [&] {
        const DeviceEntry *device = selectedDevice();
        if (!device)
            return;
        SimInstallation::setReferenceLoad(device->objectName, 3, std::nullopt);
        setStatus(QStringLiteral("%1 measures its own load again.").arg(qs(device->objectName)));
    });
}

void NetworkBrowserWindow::failLogDownloads()
{
    guarded(QStringLiteral("The simulator could not set the fault"), [&] {
        const DeviceEntry *device = selectedDevice();
        if (!device)
            return;
        SimInstallation::failLogDownloads(device->objectName);
        setStatus(QStringLiteral("Log downloads from %1 now fail after %2 bytes (Clear Faults ends it).")
                      .arg(qs(device->objectName))
                      .arg(kFailingDownloadBytes));
    });
}

void NetworkBrowserWindow::clearFaults()
{
    guarded(QStringLiteral("The simulator could not clear the faults"), [&] {
        const DeviceEntry *device = selectedDevice();
        if (!device)
            return;
        SimInstallation::clearFaults(device->objectName);
        setStatus(QStringLiteral("%1 has no simulated faults.").arg(qs(device->objectName)));
    });
}

void NetworkBrowserWindow::setTransferSpeed(int choice)
{
    guarded(QStringLiteral("The simulator could not change the transfer speed"), [&] {
        const auto &speed = speedChoices()[static_cast<std::size_t>(choice)];
        SimInstallation::setTransferSpeed(speed.factor);
        updateSimulatorMenu();
        setStatus(QStringLiteral("Log transfers run at %1 (%2 times the real channel's speed).")
                      .arg(QString::fromLatin1(speed.label))
                      .arg(speed.factor));
    });
}

void NetworkBrowserWindow::contextMenu(const QPoint &at)
{
    QModelIndex index = m_tree->indexAt(at);
    if (!index.isValid())
        index = m_tree->currentIndex();
    const DeviceEntry *device = m_model->device(index);
    if (!device)
        return;
    m_tree->setCurrentIndex(index);
    delete findChild<QMenu *>(QStringLiteral("commandMenu"), Qt::FindDirectChildrenOnly);
    // Not exec(): the refresh timer and the plug-in's answers keep running while it is open.
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("commandMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QStringLiteral("Commands of %1").arg(qs(device->name)));
    for (std::size_t i = 0; i < device->commands.size(); ++i) {
        QAction *a = menu->addAction(qs(device->commands[i].name), this, [this, i] {
            guarded(QStringLiteral("The command could not be sent"), [&] {
                if (const DeviceEntry *d = selectedDevice())
                    runCommand(*d, i);
            });
        });
        if (i == 0)
            menu->setDefaultAction(a);
    }
    if (device->commands.empty())
        menu->addAction(QStringLiteral("No Plug-in for This Device"))->setEnabled(false);
    menu->addSeparator();
    menu->addAction(QStringLiteral("View Log"), this, [this] { viewLog(); })->setEnabled(device->logging);
    menu->addAction(QStringLiteral("Harvest Network Now"), this, [this] { harvestNow(); })
        ->setEnabled(!m_harvest || !m_harvest->running());
    menu->popup(m_tree->viewport()->mapToGlobal(m_tree->visualRect(index).center()));
}

}  // namespace tellumic::browser
