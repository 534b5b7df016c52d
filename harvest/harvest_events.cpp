#include "harvest/harvest_events.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "foundation/text.h"

namespace tellumic::harvest {

namespace {

// Fields are separated by tabs; a field's backslashes, tabs and line ends are escaped.
void addField(std::string &line, std::string_view text)
{
    line.push_back('\t');
    for (const char c : text) {
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line.push_back(c);
        }
    }
}

void addField(std::string &line, std::int64_t v)
{
    addField(line, std::to_string(v));
}

void addField(std::string &line, double v)
{
    // Shortest text that reads back as the same double, whatever the locale.
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    addField(line, std::string_view(buf, ec == std::errc() ? static_cast<std::size_t>(end - buf) : 0));
}

void addRecord(std::string &line, const LastLogRecord &r)
{
    const LogDateTime &t = r.dateTime;
    for (const std::int64_t v : {std::int64_t{r.recordNumber}, std::int64_t{t.year}, std::int64_t{t.month},
                                 std::int64_t{t.day}, std::int64_t{t.hour}, std::int64_t{t.minute},
                                 std::int64_t{t.second}})
        addField(line, v);
}

std::vector<std::string> splitFields(std::string_view line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e);
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

// Reads the fields of an event in order; any field missing or malformed marks it bad.
class Fields
{
public:
    explicit Fields(std::vector<std::string> fields) : m_fields(std::move(fields)) {}

    const std::string &text()
    {
        static const std::string none;
        if (m_next >= m_fields.size()) {
            m_bad = true;
            return none;
        }
        return m_fields[m_next++];
    }
    std::int64_t integer()
    {
        const std::string &t = text();
        std::int64_t v = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (ec != std::errc() || end != t.data() + t.size())
            m_bad = true;
        return v;
    }
    // A count: a negative one is malformed.
    std::size_t count()
    {
        const std::int64_t v = integer();
        if (v < 0)
            m_bad = true;
        return static_cast<std::size_t>(std::max<std::int64_t>(v, 0));
    }
    double number()
    {
        const auto v = parseDouble(text());
        if (!v)
            m_bad = true;
        return v.value_or(0.0);
    }
    LastLogRecord record()
    {
        LastLogRecord r;
        r.recordNumber = static_cast<std::int32_t>(integer());
        r.dateTime.year = static_cast<int>(integer());
        r.dateTime.month = static_cast<int>(integer());
        r.dateTime.day = static_cast<int>(integer());
        r.dateTime.hour = static_cast<int>(integer());
        r.dateTime.minute = static_cast<int>(integer());
        r.dateTime.second = static_cast<int>(integer());
        return r;
    }
    bool ok() const { return !m_bad && m_next == m_fields.size(); }
    bool bad() const { return m_bad; }

private:
    std::vector<std::string> m_fields;
    std::size_t m_next = 1;  // field 0 is the event's kind
    bool m_bad = false;
};

std::string progressLine(const char *kind, const MeterProgress &p)
{
    std::string line = kind;
    addField(line, p.network);
    addField(line, p.name);
    addField(line, p.expected);
    addField(line, p.records);
    addField(line, p.recordsPerSecond);
    addField(line, p.elapsed);
    addField(line, p.left);
    return line;
}

MeterProgress readProgress(Fields &f)
{
    MeterProgress p;
    p.network = f.text();
    p.name = f.text();
    p.expected = f.integer();
    p.records = f.integer();
    p.recordsPerSecond = f.number();
    p.elapsed = f.number();
    p.left = f.number();
    return p;
}

}  // namespace

void PipeReport::send(const std::string &line)
{
    if (m_broken)
        return;
    const std::string out = line + '\n';
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(m_fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_broken = true;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void PipeReport::planned(const std::string &network, const std::vector<MeterPlan> &meters)
{
    std::string line = "planned";
    addField(line, network);
    addField(line, static_cast<std::int64_t>(meters.size()));
    for (const MeterPlan &m : meters) {
        addField(line, m.name);
        addField(line, std::int64_t{m.estimated ? 1 : 0});
        addField(line, m.records);
        addField(line, m.seconds);
    }
    send(line);
}

void PipeReport::started(const MeterProgress &progress)
{
    send(progressLine("started", progress));
}

void PipeReport::progress(const MeterProgress &progress)
{
    send(progressLine("progress", progress));
}

void PipeReport::finished(const MeterResult &r)
{
    std::string line = "finished";
    addField(line, r.network);
    addField(line, r.name);
    addField(line, r.file);
    addField(line, r.records);
    addField(line, r.bytes);
    addRecord(line, r.first);
    addRecord(line, r.last);
    addField(line, r.seconds);
    addField(line, static_cast<std::int64_t>(r.outcome));
    addField(line, r.error);
    addField(line, static_cast<std::int64_t>(r.notes.size()));
    for (const auto &note : r.notes)
        addField(line, note);
    addField(line, static_cast<std::int64_t>(r.lost.failedCheck));
    addField(line, static_cast<std::int64_t>(r.lost.unrecognized));
    addField(line, r.stored);
    addField(line, r.storeError);
    addField(line, std::int64_t{r.tries});
    addField(line, r.left);
    send(line);
}

void PipeReport::networkMessage(const std::string &network, const std::string &text)
{
    std::string line = "message";
    addField(line, network);
    addField(line, text);
    send(line);
}

bool replayEvent(std::string_view line, HarvestReport &report)
{
    auto fields = splitFields(line);
    const std::string kind = fields[0];
    Fields f(std::move(fields));
    if (kind == "planned") {
        const std::string network = f.text();
        const std::int64_t count = f.integer();
        std::vector<MeterPlan> meters;
        for (std::int64_t i = 0; i < count && i < 1'000'000 && !f.bad(); ++i) {
            MeterPlan m;
            m.name = f.text();
            m.estimated = f.integer() != 0;
            m.records = f.integer();
            m.seconds = f.number();
            meters.push_back(std::move(m));
        }
        if (!f.ok())
            return false;
        report.planned(network, meters);
        return true;
    }
    if (kind == "started" || kind == "progress") {
        const MeterProgress p = readProgress(f);
        if (!f.ok())
            return false;
        if (kind == "started")
            report.started(p);
        else
            report.progress(p);
        return true;
    }
    if (kind == "finished") {
        MeterResult r;
        r.network = f.text();
        r.name = f.text();
        r.file = f.text();
        r.records = f.integer();
        r.bytes = f.integer();
        r.first = f.record();
        r.last = f.record();
        r.seconds = f.number();
        const std::int64_t outcome = f.integer();
        if (outcome < 0 || outcome > static_cast<std::int64_t>(HarvestOutcome::DryRun))
            return false;
        r.outcome = static_cast<HarvestOutcome>(outcome);
        r.error = f.text();
        const std::int64_t notes = f.integer();
        for (std::int64_t i = 0; i < notes && i < 10000; ++i)
            r.notes.push_back(f.text());
        r.lost.failedCheck = f.count();
        r.lost.unrecognized = f.count();
        r.stored = f.integer();
        r.storeError = f.text();
        r.tries = static_cast<int>(std::clamp<std::int64_t>(f.integer(), 0, 1000));
        r.left = f.integer();
        if (!f.ok())
            return false;
        report.finished(r);
        return true;
    }
    if (kind == "message") {
        const std::string network = f.text();
        const std::string text = f.text();
        if (!f.ok())
            return false;
        report.networkMessage(network, text);
        return true;
    }
    return false;
}

}  // namespace tellumic::harvest
