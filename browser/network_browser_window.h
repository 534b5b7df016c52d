#pragma once

// The network browser: lns-host's window, the front door of the product. It shows the
// networks of the installation under TELLUMIC_HOME with their devices' state, runs the
// plug-in commands registered for a device (Browse opens the plug-in's device window over
// the session bus), registers and deregisters plug-ins in a network, shows and harvests the
// logging meters' logs, and drives the simulated installation for demonstrations. Without
// an installation it offers to create the demo installation.

#include <functional>
#include <memory>
#include <string>

#include <QDBusConnection>
#include <QMainWindow>
#include <QPointer>

#include "browser/harvest_run.h"
#include "browser/network_snapshot.h"
#include "browser/plugin_client.h"
#include "browser/registered_plugins.h"

class QAction;
class QIcon;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeView;

namespace tellumic::browser {

class HarvestPanel;
class NetworkTreeModel;

class NetworkBrowserWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char *kCaption = "Tellumic Network Browser";
    // The desktop entry's name and its icon's; the window class is the program's name,
    // "lns-host", which the entry names as its StartupWMClass.
    static constexpr const char *kDesktopFileName = "com.tellumic.NetworkBrowser";
    static QIcon icon();
    // The states are read again this often while the window is open.
    static constexpr int kRefreshIntervalMs = 2000;

    explicit NetworkBrowserWindow(QDBusConnection bus, QWidget *parent = nullptr);
    ~NetworkBrowserWindow() override;

    // The refresh timer's work: the devices' states and logs read again (or the
    // installation looked for, on first run).
    void tick();
    // Reads everything again: networks, devices, commands, plug-ins.
    void reload();

    NetworkTreeModel &model() const { return *m_model; }
    QTreeView *tree() const { return m_tree; }
    QString status() const;
    bool offeringDemo() const;
    HarvestRun *harvest() const { return m_harvest; }
    HarvestPanel *harvestPanel() const { return m_harvestPanel; }
    // True while a plug-in command waits for the plug-in's answer.
    bool commandRunning() const { return !m_commandRun.isNull(); }
    // The tellumic-log that Harvest Network Now runs; tests may put another.
    void setHarvestProgram(const QString &program) { m_harvestProgram = program; }
    // The tellumic-plugin that Create Demo Installation registers; tests may put another.
    void setPluginProgram(const QString &program) { m_pluginProgram = program; }

Q_SIGNALS:
    // A plug-in command (device command, register, deregister) has its answer.
    void commandFinished(const QString &error);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildOffer();
    QWidget *buildBrowser();
    void buildMenus();
    void rebuildDeviceMenu();
    void rebuildPluginsMenu();
    void updateSimulatorMenu();
    // The first-run page: the demo installation offered, or why the one there cannot be opened.
    void showOffer(const std::string &unreadable = {});
    void fitColumns();
    void createDemo();
    void registerDemoPlugin(const QString &created);
    void setStatus(const QString &text, bool error = false);
    // Tells an error of something the user asked for: the status line and a message box.
    void tellError(const QString &text);
    // Runs a slot's work; whatever it throws is told, never passed on to Qt.
    void guarded(const QString &what, const std::function<void()> &body);

    const DeviceEntry *selectedDevice() const;
    const NetworkEntry *selectedNetwork() const;
    std::string selectedObjectName() const;

    // browser_actions.cpp: what the menus and the tree do.
    void runCommand(const DeviceEntry &device, std::size_t index);
    void networkCommand(const RegisteredPlugin &plugin, const std::string &network, bool reg);
    void startPluginCommand(const QString &plugin, const QString &network, int commandId, int objectType,
                            const QString &objectName, const QString &done);
    void viewLog();
    void harvestNow();
    void cancelHarvest();
    void harvestEnded();
    void setCondition(int choice);
    void referenceLoad();
    void disconnectReferenceLoad();
    void failLogDownloads();
    void clearFaults();
    void setTransferSpeed(int choice);
    void contextMenu(const QPoint &at);

    QDBusConnection m_bus;
    QString m_harvestProgram;
    QString m_pluginProgram;
    std::unique_ptr<lns::ObjectServer> m_server;
    std::unique_ptr<NetworkReader> m_reader;
    RegisteredPlugins m_plugins;

    NetworkTreeModel *m_model;
    QStackedWidget *m_pages;
    QLabel *m_offerText;
    QPushButton *m_createDemo;
    QWidget *m_browserPage;
    QTreeView *m_tree;
    HarvestPanel *m_harvestPanel;
    QLabel *m_status;
    QTimer *m_refresh;
    QMenu *m_deviceMenu = nullptr;
    QMenu *m_pluginsMenu = nullptr;
    QMenu *m_simulatorMenu = nullptr;
    QList<QAction *> m_deviceActions;  // Simulator entries that need a selected device
    QList<QAction *> m_meterActions;   // ... a selected Tellumic meter
    QList<QAction *> m_speedActions;
    QPointer<HarvestRun> m_harvest;
    QPointer<PluginCommandRun> m_commandRun;
    bool m_refreshFailed = false;
    std::string m_unreadable;  // why the installation cannot be opened, as shown
};

}  // namespace tellumic::browser
