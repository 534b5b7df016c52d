#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tellumic {

// True while an LNS action or a timer tick runs; nothing else may talk to the object
// server meanwhile. Shared with the automation object.
bool &LnsBusy();

// Sets LnsBusy for its lifetime and gives it back as it was on every way out, so a scope
// entered while other LNS work runs (a command arriving during a download's event
// processing) does not end that work's hold.
class LnsBusyScope
{
public:
    LnsBusyScope() : m_was(LnsBusy()) { LnsBusy() = true; }
    ~LnsBusyScope() { LnsBusy() = m_was; }
    LnsBusyScope(const LnsBusyScope &) = delete;
    LnsBusyScope &operator=(const LnsBusyScope &) = delete;

private:
    bool m_was;
};

// What the queue's periodic work reaches in the device window and the Logging tab.
class LnsTaskHost
{
public:
    virtual ~LnsTaskHost() = default;
    virtual std::string activeTabCaption() = 0;
    virtual void setBusyCursor(bool busy) = 0;

    virtual std::string GetTellumicState(bool checkError) = 0;
    virtual std::string GetLastTmError() = 0;
    virtual void UpdateTitlebar() = 0;
    virtual void showLastTmError(const std::string &text) = 0;  // txtLastTmError
    virtual void CheckUnpauseMonitoring(const std::string &caption) = 0;
    virtual void UpdateMonitoringIndicators() = 0;
    virtual void ReadEnergies() = 0;
    virtual void UpdateLogInfo() = 0;
};

// How an action's argument is converted before its routine runs.
enum class LnsArgument { None, Text, Integer, Boolean };

// Every action name the queue knows, in table order. A routine is registered against one
// of these by the part of the plug-in that owns it.
inline constexpr std::array<std::string_view, 23> kLnsActionNames = {
    "ChangeCurrentType", "ChangeDemandType", "ChangeEnergyType", "ChangeFreqType", "ChangePowerFactType",
    "ChangePowerType", "ChangeReacPwrType", "ChangeVoltType", "ClearTmError", "DisableMonitoring",
    "EnableMonitoring", "EndPlugIn", "MConfig.ApplyConfiguration", "PauseMonitoringNV", "ResetEnergy", "ResetPeakDemand", "SetTmDateTime",
    "UpdateLogInfo", "UpdateNvMonitoring", "UpdateTellumicState", "fMain.ApplyNvCpChanges",
    "fMain.CancelNvCpChanges", "fMain.ReadLogData"};

// The queue that serialises all LNS work of the device window: one action at a time, at
// most eight waiting (the oldest is dropped), one run per 500 ms tick, and periodic state,
// error, energy and log-information refreshes when nothing waits.
class LnsActionQueue
{
public:
    struct Arg
    {
        std::string text;
        std::int16_t integer = 0;
        bool boolean = false;
    };
    using Routine = std::function<void(const Arg &)>;

    static constexpr int kMaxWaiting = 8;

    explicit LnsActionQueue(LnsTaskHost &host);

    // Adds a routine to the table; the name must be one of kLnsActionNames.
    void registerAction(std::string_view name, LnsArgument argument, Routine routine);
    // The registered action names, in table order.
    std::vector<std::string> registeredActions() const;

    void ExecuteLnsAction(const std::string &action);
    void QueueLnsAction(const std::string &action);
    std::string PopOldestLnsAction();
    void ExecuteLnsActionNow(std::string action);
    void TimerTickLns();
    void UpdateTellumicState(bool checkError);

    // The next idle tick on the Energy tab reads the energies at once (the window has just
    // shown the tab, as after a change from another tab).
    void readEnergiesOnNextIdleTick() { m_energyTicks = 10; }

    std::int16_t LnsActionCount() const { return m_count; }
    const std::array<std::string, kMaxWaiting + 1> &LnsActionQueueSlots() const { return m_slots; }
    std::int16_t EnergyTicks() const { return m_energyTicks; }
    std::int16_t StateTicks() const { return m_stateTicks; }
    std::int16_t LogInfoTicks() const { return m_logInfoTicks; }
    std::int16_t ErrorCheckCountdown() const { return m_errorCheckCountdown; }

private:
    struct Entry
    {
        std::string name;
        LnsArgument argument = LnsArgument::None;
        Routine routine;
    };
    void runAction(const std::string &name, const std::string &argument);
    void periodicWork();

    LnsTaskHost &m_host;
    std::vector<Entry> m_table;
    std::array<std::string, kMaxWaiting + 1> m_slots;
    std::int16_t m_count = 0;
    std::int16_t m_energyTicks = 0;
    std::int16_t m_logInfoTicks = 0;
    std::int16_t m_stateTicks = 0;
    std::int16_t m_errorCheckCountdown = 0;
};

}  // namespace tellumic
