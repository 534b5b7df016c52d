#pragma once

// The networks as a tree of networks, subsystems and devices, one column per fact a user
// looks for: model, program ID, state, plug-in commands, and the last record of a logging
// meter's CSV log. A refresh changes the texts in place, so selection and scrolling stay.

#include <vector>

#include <QStandardItemModel>

#include "browser/network_snapshot.h"

namespace tellumic::browser {

class NetworkTreeModel : public QStandardItemModel
{
    Q_OBJECT
public:
    enum Column { kName, kModel, kProgramId, kState, kCommands, kLastRecord, kRecordTime, kColumnCount };

    explicit NetworkTreeModel(QObject *parent = nullptr);

    // Builds the tree anew.
    void setNetworks(std::vector<NetworkEntry> networks);
    // Takes new states and logs of the same devices (NetworkReader::refresh).
    void updateNetworks(const std::vector<NetworkEntry> &networks);
    const std::vector<NetworkEntry> &networks() const { return m_networks; }

    // The device a row shows, or nullptr for a network or subsystem row.
    const DeviceEntry *device(const QModelIndex &index) const;
    // The network a row belongs to, or nullptr.
    const NetworkEntry *network(const QModelIndex &index) const;
    // The row of a device by its object name (column kName), or an invalid index.
    QModelIndex indexOf(const std::string &objectName) const;

private:
    void fillDevice(const QModelIndex &row, const DeviceEntry &device);
    QModelIndex deviceRow(std::size_t network, std::size_t subsystem, std::size_t device) const;

    std::vector<NetworkEntry> m_networks;
};

// What the tree shows in the commands column: the commands' names, or "No plug-in".
QString commandsText(const DeviceEntry &device);
// What the tree shows of a logging meter's log: the last record, and its time.
QString lastRecordText(const DeviceEntry &device);
QString recordTimeText(const DeviceEntry &device);

}  // namespace tellumic::browser
