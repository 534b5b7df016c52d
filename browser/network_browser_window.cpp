#include "browser/network_browser_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "browser/harvest_panel.h"
#include "browser/harvest_run.h"
#include "browser/network_tree_model.h"
#include "browser/plugin_client.h"
#include "browser/sim_installation.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/qt_accessible.h"
#include "sim/installation.h"

namespace tellumic::browser {

namespace {

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

QString pathText(const std::filesystem::path &p)
{
    return QString::fromStdString(p.string());
}

}  // namespace

void NetworkBrowserWindow::guarded(const QString &what, const std::function<void()> &body)
{
    try {
        body();
    } catch (const RuntimeError &e) {
        tellError(what + QStringLiteral(": ") + qs(e.description()));
    } catch (const CallError &e) {
        tellError(what + QStringLiteral(": ") + qs(e.text));
    } catch (const std::exception &e) {
        tellError(what + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()));
    }
}

NetworkBrowserWindow::NetworkBrowserWindow(QDBusConnection bus, QWidget *parent)
    : QMainWindow(parent), m_bus(std::move(bus)),
      m_harvestProgram(pathText(programPath("tellumic-log"))),
      m_pluginProgram(pathText(programPath("tellumic-plugin"))), m_model(new NetworkTreeModel(this)),
      m_pages(new QStackedWidget), m_status(new QLabel), m_refresh(new QTimer(this))
{
    setObjectName(QStringLiteral("networkBrowser"));
    installAccessibleWidgets();
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(icon());
    m_pages->addWidget(buildOffer());
    m_pages->addWidget(buildBrowser());
    setCentralWidget(m_pages);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setAccessibleName(QStringLiteral("Status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    statusBar()->addWidget(m_status, 1);
    buildMenus();
    resize(980, 600);

    m_refresh->setObjectName(QStringLiteral("refreshTimer"));
    connect(m_refresh, &QTimer::timeout, this, [this] { tick(); });
    m_refresh->start(kRefreshIntervalMs);
    reload();
}

NetworkBrowserWindow::~NetworkBrowserWindow()
{
    // A registration still running ends with the window, without telling a window that is
    // no longer there.
    for (QProcess *p : findChildren<QProcess *>(QStringLiteral("pluginRegistration"), Qt::FindDirectChildrenOnly))
        disconnect(p, nullptr, this, nullptr);
}

QIcon NetworkBrowserWindow::icon()
{
    return QIcon::fromTheme(QString::fromLatin1(kDesktopFileName),
                            QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(kDesktopFileName))));
}

QWidget *NetworkBrowserWindow::buildOffer()
{
    auto *page = new QWidget;
    m_offerText = new QLabel;
    m_offerText->setObjectName(QStringLiteral("offerText"));
    m_offerText->setAccessibleName(QStringLiteral("First run"));
    m_offerText->setWordWrap(true);
    m_offerText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_createDemo = new QPushButton(QStringLiteral("&Create Demo Installation"));
    m_createDemo->setObjectName(QStringLiteral("cmdCreateDemo"));
    connect(m_createDemo, &QPushButton::clicked, this, [this] { createDemo(); });
    auto *layout = new QVBoxLayout(page);
    layout->addStretch();
    layout->addWidget(m_offerText);
    layout->addWidget(m_createDemo, 0, Qt::AlignLeft);
    layout->addStretch(2);
    layout->setContentsMargins(40, 20, 40, 20);
    return page;
}

QWidget *NetworkBrowserWindow::buildBrowser()
{
    m_tree = new QTreeView;
    m_tree->setObjectName(QStringLiteral("networkTree"));
    m_tree->setAccessibleName(QStringLiteral("Networks and devices"));
    m_tree->setModel(m_model);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->header()->setStretchLastSection(true);
    // Double-click, Enter or Return: the device's first command.
    connect(m_tree, &QTreeView::activated, this, [this](const QModelIndex &index) {
        guarded(QStringLiteral("The command could not be sent"), [&] {
            if (const DeviceEntry *device = m_model->device(index))
                runCommand(*device, 0);
        });
    });
    connect(m_tree, &QTreeView::customContextMenuRequested, this, &NetworkBrowserWindow::contextMenu);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        rebuildDeviceMenu();
        rebuildPluginsMenu();
        updateSimulatorMenu();
    });

    m_harvestPanel = new HarvestPanel;
    connect(m_harvestPanel, &HarvestPanel::cancelRequested, this, [this] { cancelHarvest(); });
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_harvestPanel);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    m_browserPage = splitter;
    return splitter;
}

void NetworkBrowserWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *refresh = file->addAction(QStringLiteral("&Refresh"), this, [this] { reload(); });
    refresh->setShortcut(QKeySequence::Refresh);
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    m_deviceMenu = menuBar()->addMenu(QStringLiteral("&Device"));
    m_pluginsMenu = menuBar()->addMenu(QStringLiteral("&Plug-ins"));

    m_simulatorMenu = menuBar()->addMenu(QStringLiteral("&Simulator"));
    QMenu *condition = m_simulatorMenu->addMenu(QStringLiteral("Device &Condition"));
    for (std::size_t i = 0; i < conditionChoices().size(); ++i)
        condition->addAction(QString::fromLatin1(conditionChoices()[i].label), this,
                             [this, i] { setCondition(static_cast<int>(i)); });
    m_deviceActions << condition->menuAction();
    m_meterActions << m_simulatorMenu->addAction(QStringLiteral("&Reference Load..."), this, [this] { referenceLoad(); })
                   << m_simulatorMenu->addAction(QStringLiteral("&Disconnect Reference Load"), this,
                                                 [this] { disconnectReferenceLoad(); })
                   << m_simulatorMenu->addAction(QStringLiteral("Make Log Downloads &Fail"), this,
                                                 [this] { failLogDownloads(); });
    m_deviceActions << m_simulatorMenu->addAction(QStringLiteral("C&lear Faults"), this, [this] { clearFaults(); });
    m_simulatorMenu->addSeparator();
    QMenu *speed = m_simulatorMenu->addMenu(QStringLiteral("&Transfer Speed"));
    auto *speeds = new QActionGroup(this);
    for (std::size_t i = 0; i < speedChoices().size(); ++i) {
        QAction *a = speed->addAction(QString::fromLatin1(speedChoices()[i].label), this,
                                      [this, i] { setTransferSpeed(static_cast<int>(i)); });
        a->setCheckable(true);
        speeds->addAction(a);
        m_speedActions << a;
    }

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Tellumic Network Browser"), this, [] {
        MsgBox("Tellumic Network Browser\n\nThe networks of the LonWorks installation in " + tellumicHome().string() +
                   ", their devices and the plug-ins that serve them.",
               MsgStyle::kInformation, kCaption);
    });
    rebuildDeviceMenu();
    rebuildPluginsMenu();
    updateSimulatorMenu();
}

void NetworkBrowserWindow::rebuildDeviceMenu()
{
    m_deviceMenu->clear();
    const DeviceEntry *device = selectedDevice();
    if (device) {
        for (std::size_t i = 0; i < device->commands.size(); ++i)
            m_deviceMenu->addAction(qs(device->commands[i].name), this, [this, i] {
                guarded(QStringLiteral("The command could not be sent"), [&] {
                    if (const DeviceEntry *d = selectedDevice())
                        runCommand(*d, i);
                });
            });
        if (device->commands.empty())
            m_deviceMenu->addAction(QStringLiteral("No Plug-in for This Device"))->setEnabled(false);
    } else {
        m_deviceMenu->addAction(QStringLiteral("No Device Selected"))->setEnabled(false);
    }
    m_deviceMenu->addSeparator();
    QAction *view = m_deviceMenu->addAction(QStringLiteral("&View Log"), this, [this] { viewLog(); });
    view->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    view->setEnabled(device && device->logging);
    m_deviceMenu->addSeparator();
    m_deviceMenu->addAction(QStringLiteral("&Harvest Network Now"), this, [this] { harvestNow(); })
        ->setEnabled(selectedNetwork() && (!m_harvest || !m_harvest->running()));
    m_deviceMenu->addAction(QStringLiteral("&Cancel Harvest"), this, [this] { cancelHarvest(); })
        ->setEnabled(m_harvest && m_harvest->running() && !m_harvest->cancelRequested());
}

