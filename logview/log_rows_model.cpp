#include "logview/log_rows_model.h"

#include <climits>

#include "log/log_csv.h"

namespace tellumic::logview {

namespace {

// Rows read from the file and kept; a screenful is a few dozen.
constexpr int kCachedRows = 512;

}  // namespace

void LogRowsModel::setRows(const QString &file, std::shared_ptr<const LogData> data, std::vector<LogRow> rows)
{
    beginResetModel();
    m_data = std::move(data);
    m_rows = std::move(rows);
    m_reader = std::make_unique<LineReader>(file.toStdString());
    m_cache.clear();
    m_columns.clear();
    m_units.clear();
    if (m_data) {
        const bool isShort = m_data->format == LogFormat::Short;
        auto fields = [](std::string_view line) {
            return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())).split(',');
        };
        m_columns = fields(logCsvColumnsLine(isShort));
        m_units = fields(logCsvUnitsLine(isShort));
    }
    endResetModel();
}

int LogRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(m_rows.size(), INT_MAX));
}

int LogRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

const QStringList &LogRowsModel::fields(int row) const
{
    if (const auto it = m_cache.constFind(row); it != m_cache.constEnd())
        return *it;
    if (m_cache.size() >= kCachedRows)
        m_cache.clear();
    QStringList out;
    std::string line;
    const LogRow &r = m_rows[static_cast<std::size_t>(row)];
    if (m_reader && m_reader->lineAt(r.offset, line) && rowLineMatches(*m_data, r, line)) {
        for (const std::string_view f : splitFields(line, m_data->format))
            out << QString::fromLatin1(f.data(), static_cast<qsizetype>(f.size()));
    } else {
        out << QString() << QString() << QString();
        out[2] = QStringLiteral("(the file has changed; open it again)");
    }
    return *m_cache.insert(row, out);
}

QVariant LogRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    return fields(index.row()).value(index.column());
}

QVariant LogRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (role == Qt::DisplayRole)
        return m_columns.value(section);
    if (role == Qt::ToolTipRole && !m_units.value(section).isEmpty())
        return m_units.value(section);
    return {};
}

}  // namespace tellumic::logview
