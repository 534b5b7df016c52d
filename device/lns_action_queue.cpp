#include "device/lns_action_queue.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/dialogs.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/value_boxes.h"

namespace tellumic {

namespace {

constexpr std::int32_t kUnrecognizedAction = 2010;
constexpr int kStateRefreshTicks = 10;
constexpr int kErrorCheckEvery = 6;
constexpr int kEnergyRefreshTicks = 10;
constexpr int kLogInfoRefreshTicks = 30;

std::ptrdiff_t tableOrder(std::string_view name)
{
    const auto it = std::find(kLnsActionNames.begin(), kLnsActionNames.end(), name);
    return it == kLnsActionNames.end() ? -1 : it - kLnsActionNames.begin();
}

bool toBoolean(const std::string &text)
{
    const auto t = trimBlanks(text);
    if (equalsIgnoreCase(t, "True"))
        return true;
    if (equalsIgnoreCase(t, "False"))
        return false;
    return toDouble(t) != 0.0;
}

// Restores the normal pointer however the action ends.
class BusyCursor
{
public:
    explicit BusyCursor(LnsTaskHost &host) : m_host(host) { m_host.setBusyCursor(true); }
    ~BusyCursor() { m_host.setBusyCursor(false); }

private:
    LnsTaskHost &m_host;
};

}  // namespace

bool &LnsBusy()
{
    static bool busy = false;
    return busy;
}

LnsActionQueue::LnsActionQueue(LnsTaskHost &host) : m_host(host) {}

void LnsActionQueue::registerAction(std::string_view name, LnsArgument argument, Routine routine)
{
    const auto order = tableOrder(name);
    if (order < 0)
        throw std::logic_error("not an LNS action: " + std::string(name));
    auto pos = std::find_if(m_table.begin(), m_table.end(), [&](const Entry &e) { return tableOrder(e.name) >= order; });
    if (pos != m_table.end() && pos->name == name)
        *pos = Entry{std::string(name), argument, std::move(routine)};
    else
        m_table.insert(pos, Entry{std::string(name), argument, std::move(routine)});
}

std::vector<std::string> LnsActionQueue::registeredActions() const
{
    std::vector<std::string> names;
    for (const auto &e : m_table)
        names.push_back(e.name);
    return names;
}

void LnsActionQueue::ExecuteLnsAction(const std::string &action)
{
    DebugLog("MTasks.ExecuteLnsAction(" + action + ")");
    if (LnsBusy()) {
        QueueLnsAction(action);
        return;
    }
    LnsBusyScope busy;
    ExecuteLnsActionNow(action);
}

void LnsActionQueue::QueueLnsAction(const std::string &action)
{
    DebugLog("MTasks.QueueLnsAction(" + action + ")");
    if (m_count == kMaxWaiting) {
        DebugLog("MTasks.QueueLnsAction() - queue full, discarding oldest action");
        PopOldestLnsAction();
    }
    m_slots[static_cast<std::size_t>(m_count)] = action;
    ++m_count;
}

std::string LnsActionQueue::PopOldestLnsAction()
{
    DebugLog("MTasks.PopOldestLnsAction()");
    if (m_count == 0)
        return {};
    std::string oldest = std::move(m_slots[0]);
    for (int i = 1; i < m_count; ++i)
        m_slots[static_cast<std::size_t>(i - 1)] = std::move(m_slots[static_cast<std::size_t>(i)]);
    --m_count;
    m_slots[static_cast<std::size_t>(m_count)].clear();
    return oldest;
}

void LnsActionQueue::ExecuteLnsActionNow(std::string action)
{
    DebugLog("MTasks.ExecuteLnsActionNow(" + action + ")");
    if (action.empty())
        return;
    try {
        BusyCursor cursor(m_host);
        std::string argument;
        if (const auto comma = action.find(','); comma != std::string::npos) {
            const auto second = action.find(',', comma + 1);
            argument = action.substr(comma + 1, second == std::string::npos ? std::string::npos : second - comma - 1);
            action.resize(comma);
        }
        runAction(action, argument);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MTasks.ExecuteLnsActionNow()," + errorText(e));
        MsgBox("Error executing LNS action: " + errorText(e), MsgStyle::kOkOnly, "Tellumic Plug-in");
    }
}

void LnsActionQueue::runAction(const std::string &name, const std::string &argument)
{
    const auto it = std::find_if(m_table.begin(), m_table.end(), [&](const Entry &e) { return e.name == name; });
    if (it == m_table.end())
        throw RuntimeError(kUnrecognizedAction, "Unrecognized LNS action: " + name);
    Arg arg;
    arg.text = argument;
    if (it->argument == LnsArgument::Integer)
        arg.integer = toInteger(argument);
    else if (it->argument == LnsArgument::Boolean)
        arg.boolean = toBoolean(argument);
    it->routine(arg);
}

void LnsActionQueue::TimerTickLns()
{
    DebugLog("MTasks.TimerTickLns()");
    if (LnsBusy())
        return;
    LnsBusyScope busy;
    try {
        if (m_count > 0)
            ExecuteLnsActionNow(PopOldestLnsAction());
        else
            periodicWork();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MTasks.TimerTickLns()," + errorText(e));
    }
}

void LnsActionQueue::periodicWork()
{
    const std::string caption = m_host.activeTabCaption();
    if (++m_stateTicks >= kStateRefreshTicks) {
        --m_errorCheckCountdown;
        const bool checkError = m_errorCheckCountdown < 1;
        if (checkError)
            m_errorCheckCountdown = kErrorCheckEvery;
        m_stateTicks = 0;
        UpdateTellumicState(checkError);
    }
    m_host.CheckUnpauseMonitoring(caption);
    m_host.UpdateMonitoringIndicators();
    if (caption == "Energy") {
        if (++m_energyTicks >= kEnergyRefreshTicks) {
            m_energyTicks = 0;
            m_host.ReadEnergies();
        }
    } else {
        // The first idle tick on the Energy tab then reads the energies at once.
        m_energyTicks = kEnergyRefreshTicks;
    }
    if (caption == "Logging" && ++m_logInfoTicks >= kLogInfoRefreshTicks) {
        m_logInfoTicks = 0;
        m_host.UpdateLogInfo();
    }
}

void LnsActionQueue::UpdateTellumicState(bool checkError)
{
    DebugLog(std::string("MTasks.UpdateTellumicState(") + (checkError ? "True" : "False") + ")");
    MeterState() = m_host.GetTellumicState(checkError);
    m_host.UpdateTitlebar();
    if (MeterState() == "Cnfg Online" && checkError)
        m_host.showLastTmError(m_host.GetLastTmError());
}

}  // namespace tellumic
