#include "log/harvest.h"
#include "log/harvest_retry.h"
#include "log/harvest_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
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

using namespace harvest_parts;

// Progress goes out at most this often; the transfer's idle events come faster.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

double secondsBetween(Clock::TimePoint from, Clock::TimePoint to)
{
    return std::chrono::duration<double>(to - from).count();
}

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
        MeterResult result;  // what its tries came to so far
    };
    // How a try at a meter ended; retryable: another try may mend it.
    struct TryEnd
    {
        HarvestOutcome outcome = HarvestOutcome::Failed;
        std::string error;
        bool retryable = false;
    };

    bool stopped()
    {
        if (!m_stopped && m_stopRequested && m_stopRequested())
            m_stopped = true;
        return m_stopped;
    }
    bool timeUp() const { return m_deadline && processClock().now() >= *m_deadline; }
    bool openNetwork();
    void closeNetwork();
    std::vector<Meter> findMeters();
    void plan(Meter &meter);
    std::variant<LogInfo, std::string> readLogInfo(Meter &meter);
    int harvestAll(std::vector<Meter> &meters);
    void reportUnfinished(Meter &meter);
    void waitUntil(Clock::TimePoint when);
    bool tryMeter(Meter &meter);
    TryEnd download(Meter &meter, const std::filesystem::path &path, const HeldLogDownload &held);
    std::optional<TryEnd> downloadChunk(Meter &meter, std::int64_t stop, std::int64_t count, const HeldLogDownload &held);
    std::int64_t chunkThatFits(std::int64_t wanted) const;
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
    Clock::TimePoint m_meterStart{};
    std::int64_t m_chunkBase = 0;  // records of the meter's earlier chunks in this try
    std::int64_t m_chunkSize = 0;
    double m_transferSeconds = 0;  // the meter's transfers so far, for the channel's rate
    double m_rate;  // records per second this harvest expects of the channel
    std::optional<Clock::TimePoint> m_deadline;
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
    const double inChunk = std::max(0.0, secondsBetween(logFtpState().LogStartTime, now));
    m_progress.elapsed = std::max(0.0, secondsBetween(m_meterStart, now));
    m_progress.recordsPerSecond = m_rate;
    m_progress.records = std::min(
        m_progress.expected,
        m_chunkBase + std::min(m_chunkSize, static_cast<std::int64_t>(std::floor(inChunk * m_rate))));
    m_progress.left = std::max(0.0, static_cast<double>(m_progress.expected - m_progress.records) / m_rate);
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
            Meter meter{device, device->Name(), {}, {}, {}, {}, {}};
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
    r.left = -1;
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

// One try at a meter; what it stores adds to the meter's result. True when it failed in a way
// that another try may mend (the meter or the channel did not answer, a transfer was cut).
bool Harvester::tryMeter(Meter &meter)
{
    MeterResult &r = meter.result;
    const auto start = processClock().now();
    const auto end = [&](TryEnd e) {
        r.outcome = e.outcome;
        r.error = std::move(e.error);
        r.seconds += secondsBetween(start, processClock().now());
        return e.retryable && r.outcome == HarvestOutcome::Failed;
    };
    if (stopped())
        return end({HarvestOutcome::Cancelled, std::string(kStoppedBeforeMeter), false});
    const auto path = programFolder() / r.file;
    HeldLogDownload held;
    try {
        // The meter and the file are taken before the file's last record is looked up, so
        // that no other download comes in between the look and this one's lines.
        held = holdLogDownload(*meter.device, path);
    } catch (const LogBusyError &e) {
        return end({HarvestOutcome::Busy, e.description(), false});
    } catch (const RuntimeError &e) {
        return end({HarvestOutcome::Failed, oneLine(errorText(e)), true});
    }
    return end(download(meter, path, held));
}

