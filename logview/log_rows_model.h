#pragma once

// The "Table" tab: the file's lines of the visible range, one row each, one column per
// field, read from the file as rows come into view.

#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include "logview/log_rows.h"

namespace tellumic::logview {

class LogRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(const QString &file, std::shared_ptr<const LogData> data, std::vector<LogRow> rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const QStringList &fields(int row) const;

    std::shared_ptr<const LogData> m_data;
    std::vector<LogRow> m_rows;
    std::unique_ptr<LineReader> m_reader;
    QStringList m_columns, m_units;
    mutable QHash<int, QStringList> m_cache;
};

}  // namespace tellumic::logview
