#include "logview/log_rows.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

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

LineReader::LineReader(const std::filesystem::path &file) : m_in(file, std::ios::binary) {}

bool LineReader::lineAt(std::uint64_t offset, std::string &line)
{
    line.clear();
    if (!m_in.is_open())
        return false;
    m_in.clear();
    m_in.seekg(static_cast<std::streamoff>(offset));
    char buffer[512];
    while (line.size() <= kMaxLineBytes) {
        m_in.read(buffer, sizeof buffer);
        const auto got = static_cast<std::size_t>(m_in.gcount());
        if (got == 0)
            break;
        const auto *nl = static_cast<const char *>(std::memchr(buffer, '\n', got));
        line.append(buffer, nl ? static_cast<std::size_t>(nl - buffer) : got);
        if (nl) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
    }
    m_failed = m_in.bad();
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
        return "cannot read " + source.string() + ": " + std::strerror(errno);
    std::filesystem::path part = target;
    part += ".part";
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (!out)
        return "cannot write " + part.string() + ": " + std::strerror(errno);
    out << logCsvHeader(data.format == LogFormat::Short) << "\r\n";
    std::string line;
    for (const LogRow &r : rows) {
        if (!in.lineAt(r.offset, line) || !rowLineMatches(data, r, line)) {
            out.close();
            std::filesystem::remove(part, ec);
            return "the log file has changed since it was read (the line at byte " + std::to_string(r.offset) +
                   " is not the one read there); open it again and retry";
        }
        out << line << "\r\n";
    }
    out.close();
    if (!out) {
        std::filesystem::remove(part, ec);
        return "cannot write " + part.string();
    }
    std::filesystem::rename(part, target, ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(part, ec);
        return "cannot put the export in place as " + target.string() + ": " + why;
    }
    return {};
}

}  // namespace tellumic::logview