Harvester::TryEnd Harvester::download(Meter &meter, const std::filesystem::path &path, const HeldLogDownload &held)
{
    m_messages.clear();
    try {
        // A file that is not this meter's log is left as it is; another try would not mend it.
        checkLogCsvFile(path, m_options.isShort);
    } catch (const RuntimeError &e) {
        return {HarvestOutcome::Failed, oneLine(errorText(e)), false};
    }
    LogDateTime lastAt;
    const std::int32_t last = FindLastLogRecnum(path, lastAt);
    // A file whose end cannot be read gives no place to go on from. (The file may be missing:
    // the download creates it, as it does for the Logging tab.)
    if (!m_messages.empty())
        return {HarvestOutcome::Failed, m_messages.last(), false};
    const std::optional<std::int32_t> fileLast = last != 0 ? std::optional(last) : std::nullopt;
    // A try after a failure reads the log information afresh: the log went on meanwhile.
    if (!meter.info || meter.result.tries > 1) {
        auto info = readLogInfo(meter);
        if (const auto *error = std::get_if<std::string>(&info))
            return {stopped() ? HarvestOutcome::Cancelled : HarvestOutcome::Failed, *error, true};
        meter.info = std::get<LogInfo>(info);
    }
    const std::int64_t firstStop = newRecordsStop(meter.info->oldest.recordNumber, fileLast);
    const auto request = newRecordsRequest(firstStop);
    if (const auto *refusal = std::get_if<std::string>(&request))
        return {HarvestOutcome::Failed, oneLine(*refusal), false};
    // Records the meter no longer holds cannot come; its oldest is where the first chunk stops.
    std::int64_t stop = std::max<std::int64_t>(firstStop, meter.info->oldest.recordNumber);
    const std::int64_t newest = meter.info->newest.recordNumber;
    meter.result.left = std::max<std::int64_t>(0, newest - stop + 1);
    m_progress = MeterProgress{m_network, meter.name, std::max<std::int64_t>(0, newest - stop + 1), 0, m_rate, 0, 0};
    m_progress.left = static_cast<double>(m_progress.expected) / m_rate;
    m_report.started(m_progress);
    m_meterStart = m_lastProgress = processClock().now();
    m_chunkBase = 0;
    m_messages.clear();
    while (stop <= newest) {
        const std::int64_t count = chunkThatFits(std::min<std::int64_t>(m_options.chunkRecords, newest - stop + 1));
        meter.result.left = newest - stop + 1;
        if (count < 1)
            return {HarvestOutcome::Cancelled,
                    std::string(kTimeBoundReached) + ": " + std::to_string(meter.result.left) +
                        " records are left for the next harvest",
                    false};
        if (stopped())
            return {HarvestOutcome::Cancelled, "the harvest was stopped between two chunks", false};
        if (auto failed = downloadChunk(meter, stop, count, held))
            return *std::move(failed);
        stop += count;
        m_chunkBase += count;
    }
    meter.result.left = 0;
    for (auto &note : boxNotes(m_messages, {}))
        meter.result.notes.push_back(std::move(note));
    for (const std::string &line : lostRecordsLines(meter.result.lost, m_options.keepBad))
        meter.result.notes.push_back(line);
    return {HarvestOutcome::Harvested, {}, false};
}

// The chunk that ends before the run's bound at the rate the channel is expected to move.
std::int64_t Harvester::chunkThatFits(std::int64_t wanted) const
{
    if (!m_deadline)
        return wanted;
    // The request and the start of the transfer are not counted in the channel's rate.
    constexpr double kChunkOverheadSeconds = 1.0;
    const double seconds = secondsBetween(processClock().now(), *m_deadline) - kChunkOverheadSeconds;
    return std::min(wanted, static_cast<std::int64_t>(std::floor(std::max(0.0, seconds) * m_rate)));
}

// Records stop to stop + count - 1, appended to the file when all of them came; the end of
// the try when not.
std::optional<Harvester::TryEnd> Harvester::downloadChunk(Meter &meter, std::int64_t stop, std::int64_t count,
                                                          const HeldLogDownload &held)
{
    MeterResult &r = meter.result;
    m_chunkSize = count;
    HarvestWindow window(m_options.isShort, [this] { onProgress(); });
    m_window = &window;
    logFtpState().LogEstimateSecs =
        static_cast<std::int32_t>(std::lround(logEstimateSeconds(static_cast<double>(count), m_options.isShort)));
    const auto transferStart = processClock().now();
    const LogChunk chunk{static_cast<std::int32_t>(stop + count - 1), static_cast<std::int32_t>(count)};
    ReadLogDataFtp(static_cast<std::int32_t>(count), *m_system, meter.device, m_options.isShort, LogMode::kBackToRecord,
                   {}, static_cast<std::int32_t>(stop), m_options.keepBad, window, held, chunk);
    m_window = nullptr;
    m_transferSeconds += secondsBetween(transferStart, processClock().now());

    // Every chunk says what its records lost; the meter's result says it once for them all.
    const auto chunkLost = window.stored ? lostRecordsLines(window.stored->lost, m_options.keepBad)
                                         : std::vector<std::string>{};
    for (auto &note : window.notes)
        if (std::find(chunkLost.begin(), chunkLost.end(), note) == chunkLost.end())
            r.notes.push_back(std::move(note));
    if (window.percent != "Done") {
        const bool failedBox = !m_messages.empty();
        const std::string error = failedBox ? m_messages.last() : "the download failed";
        for (auto &note : boxNotes(m_messages, failedBox ? std::string_view(error) : std::string_view()))
            r.notes.push_back(std::move(note));
        return TryEnd{m_stopped ? HarvestOutcome::Cancelled : HarvestOutcome::Failed, error, !m_stopped};
    }
    if (window.stored) {
        r.records += static_cast<std::int64_t>(window.stored->records);
        r.bytes += static_cast<std::int64_t>(window.stored->bytes);
        if (r.first.recordNumber == 0)
            r.first = window.stored->first;
        if (window.stored->last.recordNumber != 0)
            r.last = window.stored->last;
        r.lost.failedCheck += window.stored->lost.failedCheck;
        r.lost.unrecognized += window.stored->lost.unrecognized;
        // The next chunks' and meters' estimates go by what this channel really moved.
        if (m_transferSeconds > 0)
            m_rate = static_cast<double>(m_chunkBase + count) / m_transferSeconds;
    }
    return std::nullopt;
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
    r.left = meter.plan.estimated ? meter.plan.records : -1;
    r.bytes = meter.plan.records * static_cast<std::int64_t>(recordSize(m_options.isShort));
    r.seconds = meter.plan.seconds;
    return r;
}