void NetworkBrowserWindow::rebuildPluginsMenu()
{
    m_pluginsMenu->clear();
    if (!m_plugins.failure.empty()) {
        m_pluginsMenu->addAction(QStringLiteral("The Registry Cannot Be Read"))->setEnabled(false);
        return;
    }
    if (m_plugins.plugins.empty()) {
        m_pluginsMenu->addAction(QStringLiteral("No Plug-ins Are Registered on This Machine"))->setEnabled(false);
        return;
    }
    const NetworkEntry *network = selectedNetwork();
    if (!network && m_model->networks().size() == 1)
        network = &m_model->networks().front();
    for (const RegisteredPlugin &plugin : m_plugins.plugins) {
        m_pluginsMenu->addSection(QStringLiteral("%1 %2").arg(qs(plugin.name), qs(plugin.version)));
        for (const bool reg : {true, false}) {
            const QString text = QStringLiteral("%1 %2 in %3")
                                     .arg(reg ? QStringLiteral("Register") : QStringLiteral("Deregister"),
                                          qs(plugin.name), network ? qs(network->name) : QStringLiteral("a Network"));
            QAction *a = m_pluginsMenu->addAction(text, this, [this, name = plugin.name, reg] {
                const NetworkEntry *net = selectedNetwork();
                if (!net && m_model->networks().size() == 1)
                    net = &m_model->networks().front();
                for (const auto &p : m_plugins.plugins)
                    if (p.name == name && net)
                        networkCommand(p, net->name, reg);
            });
            a->setEnabled(network && network->error.empty() && !commandRunning());
            a->setToolTip(qs(plugin.description));
        }
    }
}

void NetworkBrowserWindow::updateSimulatorMenu()
{
    const DeviceEntry *device = selectedDevice();
    for (QAction *a : m_deviceActions)
        a->setEnabled(device != nullptr);
    for (QAction *a : m_meterActions)
        a->setEnabled(device && !device->model.empty());
    if (!SimInstallation::present())
        return;
    try {
        const double speed = SimInstallation::transferSpeed();
        for (std::size_t i = 0; i < speedChoices().size(); ++i)
            m_speedActions[static_cast<qsizetype>(i)]->setChecked(speedChoices()[i].factor == speed);
    } catch (const RuntimeError &) {
        // The check marks stay; a failing database is told by the refresh.
    }
}

