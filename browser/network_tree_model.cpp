#include "browser/network_tree_model.h"

#include "model/date_time.h"

namespace tellumic::browser {

namespace {

// Where a row's entry sits in the networks: network, subsystem and device number (-1: none).
constexpr int kNetworkRole = Qt::UserRole + 1;
constexpr int kSubsystemRole = Qt::UserRole + 2;
constexpr int kDeviceRole = Qt::UserRole + 3;

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

QList<QStandardItem *> rowItems(int network, int subsystem, int device)
{
    QList<QStandardItem *> items;
    for (int c = 0; c < NetworkTreeModel::kColumnCount; ++c) {
        auto *item = new QStandardItem;
        item->setEditable(false);
        item->setData(network, kNetworkRole);
        item->setData(subsystem, kSubsystemRole);
        item->setData(device, kDeviceRole);
        items << item;
    }
    return items;
}

void setText(QStandardItemModel &model, const QModelIndex &row, int column, const QString &text,
             const QString &toolTip = {})
{
    const QModelIndex cell = row.siblingAtColumn(column);
    if (model.data(cell).toString() != text)
        model.setData(cell, text);
    if (model.data(cell, Qt::ToolTipRole).toString() != toolTip)
        model.setData(cell, toolTip, Qt::ToolTipRole);
}

}  // namespace

QString commandsText(const DeviceEntry &device)
{
    if (device.commands.empty())
        return QStringLiteral("No plug-in");
    QStringList names;
    for (const auto &c : device.commands)
        names << qs(c.name);
    return names.join(QStringLiteral(", "));
}

QString lastRecordText(const DeviceEntry &device)
{
    if (!device.logging)
        return {};
    if (device.log.file.empty())
        return QStringLiteral("No log yet");
    if (!device.log.error.empty())
        return QStringLiteral("Unreadable");
    if (device.log.last.recordNumber == 0)
        return QStringLiteral("None");
    return QString::number(device.log.last.recordNumber);
}

QString recordTimeText(const DeviceEntry &device)
{
    if (!device.logging || device.log.file.empty() || !device.log.error.empty() || device.log.last.recordNumber == 0)
        return {};
    return qs(FormatDateTime(device.log.last.dateTime));
}

NetworkTreeModel::NetworkTreeModel(QObject *parent) : QStandardItemModel(parent)
{
    setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Model"), QStringLiteral("Program ID"),
                               QStringLiteral("State"), QStringLiteral("Plug-in Commands"),
                               QStringLiteral("Last Log Record"), QStringLiteral("Record Time")});
}

void NetworkTreeModel::setNetworks(std::vector<NetworkEntry> networks)
{
    removeRows(0, rowCount());
    m_networks = std::move(networks);
    for (std::size_t n = 0; n < m_networks.size(); ++n) {
        const NetworkEntry &net = m_networks[n];
        auto netRow = rowItems(static_cast<int>(n), -1, -1);
        netRow[kName]->setText(qs(net.name));
        if (!net.error.empty()) {
            netRow[kState]->setText(QStringLiteral("Cannot be opened"));
            netRow[kState]->setToolTip(qs(net.error));
        }
        appendRow(netRow);
        for (std::size_t s = 0; s < net.subsystems.size(); ++s) {
            const SubsystemEntry &sub = net.subsystems[s];
            auto subRow = rowItems(static_cast<int>(n), static_cast<int>(s), -1);
            subRow[kName]->setText(qs(sub.name));
            subRow[kName]->setToolTip(qs(net.name + "/" + net.system + "/" + sub.name));
            netRow[0]->appendRow(subRow);
            for (std::size_t d = 0; d < sub.devices.size(); ++d) {
                auto devRow = rowItems(static_cast<int>(n), static_cast<int>(s), static_cast<int>(d));
                subRow[0]->appendRow(devRow);
                fillDevice(devRow[0]->index(), sub.devices[d]);
            }
        }
    }
}

void NetworkTreeModel::updateNetworks(const std::vector<NetworkEntry> &networks)
{
    for (std::size_t n = 0; n < networks.size() && n < m_networks.size(); ++n) {
        auto &subs = m_networks[n].subsystems;
        for (std::size_t s = 0; s < networks[n].subsystems.size() && s < subs.size(); ++s) {
            auto &devices = subs[s].devices;
            for (std::size_t d = 0; d < networks[n].subsystems[s].devices.size() && d < devices.size(); ++d) {
                devices[d] = networks[n].subsystems[s].devices[d];
                fillDevice(deviceRow(n, s, d), devices[d]);
            }
        }
    }
}

QModelIndex NetworkTreeModel::deviceRow(std::size_t network, std::size_t subsystem, std::size_t device) const
{
    return index(static_cast<int>(device), 0,
                 index(static_cast<int>(subsystem), 0, index(static_cast<int>(network), 0)));
}

void NetworkTreeModel::fillDevice(const QModelIndex &row, const DeviceEntry &d)
{
    setText(*this, row, kName, qs(d.name), qs(d.objectName));
    setText(*this, row, kModel, d.model.empty() ? QStringLiteral("Not a Tellumic meter") : qs(d.model));
    setText(*this, row, kProgramId, qs(d.programId));
    setText(*this, row, kState, qs(d.state));
    QStringList commands;
    for (const auto &c : d.commands)
        commands << QStringLiteral("%1 (command %2 of %3)").arg(qs(c.name)).arg(c.commandId).arg(qs(c.progId));
    setText(*this, row, kCommands, commandsText(d),
            d.commands.empty() ? QStringLiteral("No plug-in registered a command for this device's template")
                               : commands.join('\n'));
    setText(*this, row, kLastRecord, lastRecordText(d),
            d.log.error.empty() ? QString::fromStdString(d.log.file.string()) : qs(d.log.error));
    setText(*this, row, kRecordTime, recordTimeText(d));
}

const DeviceEntry *NetworkTreeModel::device(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    const int n = index.data(kNetworkRole).toInt(), s = index.data(kSubsystemRole).toInt(),
              d = index.data(kDeviceRole).toInt();
    if (n < 0 || s < 0 || d < 0 || static_cast<std::size_t>(n) >= m_networks.size())
        return nullptr;
    const auto &subs = m_networks[static_cast<std::size_t>(n)].subsystems;
    if (static_cast<std::size_t>(s) >= subs.size() || static_cast<std::size_t>(d) >= subs[static_cast<std::size_t>(s)].devices.size())
        return nullptr;
    return &subs[static_cast<std::size_t>(s)].devices[static_cast<std::size_t>(d)];
}

const NetworkEntry *NetworkTreeModel::network(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    const int n = index.data(kNetworkRole).toInt();
    return n >= 0 && static_cast<std::size_t>(n) < m_networks.size() ? &m_networks[static_cast<std::size_t>(n)] : nullptr;
}

QModelIndex NetworkTreeModel::indexOf(const std::string &objectName) const
{
    for (std::size_t n = 0; n < m_networks.size(); ++n)
        for (std::size_t s = 0; s < m_networks[n].subsystems.size(); ++s)
            for (std::size_t d = 0; d < m_networks[n].subsystems[s].devices.size(); ++d)
                if (m_networks[n].subsystems[s].devices[d].objectName == objectName)
                    return deviceRow(n, s, d);
    return {};
}

}  // namespace tellumic::browser