// Waits through the options' wait, a second at a time, so that a stop is not kept waiting.
void Harvester::waitUntil(Clock::TimePoint when)
{
    using namespace std::chrono;
    while (!stopped()) {
        const auto left = ceil<milliseconds>(when - processClock().now());
        if (left <= milliseconds::zero())
            return;
        const auto step = std::min<milliseconds>(left, seconds(1));
        if (m_options.wait)
            m_options.wait(step);
        else
            std::this_thread::sleep_for(step);
    }
}

// A meter the run ends without finishing: stopped or out of time before its turn, or
// waiting for a retry.
void Harvester::reportUnfinished(Meter &meter)
{
    MeterResult &r = meter.result;
    const std::string why = m_stopped ? std::string(kStoppedBeforeMeter) : std::string(kTimeBoundReached);
    if (r.tries == 0) {
        r.outcome = HarvestOutcome::Cancelled;
        r.error = m_stopped ? why : why + " before this meter";
        r.left = meter.plan.estimated ? meter.plan.records : -1;
    } else {
        r.notes.push_back(std::string("not tried again: ") +
                          (m_stopped ? "the harvest was stopped" : std::string(kTimeBoundReached)));
    }
    m_report.finished(r);
}

int Harvester::harvestAll(std::vector<Meter> &meters)
{
    int status = HarvestStatus::kAllHarvested;
    RetrySchedule schedule(meters.size(), m_options.retries);
    const auto report = [&](Meter &meter) {
        const MeterResult &r = meter.result;
        if (r.outcome != HarvestOutcome::Harvested || r.lost.total() > 0)
            status = HarvestStatus::kSomeFailed;
        m_report.finished(r);
    };
    for (;;) {
        const auto turn = schedule.next(processClock().now());
        if ((!turn.meter && !turn.waitUntil) || stopped() || timeUp())
            break;
        if (!turn.meter) {
            if (m_deadline && *turn.waitUntil >= *m_deadline)
                break;
            waitUntil(*turn.waitUntil);
            continue;
        }
        Meter &meter = meters[*turn.meter];
        if (!meter.error.empty()) {
            schedule.done(*turn.meter);
            meter.result.error = meter.error;
            report(meter);
            continue;
        }
        schedule.begin(*turn.meter);
        meter.result.tries = schedule.tries(*turn.meter);
        if (tryMeter(meter) && !stopped() && schedule.failed(*turn.meter, processClock().now())) {
            meter.result.notes.push_back("try " + std::to_string(meter.result.tries) + " failed: " + meter.result.error);
            continue;
        }
        schedule.done(*turn.meter);
        report(meter);
    }
    for (std::size_t i = 0; i < meters.size(); ++i) {
        if (schedule.waiting(i)) {
            status = HarvestStatus::kSomeFailed;
            reportUnfinished(meters[i]);
        }
    }
    return status;
}

int Harvester::run()
{
    // A dry run writes nothing and may look while a harvest runs.
    std::unique_ptr<FileLock> lock;
    if (!m_options.dryRun && !takeNetworkLock(lock))
        return HarvestStatus::kNotHarvested;
    if (m_options.maxTime)
        m_deadline = processClock().now() + *m_options.maxTime;
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
    for (auto &meter : meters) {
        plans.push_back(meter.plan);
        meter.result = resultOf(meter);
    }
    m_report.planned(m_network, plans);

    int status = HarvestStatus::kAllHarvested;
    if (m_options.dryRun) {
        for (auto &meter : meters) {
            const MeterResult r = dryRunResult(meter);
            if (r.outcome != HarvestOutcome::DryRun)
                status = HarvestStatus::kSomeFailed;
            m_report.finished(r);
        }
    } else {
        status = harvestAll(meters);
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