void NetworkBrowserWindow::reload()
{
    if (const auto presence = SimInstallation::look(); !presence.present) {
        showOffer(presence.unreadable);
        return;
    }
    m_unreadable.clear();
    const std::string selected = selectedObjectName();
    m_pages->setCurrentWidget(m_browserPage);
    m_reader.reset();
    m_server.reset();
    m_plugins = registeredPlugins();
    try {
        m_server = SimInstallation::openServer();
        m_reader = std::make_unique<NetworkReader>(*m_server);
        m_model->setNetworks(m_reader->read());
        m_refreshFailed = false;
    } catch (const RuntimeError &e) {
        m_reader.reset();
        m_server.reset();
        m_model->setNetworks({});
        m_refreshFailed = true;
        setStatus(QStringLiteral("The networks cannot be read: ") + qs(e.description()), true);
    }
    m_tree->expandAll();
    fitColumns();
    if (const QModelIndex again = m_model->indexOf(selected); again.isValid())
        m_tree->setCurrentIndex(again);
    else if (m_model->rowCount() > 0 && !m_tree->currentIndex().isValid())
        m_tree->setCurrentIndex(m_model->index(0, 0));
    rebuildDeviceMenu();
    rebuildPluginsMenu();
    updateSimulatorMenu();
    if (m_refreshFailed)
        return;
    int devices = 0;
    QStringList problems;
    for (const auto &n : m_model->networks()) {
        for (const auto &s : n.subsystems)
            devices += static_cast<int>(s.devices.size());
        if (!n.error.empty())
            problems << QStringLiteral("The network %1 cannot be opened: %2").arg(qs(n.name), qs(n.error));
    }
    if (!m_plugins.failure.empty())
        problems << QStringLiteral("The registry %1 cannot be read: %2")
                        .arg(pathText(registryStorePath()), qs(m_plugins.failure));
    if (!problems.isEmpty())
        setStatus(problems.join(QStringLiteral("; ")), true);
    else
        setStatus(QStringLiteral("%1 %2, %3 %4 in %5")
                      .arg(m_model->networks().size())
                      .arg(m_model->networks().size() == 1 ? QStringLiteral("network") : QStringLiteral("networks"))
                      .arg(devices)
                      .arg(devices == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                      .arg(pathText(tellumicHome())));
}

void NetworkBrowserWindow::tick()
{
    try {
        const auto presence = SimInstallation::look();
        const bool present = presence.present;
        // Created, removed or mended by another program meanwhile.
        const bool firstPage = m_pages->currentIndex() == 0;
        if (present == firstPage || (!present && presence.unreadable != m_unreadable)) {
            reload();
            return;
        }
        if (!present || !m_reader)
            return;
        // A plug-in registered or deregistered on this machine by another program shows in
        // the Plug-ins menu without a File > Refresh.
        if (auto plugins = registeredPlugins(); !(plugins == m_plugins)) {
            m_plugins = std::move(plugins);
            rebuildPluginsMenu();
        }
        auto networks = m_model->networks();
        m_reader->refresh(networks);
        const DeviceEntry *selected = selectedDevice();
        const auto commandsBefore = selected ? selected->commands : std::vector<PluginCommand>{};
        m_model->updateNetworks(networks);
        fitColumns();
        // The Device menu is made again only when what it lists changed: an open menu stays.
        if (const DeviceEntry *now = selectedDevice(); now && now->commands != commandsBefore)
            rebuildDeviceMenu();
        if (m_refreshFailed) {
            m_refreshFailed = false;
            setStatus(QStringLiteral("The network database answers again."));
        }
    } catch (const RuntimeError &e) {
        m_refreshFailed = true;
        setStatus(QStringLiteral("The device states cannot be read: ") + qs(e.description()), true);
    } catch (const std::exception &e) {
        m_refreshFailed = true;
        setStatus(QStringLiteral("The device states cannot be read: ") + QString::fromLocal8Bit(e.what()), true);
    }
}

void NetworkBrowserWindow::fitColumns()
{
    // A refresh brings longer texts ("Uncommissioned" where "Online" was): every column but
    // the last, which takes the rest, is as wide as what it shows now.
    for (int c = 0; c < NetworkTreeModel::kColumnCount - 1; ++c)
        m_tree->resizeColumnToContents(c);
}

bool NetworkBrowserWindow::offeringDemo() const
{
    return m_pages->currentIndex() == 0 && m_unreadable.empty();
}

void NetworkBrowserWindow::showOffer(const std::string &unreadable)
{
    m_reader.reset();
    m_server.reset();
    m_model->setNetworks({});
    m_unreadable = unreadable;
    m_pages->setCurrentIndex(0);
    if (!unreadable.empty()) {
        // There is an installation: making another over it would fail, or lose it.
        const QString text = QStringLiteral("The LonWorks installation in %1 cannot be opened: %2")
                                 .arg(pathText(SimInstallation::home()), qs(unreadable));
        m_offerText->setText(text);
        m_createDemo->hide();
        setStatus(text, true);
        return;
    }
    m_createDemo->show();
    m_offerText->setText(
        QStringLiteral("There is no LonWorks installation in %1.\n\nCreate the demo installation? It is made in %2: "
                       "the network \"Demo\" with one meter of each supported Tellumic model and a thermostat of "
                       "another maker, on a simulated LonWorks channel (what \"lns-sim init\" makes). The folder "
                       "is set by TELLUMIC_HOME.")
            .arg(pathText(SimInstallation::home()), pathText(SimInstallation::lonWorksFolderToBe())));
    m_createDemo->setFocus();
    setStatus(QStringLiteral("No installation yet."));
}

void NetworkBrowserWindow::createDemo()
{
    guarded(QStringLiteral("The demo installation could not be created"), [&] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::string warning;
        try {
            warning = SimInstallation::createDemo();
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
        reload();
        m_tree->setFocus();
        const QString created = QStringLiteral("Created the demo installation in %1.%2")
                                    .arg(pathText(SimInstallation::lonWorksFolderToBe()),
                                         warning.empty() ? QString() : ' ' + qs(warning));
        setStatus(created, !warning.empty());
        registerDemoPlugin(created);
    });
}

void NetworkBrowserWindow::registerDemoPlugin(const QString &created)
{
    // A demo is for browsing meters: the plug-in is registered on this machine and in the
    // demo network, as "tellumic-plugin /regplugin" and "lns-host register Demo" do.
    auto *registration = new QProcess(this);
    registration->setObjectName(QStringLiteral("pluginRegistration"));
    registration->setProcessChannelMode(QProcess::MergedChannels);
    const auto failed = [this, created](const QString &why) {
        tellError(QStringLiteral("%1 The plug-in could not be registered on this machine: %2. Register it with "
                                 "\"tellumic-plugin /regplugin\", then choose File > Refresh and Plug-ins > "
                                 "Register Tellumic LNS Plug-In in Demo.")
                      .arg(created, why));
    };
    connect(registration, &QProcess::errorOccurred, this, [registration, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed(QStringLiteral("%1 (%2)").arg(registration->program(), registration->errorString()));
        registration->deleteLater();
    });
    connect(registration, &QProcess::finished, this, [this, registration, created, failed](int code, QProcess::ExitStatus how) {
        registration->deleteLater();
        guarded(QStringLiteral("The plug-in could not be registered"), [&] {
            const QString output = QString::fromLocal8Bit(registration->readAll()).trimmed();
            if (how != QProcess::NormalExit || code != 0) {
                failed(output.isEmpty() ? QStringLiteral("%1 ended with status %2").arg(m_pluginProgram).arg(code) : output);
                return;
            }
            m_plugins = registeredPlugins();
            rebuildPluginsMenu();
            const RegisteredPlugin *plugin = pluginOf(m_plugins, kProgId);
            if (!plugin) {
                failed(QStringLiteral("its record is not in the registry"));
                return;
            }
            const QString network = QString::fromLatin1(sim::kDemoNetwork.data(), sim::kDemoNetwork.size());
            startPluginCommand(qs(plugin->progId), network, HostCommand::kRegister, 0, QString(),
                               QStringLiteral("%1 The plug-in %2 is registered on this machine and in the network %3: "
                                              "double-click a meter to browse it.")
                                   .arg(created, qs(plugin->name), network));
        });
    });
    setStatus(created + QStringLiteral(" Registering the plug-in . . ."));
    registration->start(m_pluginProgram, {QStringLiteral("/regplugin")});
}

QString NetworkBrowserWindow::status() const
{
    return m_status->text();
}

void NetworkBrowserWindow::setStatus(const QString &text, bool error)
{
    m_status->setText(text);
    m_status->setProperty("error", error);
    m_status->setStyleSheet(error ? QStringLiteral("color: #b00020;") : QString());
    m_status->setToolTip(text);
}

void NetworkBrowserWindow::tellError(const QString &text)
{
    setStatus(text, true);
    MsgBox(text.toStdString(), MsgStyle::kExclamation, kCaption);
}

const DeviceEntry *NetworkBrowserWindow::selectedDevice() const
{
    return m_model->device(m_tree->currentIndex());
}

const NetworkEntry *NetworkBrowserWindow::selectedNetwork() const
{
    return m_model->network(m_tree->currentIndex());
}

std::string NetworkBrowserWindow::selectedObjectName() const
{
    const DeviceEntry *device = selectedDevice();
    return device ? device->objectName : std::string();
}

void NetworkBrowserWindow::closeEvent(QCloseEvent *event)
{
    if (m_harvest && m_harvest->running()) {
        const auto answer = MsgBox("A harvest of " + m_harvest->network().toStdString() +
                                       " is running. Cancel it and close the window? The files stay whole.",
                                   MsgStyle::kYesNo + MsgStyle::kQuestion + MsgStyle::kDefaultButton2, kCaption);
        if (answer != MsgResult::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

}  // namespace tellumic::browser
