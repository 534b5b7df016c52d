#include "log/harvest.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <unistd.h>
#include <variant>

#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/trace_log.h"
#include "log/log_file.h"
#include "log/log_transfer.h"
#include "log/log_window.h"
#include "log/new_records.h"
#include "model/product_tables.h"

namespace tellumic {

namespace {

constexpr std::string_view kZeroRecords = "Zero log records downloaded!";
// Progress goes out at most this often; the transfer's idle events come faster.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

double secondsBetween(Clock::TimePoint from, Clock::TimePoint to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Messages of the shared procedures are made for a message box; a harvest's lines are one
// line each.
std::string oneLine(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(text[i]);
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Every text of the boxes the procedures showed (answered with their default button, each
// kept once with its count) but the one given and the notice of a download that found
// nothing new: the meter's notes.
std::vector<std::string> boxNotes(const CountingDialogs &boxes, std::string_view except)
{
    std::vector<std::string> out;
    for (const auto &[text, count] : boxes.texts())
        if (text != except && text != kZeroRecords)
            out.push_back(count == 1 ? text : text + " (" + std::to_string(count) + " times)");
    return out;
}

// The Logging tab's fields as a download without a window fills them.
class HarvestWindow final : public LogWindow, public EventLog
{
public:
    HarvestWindow(bool isShort, std::function<void()> onProgress)
        : m_isShort(isShort), m_onProgress(std::move(onProgress))
    {
    }

    void setPercentComplete(std::string_view text) override { percent = text; }
    void setFileRecNum(std::string_view) override {}
    void setFileDateTime(std::string_view) override {}
    void setLogFilename(std::string_view, std::string_view) override {}
    EventLog &echLog() override { return *this; }
    bool shortRecordsTicked() const override { return m_isShort; }
    void UpdateLogProgress() override { m_onProgress(); }
    void processPendingEvents() override {}
    void logDataStored(const StoredLogData &data) override { stored = data; }

    void addError(const std::string &text) override { notes.push_back(oneLine(text)); }
    void addInfo(const std::string &text) override
    {
        // The completion line says what the result says already.
        if (!text.starts_with("Log read complete."))
            notes.push_back(oneLine(text));
    }

    std::string percent;
    std::optional<StoredLogData> stored;
    std::vector<std::string> notes;

private:
    bool m_isShort;
    std::function<void()> m_onProgress;
};

class EventSinkScope
{
public:
    EventSinkScope(lns::ObjectServer &server, lns::ObjectServerEvents *sink) : m_server(server)
    {
        m_server.SetEventSink(sink);
    }
    ~EventSinkScope() { m_server.SetEventSink(nullptr); }
    EventSinkScope(const EventSinkScope &) = delete;
    EventSinkScope &operator=(const EventSinkScope &) = delete;

private:
    lns::ObjectServer &m_server;
};

class Harvester final : public lns::ObjectServerEvents
{
public:
    Harvester(lns::ObjectServer &server, const std::string &network, const HarvestOptions &options,
              HarvestReport &report, const std::function<bool()> &stopRequested)
        : m_server(server),
          m_network(network),
          m_options(options),
          m_report(report),
          m_stopRequested(stopRequested),
          m_rate(channelRecordsPerSecond(options.isShort) / 1.1)
    {
    }

    int run();

    void OnNetworkVariableUpdate(std::int32_t, const std::string &, std::shared_ptr<lns::Nv>) override {}
    void OnNvUpdateError(std::int32_t, const RuntimeError &) override {}
    void OnSystemServicePin(const std::string &, const std::string &) override {}
    void OnSystemNssIdle() override;

private:
    struct Meter
    {
        std::shared_ptr<lns::AppDevice> device;
        std::string name;
        std::string error;  // it cannot be harvested at all (not a logging meter)
        std::optional<LogInfo> info;
        MeterPlan plan;
        std::string planError;
    };

    bool stopped()
    {
        if (!m_stopped && m_stopRequested && m_stopRequested())
            m_stopped = true;
        return m_stopped;
    }
    bool openNetwork();
    void closeNetwork();
    std::vector<Meter> findMeters();
    void plan(Meter &meter);
    std::variant<LogInfo, std::string> readLogInfo(Meter &meter);
    MeterResult harvest(Meter &meter);
    MeterResult download(Meter &meter, MeterResult result, const std::filesystem::path &path, HeldLogDownload held);
    MeterResult resultOf(const Meter &meter) const;
    MeterResult dryRunResult(const Meter &meter) const;
    bool takeNetworkLock(std::unique_ptr<FileLock> &lock);
    void onProgress();

    lns::ObjectServer &m_server;
    const std::string &m_network;
    const HarvestOptions &m_options;
    HarvestReport &m_report;
    const std::function<bool()> &m_stopRequested;
    std::shared_ptr<lns::Network> m_net;
    std::shared_ptr<lns::System> m_system;
    // The procedures' boxes, one line each: the last is the failure, the others notes.
    CountingDialogs m_messages{[](std::string_view text) { return oneLine(text); }};
    HarvestWindow *m_window = nullptr;  // the running download's
    MeterProgress m_progress;
    Clock::TimePoint m_lastProgress{};
    double m_rate;  // records per second this harvest expects of the channel
    bool m_stopped = false;
};

void Harvester::OnSystemNssIdle()
{
    LogFtpState &s = logFtpState();
    if (stopped()) {
        if (s.LogReading) {
            s.LogCancel = true;  // passed on below, as after a click on "Cancel"
        } else {
            try {
                m_system->CancelRunningOperation();
            } catch (const RuntimeError &e) {
                DebugLog("ERROR: Harvest.OnSystemNssIdle()," + errorText(e));
            }
        }
    }
    if (s.LogReading && m_window && m_system)
        handleLogNssIdle(*m_system, *m_window);
}

void Harvester::onProgress()
{
    const auto now = processClock().now();
    m_progress.elapsed = std::max(0.0, secondsBetween(logFtpState().LogStartTime, now));
    m_progress.recordsPerSecond = m_rate;
    m_progress.records =
        std::min(m_progress.expected, static_cast<std::int64_t>(std::floor(m_progress.elapsed * m_rate)));
    m_progress.left = std::max(0.0, static_cast<double>(m_progress.expected) / m_rate - m_progress.elapsed);
    if (now - m_lastProgress >= kProgressInterval) {
        m_lastProgress = now;
        m_report.progress(m_progress);
    }
}

bool Harvester::openNetwork()
{
    try {
        if (!m_server.IsOpen()) {
            m_server.SetBooleanOption(false);
            m_server.Open();
        }
        m_net = m_server.Networks().Item(m_network);
        m_net->Open();
        m_system = m_net->Systems().Item(1);
        m_system->Open();
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: Harvest.openNetwork()," + errorText(e));
        m_report.networkMessage(m_network, "cannot open the network: " + oneLine(e.description()));
        return false;
    }
}

void Harvester::closeNetwork()
{
    try {
        if (m_system)
            m_system->Close();
        if (m_net)
            m_net->Close();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: Harvest.closeNetwork()," + errorText(e));
    }
}

std::vector<Harvester::Meter> Harvester::findMeters()
{
    std::vector<Meter> meters;
    const auto named = [&](const std::string &name) {
        return std::find(m_options.meters.begin(), m_options.meters.end(), name) != m_options.meters.end();
    };
    for (const auto &subsystem : m_system->Subsystems()) {
        for (const auto &device : subsystem->AppDevices()) {
            Meter meter{device, device->Name(), {}, {}, {}, {}};
            if (!m_options.meters.empty() && !named(meter.name))
                continue;
            const std::string programId = device->ProgramId();
            const ProgramIdRecord *model = findProgramId(programId);
            if (!model || !model->logging) {
                // Only a meter asked for by name is worth a word.
                if (m_options.meters.empty())
                    continue;
                meter.error = "not a logging meter (program ID " + programId + ")";
            }
            meter.plan.name = meter.name;
            meters.push_back(std::move(meter));
        }
    }
    return meters;
}

// The meter's log information as the Logging tab reads it: only from a meter that is
// configured and on-line.
std::variant<LogInfo, std::string> Harvester::readLogInfo(Meter &meter)
{
    try {
        const std::int32_t state = meter.device->State();
        if (state != 4)
            return "the meter is not configured on-line (node state " + std::to_string(state) +
                   "): its log cannot be read";
        m_messages.clear();
        const LogInfo info = ReadLogInfoFtp(*m_system, meter.device);
        // A block that could not be decoded gives no range to trust.
        if (!m_messages.empty())
            return m_messages.last();
        return info;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: Harvest.readLogInfo()," + errorText(e));
        return oneLine("Error reading log information from the Tellumic:\r\n" + errorText(e));
    }
}

void Harvester::plan(Meter &meter)
{
    if (!meter.error.empty())
        return;
    auto info = readLogInfo(meter);
    if (const auto *error = std::get_if<std::string>(&info)) {
        meter.planError = *error;
        return;
    }
    meter.info = std::get<LogInfo>(info);
    m_messages.clear();
    const auto path = programFolder() / GetLogFilename(meter.name, m_options.isShort);
    LogDateTime lastAt;
    const std::int32_t last = FindLastLogRecnum(path, lastAt);
    if (!m_messages.empty()) {
        meter.planError = m_messages.last();
        return;
    }
    meter.plan.estimated = true;
    meter.plan.records = newRecordsCount(*meter.info, last != 0 ? std::optional(last) : std::nullopt);
    meter.plan.seconds = static_cast<double>(meter.plan.records) / m_rate;
}

MeterResult Harvester::resultOf(const Meter &meter) const
{
    MeterResult r;
    r.network = m_network;
    r.name = meter.name;
    r.file = GetLogFilename(meter.name, m_options.isShort);
    try {
        r.neuronId = meter.device->NeuronId();
        r.programId = meter.device->ProgramId();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: Harvest.resultOf()," + errorText(e));
    }
    return r;
}

MeterResult Harvester::harvest(Meter &meter)
{
    MeterResult r = resultOf(meter);
    const auto start = processClock().now();
    const auto finish = [&](HarvestOutcome outcome, std::string error) {
        r.outcome = outcome;
        r.error = std::move(error);
        r.seconds = secondsBetween(start, processClock().now());
        return r;
    };
    if (!meter.error.empty())
        return finish(HarvestOutcome::Failed, meter.error);
    if (stopped())
        return finish(HarvestOutcome::Cancelled, std::string(kStoppedBeforeMeter));
    const auto path = programFolder() / r.file;
    HeldLogDownload held;
    try {
        // The meter and the file are taken before the file's last record is looked up, so
        // that no other download comes in between the look and this one's lines.
        held = holdLogDownload(*meter.device, path);
    } catch (const LogBusyError &e) {
        return finish(HarvestOutcome::Busy, e.description());
    } catch (const RuntimeError &e) {
        return finish(HarvestOutcome::Failed, oneLine(errorText(e)));
    }
    r = download(meter, r, path, std::move(held));
    r.seconds = secondsBetween(start, processClock().now());
    return r;
}

MeterResult Harvester::download(Meter &meter, MeterResult r, const std::filesystem::path &path, HeldLogDownload held)
{
    const auto fail = [&](HarvestOutcome outcome, std::string error) {
        r.outcome = outcome;
        r.error = std::move(error);
        return r;
    };
    m_messages.clear();
    LogDateTime lastAt;
    const std::int32_t last = FindLastLogRecnum(path, lastAt);
    // A file whose end cannot be read gives no place to go on from. (The file may be missing:
    // the download creates it, as it does for the Logging tab.)
    if (!m_messages.empty())
        return fail(HarvestOutcome::Failed, m_messages.last());
    const std::optional<std::int32_t> fileLast = last != 0 ? std::optional(last) : std::nullopt;
    if (!meter.info) {
        auto info = readLogInfo(meter);
        if (const auto *error = std::get_if<std::string>(&info))
            return fail(stopped() ? HarvestOutcome::Cancelled : HarvestOutcome::Failed, *error);
        meter.info = std::get<LogInfo>(info);
    }
    const auto request = newRecordsRequest(newRecordsStop(meter.info->oldest.recordNumber, fileLast));
    if (const auto *refusal = std::get_if<std::string>(&request))
        return fail(HarvestOutcome::Failed, oneLine(*refusal));
    const auto &q = std::get<LogRequest>(request);

    m_progress = MeterProgress{m_network, meter.name, newRecordsCount(*meter.info, fileLast), 0, m_rate, 0, 0};
    m_progress.left = static_cast<double>(m_progress.expected) / m_rate;
    m_report.started(m_progress);
    m_lastProgress = processClock().now();
    m_messages.clear();
    HarvestWindow window(m_options.isShort, [this] { onProgress(); });
    m_window = &window;
    logFtpState().LogEstimateSecs =
        static_cast<std::int32_t>(std::lround(logEstimateSeconds(static_cast<double>(m_progress.expected), m_options.isShort)));
    const auto transferStart = processClock().now();
    ReadLogDataFtp(q.count, *m_system, meter.device, m_options.isShort, q.mode, q.stopDateTime, q.stopRecnum,
                   m_options.keepBad, window, std::move(held));
    m_window = nullptr;
    const double transferSeconds = secondsBetween(transferStart, processClock().now());

    const bool done = window.percent == "Done";
    r.notes = window.notes;
    for (auto &note : boxNotes(m_messages, done ? std::string_view() : std::string_view(m_messages.last())))
        r.notes.push_back(std::move(note));
    if (!done) {
        const std::string error = m_messages.empty() ? "the download failed" : m_messages.last();
        return fail(m_stopped ? HarvestOutcome::Cancelled : HarvestOutcome::Failed, error);
    }
    if (window.stored) {
        r.records = static_cast<std::int64_t>(window.stored->records);
        r.bytes = static_cast<std::int64_t>(window.stored->bytes);
        r.first = window.stored->first;
        r.last = window.stored->last;
        r.lost = window.stored->lost;
        // The next meters' estimates go by what this channel really moved.
        if (r.records > 0 && transferSeconds > 0)
            m_rate = static_cast<double>(r.records) / transferSeconds;
    }
    r.outcome = HarvestOutcome::Harvested;
    return r;
}

bool Harvester::takeNetworkLock(std::unique_ptr<FileLock> &lock)
{
    try {
        std::filesystem::create_directories(programFolder());
        lock = FileLock::tryAcquire(harvestLockPath(m_network));
    } catch (const std::exception &e) {
        m_report.networkMessage(m_network, std::string("cannot take the network's harvest lock: ") + e.what());
        return false;
    }
    if (!lock) {
        const std::string holder = FileLock::holderNote(harvestLockPath(m_network));
        m_report.networkMessage(m_network, "a harvest of this network is already running" +
                                               (holder.empty() ? std::string() : " (" + holder + ")"));
    }
    return lock != nullptr;
}

MeterResult Harvester::dryRunResult(const Meter &meter) const
{
    MeterResult r = resultOf(meter);
    const std::string &error = !meter.error.empty() ? meter.error : meter.planError;
    r.outcome = !error.empty()            ? HarvestOutcome::Failed
                : meter.plan.estimated    ? HarvestOutcome::DryRun
                                          : HarvestOutcome::Cancelled;
    r.error = r.outcome == HarvestOutcome::Cancelled ? std::string(kStoppedBeforeMeter) : error;
    r.records = meter.plan.records;
    r.bytes = meter.plan.records * static_cast<std::int64_t>(recordSize(m_options.isShort));
    r.seconds = meter.plan.seconds;
    return r;
}

int Harvester::run()
{
    // A dry run writes nothing and may look while a harvest runs.
    std::unique_ptr<FileLock> lock;
    if (!m_options.dryRun && !takeNetworkLock(lock))
        return HarvestStatus::kNotHarvested;
    const DialogsScope dialogsScope(m_messages);
    const EventSinkScope sinkScope(m_server, this);
    if (!openNetwork())
        return HarvestStatus::kNotHarvested;
    std::vector<Meter> meters;
    try {
        meters = findMeters();
    } catch (const RuntimeError &e) {
        m_report.networkMessage(m_network, "cannot list the network's devices: " + oneLine(e.description()));
        closeNetwork();
        return HarvestStatus::kNotHarvested;
    }
    if (m_options.planFirst || m_options.dryRun)
        for (auto &meter : meters)
            if (!stopped())
                plan(meter);
    std::vector<MeterPlan> plans;
    for (const auto &meter : meters)
        plans.push_back(meter.plan);
    m_report.planned(m_network, plans);

    int status = HarvestStatus::kAllHarvested;
    for (auto &meter : meters) {
        const MeterResult r = m_options.dryRun ? dryRunResult(meter) : harvest(meter);
        if ((r.outcome != HarvestOutcome::Harvested && r.outcome != HarvestOutcome::DryRun) || r.lost.total() > 0)
            status = HarvestStatus::kSomeFailed;
        m_report.finished(r);
    }
    closeNetwork();
    return status;
}

// Characters kept as they are in a lock file's name; every other byte is percent-encoded.
bool plainInFileName(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

}  // namespace

std::string_view harvestOutcomeName(HarvestOutcome outcome)
{
    switch (outcome) {
    case HarvestOutcome::Harvested: return "harvested";
    case HarvestOutcome::Failed: return "failed";
    case HarvestOutcome::Busy: return "busy";
    case HarvestOutcome::Cancelled: return "cancelled";
    case HarvestOutcome::DryRun: return "dry-run";
    }
    return "failed";
}

std::filesystem::path harvestLockPath(std::string_view network)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name = ".harvest-";
    for (const char c : network) {
        if (plainInFileName(c)) {
            name.push_back(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            name.push_back('%');
            name.push_back(kHex[b >> 4]);
            name.push_back(kHex[b & 0xF]);
        }
    }
    // logLockPath shortens a name that would be too long for the file system.
    return logLockPath(programFolder() / name);
}

int harvestNetwork(lns::ObjectServer &server, const std::string &network, const HarvestOptions &options,
                   HarvestReport &report, const std::function<bool()> &stopRequested)
{
    DebugLog("Harvest.harvestNetwork(" + network + ")");
    return Harvester(server, network, options, report, stopRequested).run();
}

}  // namespace tellumic
