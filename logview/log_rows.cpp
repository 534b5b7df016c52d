#include "logview/log_rows.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>

#include "foundation/file_io.h"
#include "log/log_csv.h"

namespace tellumic::logview {

std::vector<LogRow> rowsInRange(const LogData &data, TimeRange range)
{
    const auto [first, last] = data.indexRange(range);
    std::vector<LogRow> rows;
    rows.reserve(last - first);
    std::size_t m = static_cast<std::size_t>(
        std::lower_bound(data.markers.begin(), data.markers.end(), range.start,
                         [](const Marker &mk, double v) { return static_cast<double>(mk.time) < v; }) -
        data.markers.begin());
    auto addLinesBefore = [&](double limit, bool inclusive) {
        for (; m < data.markers.size(); ++m) {
            const Marker &mk = data.markers[m];
            const auto t = static_cast<double>(mk.time);
            if (inclusive ? t > limit : t >= limit)
                break;
            if (mk.kind == MarkerKind::NoValues && t >= range.start)
                rows.push_back({mk.time, mk.offset, -1, static_cast<std::int64_t>(m)});
        }
    };
    for (std::size_t i = first; i < last; ++i) {
        addLinesBefore(static_cast<double>(data.time[i]), false);
        rows.push_back({data.time[i], data.offset[i], static_cast<std::int64_t>(i), -1});
    }
    addLinesBefore(range.end, true);
    return rows;
}

LineReader::LineReader(const std::filesystem::path &file)
{
    try {
        m_file = openRegularFile(file, O_RDONLY, "log files", Links::kFollow);
    } catch (const RuntimeError &e) {
        m_error = e.description();
    }
}

bool LineReader::lineAt(std::uint64_t offset, std::string &line)
{
    line.clear();
    if (!isOpen())
        return false;
    try {
        while (line.size() <= kMaxLineBytes) {
            const std::string piece = m_file.readAt(offset + line.size(), 512);
            if (piece.empty())
                return false;
            const auto nl = piece.find('\n');
            line.append(piece, 0, nl);
            if (nl != std::string::npos) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return true;
            }
        }
    } catch (const RuntimeError &e) {
        m_error = e.description();
    }
    return false;
}

std::vector<std::string_view> splitFields(std::string_view line, LogFormat format)
{
    std::array<std::string_view, kMaxFieldCount> fields;
    const std::size_t n = splitFields(line, format, fields);
    return {fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(n)};
}

bool rowLineMatches(const LogData &data, const LogRow &row, std::string_view line)
{
    if (row.record < 0)
        return line.starts_with(std::string(fieldCount(data.format) - 1, ','));
    const std::string prefix = std::to_string(data.recordNumber[static_cast<std::size_t>(row.record)]) + ",";
    return line.starts_with(prefix);
}

std::string exportRows(const std::filesystem::path &source, const LogData &data, const std::vector<LogRow> &rows,
                       const std::filesystem::path &target)
{
    std::error_code ec;
    if (std::filesystem::equivalent(source, target, ec))
        return "the export would replace the log it is taken from; choose another file";
    LineReader in(source);
    if (!in.isOpen())
        return "cannot read " + source.string() + ": " + in.error();
    try {
        ReplacementFile out(target);
        out.write(logCsvHeader(data.format == LogFormat::Short));
        out.write("\r\n");
        std::string line;
        for (const LogRow &r : rows) {
            if (!in.lineAt(r.offset, line) || !rowLineMatches(data, r, line))
                return "the log file has changed since it was read (the line at byte " + std::to_string(r.offset) +
                       " is not the one read there); open it again and retry";
            out.write(line);
            out.write("\r\n");
        }
        out.commit();
    } catch (const RuntimeError &e) {
        return e.description();
    }
    return {};
}

}  // namespace tellumic::logview
