#include "browser/harvest_run.h"

#include <csignal>
#include <map>
#include <sys/prctl.h>

#include <QTimer>

#include "harvest/harvest_events.h"

namespace tellumic::browser {

namespace {

// How long a cancelled harvest gets to finish its files before it is killed.
constexpr int kCancelGraceMs = 10'000;

}  // namespace

HarvestRun::HarvestRun(QString program, QString network, QObject *parent)
    : QObject(parent), m_program(std::move(program)), m_network(std::move(network))
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // A browser that dies stops its harvest as Cancel does, rather than leaving it behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &HarvestRun::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { m_errors += m_process.readAllStandardError().toStdString(); });
    connect(&m_process, &QProcess::finished, this, &HarvestRun::processEnded);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_exitStatus = -1;
        m_outcome = QStringLiteral("The harvest could not be started: %1 (%2).").arg(m_program, m_process.errorString());
        Q_EMIT changed();
        Q_EMIT ended();
    });
}

HarvestRun::~HarvestRun()
{
    if (!running())
        return;
    // A window that goes leaves no harvest behind it: stopped as Cancel stops it.
    disconnect(&m_process, nullptr, this, nullptr);
    m_process.terminate();
    if (!m_process.waitForFinished(kCancelGraceMs))
        m_process.kill();
    m_process.waitForFinished(kCancelGraceMs);
}

void HarvestRun::start()
{
    m_meters.clear();
    m_messages.clear();
    m_outcome.clear();
    m_cancelled = false;
    // Someone is watching: a meter that fails is told at once and harvested again on request,
    // rather than tried again after minutes of back-off as the unattended run does.
    m_process.start(m_program, {QStringLiteral("harvest"), QStringLiteral("--events"), QStringLiteral("--retries"),
                                QStringLiteral("0"), QStringLiteral("--"), m_network});
}

void HarvestRun::cancel()
{
    if (!running() || m_cancelled)
        return;
    m_cancelled = true;
    m_process.terminate();
    QTimer::singleShot(kCancelGraceMs, &m_process, [this] {
        if (running())
            m_process.kill();
    });
    Q_EMIT changed();
}

void HarvestRun::readOutput()
{
    m_pending += m_process.readAllStandardOutput().toStdString();
    std::size_t start = 0;
    for (std::size_t eol; (eol = m_pending.find('\n', start)) != std::string::npos; start = eol + 1)
        takeLine(std::string_view(m_pending).substr(start, eol - start));
    m_pending.erase(0, start);
}

void HarvestRun::takeLine(std::string_view line)
{
    if (harvest::replayEvent(line, *this))
        Q_EMIT changed();
}

HarvestMeterRow &HarvestRun::row(const std::string &name)
{
    for (auto &r : m_meters)
        if (r.name == name)
            return r;
    m_meters.push_back({});
    m_meters.back().name = name;
    return m_meters.back();
}

void HarvestRun::planned(const std::string &, const std::vector<MeterPlan> &meters)
{
    for (const auto &m : meters)
        row(m.name).expected = m.estimated ? m.records : 0;
}

void HarvestRun::started(const MeterProgress &p)
{
    progress(p);
}

void HarvestRun::progress(const MeterProgress &p)
{
    HarvestMeterRow &r = row(p.name);
    r.running = true;
    r.expected = p.expected;
    r.records = p.records;
    r.secondsLeft = p.left;
}

void HarvestRun::finished(const MeterResult &result)
{
    HarvestMeterRow &r = row(result.name);
    r.running = false;
    r.done = true;
    r.records = result.records;
    r.outcome = std::string(harvestOutcomeName(result.outcome));
    r.error = result.error;
    r.notes = result.notes;
}

void HarvestRun::networkMessage(const std::string &, const std::string &text)
{
    m_messages.push_back(text);
}

void HarvestRun::processEnded(int exitCode, QProcess::ExitStatus status)
{
    readOutput();
    if (!m_pending.empty())
        takeLine(m_pending);
    m_pending.clear();
    m_exitStatus = status == QProcess::NormalExit ? exitCode : -1;
    m_outcome = outcomeText();
    Q_EMIT changed();
    Q_EMIT ended();
}

QString HarvestRun::outcomeText() const
{
    // Meters a stop left before their turn are "not taken"; the rest by their outcome. Every
    // meter's stored records count, a cancelled or failed one's whole chunks too.
    std::map<std::string, int> counts;
    std::int64_t records = 0;
    const std::string notTaken = "not taken";
    for (const auto &r : m_meters) {
        if (!r.done)
            continue;
        const bool skipped = r.outcome == harvestOutcomeName(HarvestOutcome::Cancelled) && r.error == kStoppedBeforeMeter;
        ++counts[skipped ? notTaken : r.outcome];
        records += r.records;
    }
    QString tally;
    std::vector<std::string> names;
    for (const HarvestOutcome o : {HarvestOutcome::Harvested, HarvestOutcome::Failed, HarvestOutcome::Busy,
                                   HarvestOutcome::Cancelled})
        names.emplace_back(harvestOutcomeName(o));
    names.push_back(notTaken);
    for (const std::string &name : names) {
        if (counts[name] > 0)
            tally += (tally.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(counts[name]) + ' ' +
                     QString::fromStdString(name);
    }
    if (tally.isEmpty())
        tally = QStringLiteral("no logging meter taken");
    const QString net = m_network;
    const QString newRecords = records == 1 ? QStringLiteral("1 new record stored")
                                            : QStringLiteral("%1 new records stored").arg(records);
    if (m_exitStatus == HarvestStatus::kAllHarvested)
        return QStringLiteral("Harvest of %1 finished: %2; %3.").arg(net, tally, newRecords);
    if (m_exitStatus == HarvestStatus::kSomeFailed)
        return QStringLiteral("Harvest of %1 finished with problems: %2; %3.").arg(net, tally, newRecords);
    if (m_exitStatus == HarvestStatus::kNotHarvested) {
        const std::string why = !m_messages.empty() ? m_messages.back() : m_errors;
        return QStringLiteral("The network %1 was not harvested: %2").arg(net, QString::fromStdString(why).trimmed());
    }
    if (m_exitStatus > 128)
        return QStringLiteral("Harvest of %1 cancelled: %2; %3; every file is whole.").arg(net, tally, newRecords);
    return QStringLiteral("The harvest of %1 ended unexpectedly: %2").arg(net, QString::fromStdString(m_errors).trimmed());
}

}  // namespace tellumic::browser
