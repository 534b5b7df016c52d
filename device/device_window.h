#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QMainWindow>
#include <QTimer>

#include "device/device_view.h"
#include "device/lns_action_queue.h"
#include "foundation/object_server.h"

class QAction;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace tellumic {

class EventLogWidget;
class LoggingTab;

// The device window: one meter, tab by tab. Its boxes are named as the catalogue names
// them ("txtNvo_12" is element 12 of txtNvo); all LNS work runs through its action queue,
// driven by Timer1, and the object server's events arrive through its event pump.
class DeviceWindow : public QMainWindow, public DeviceView, public LnsTaskHost, public lns::ObjectServerEvents
{
    Q_OBJECT
public:
    static constexpr int kTimerIntervalMs = 500;
    static constexpr int kEventPumpIntervalMs = 20;

    explicit DeviceWindow(QWidget *parent = nullptr);
    ~DeviceWindow() override;

    // The process's device window, created on first use.
    static DeviceWindow &instance();
    static bool exists();

    // The object server whose events this window receives (nullptr detaches).
    void attachObjectServer(std::shared_ptr<lns::ObjectServer> server);

    // Start-up for the current device.
    bool SetDevTemplateLabel();
    bool InitDevice();
    bool ReadInitValues();
    bool SelectActiveTab();
    bool EnableControls(bool enable);
    void ShowControls_TMB();
    void ShowControls_362();
    void ShowControls_Plus_Logger(bool showLogging, bool showPtRatio);
    void UpdateStatus(const QString &text, int ticks);
    void ConditionalExit();
    // Runs the start-up again for the current device (File > Reconnect, Ctrl+R); true when
    // the window is live afterwards.
    bool Reconnect();
    // Turns off the monitoring of the device shown and forgets its catalogue boxes, so that
    // another device can be initialised in the same window.
    void releaseDevice();

    // Editing.
    void ApplyNvCpChanges();
    void CancelNvCpChanges();
    bool editPending() const { return m_editPending; }
    bool isChanged(ControlRef box) const;

    // One tick of Timer1 (tests call it in place of the timer).
    void Timer1_Timer();
    void stopTimer();
    bool timerActive() const { return m_timer.isActive(); }
    int statusTicks() const { return m_statusTicks; }

    LnsActionQueue &queue() { return m_queue; }
    EventLogWidget &eventLog() { return *m_echLog; }
    QTabWidget &tabs() { return *m_tabData; }
    LoggingTab &loggingTab() { return *m_loggingTab; }
    QLineEdit *box(ControlRef control) const;
    QLabel *unitLabel(ControlRef control) const;
    QAction *calibrateAction() const { return m_mnuCalibrate; }
    QAction *changeTypesAction() const { return m_mnuChangeTypes; }
    QAction *reconnectAction() const { return m_mnuReconnect; }
    QAction *enableMonitorAction() const { return m_mnuEnableMonitor; }
    QAction *disableMonitorAction() const { return m_mnuDisableMonitor; }

    // Waits while the user interface stays alive (ResetPeakDemand's pause); tests replace it.
    void setWaiter(std::function<void(int ms)> waiter) { m_waiter = std::move(waiter); }

    // DeviceView
    void setControlText(ControlRef control, const std::string &text) override;
    std::string controlText(ControlRef control) const override;
    void addError(const std::string &text) override;
    void addInfo(const std::string &text) override;

    // LnsTaskHost
    std::string activeTabCaption() override;
    void setBusyCursor(bool busy) override;
    std::string GetTellumicState(bool checkError) override;
    std::string GetLastTmError() override;
    void UpdateTitlebar() override;
    void showLastTmError(const std::string &text) override;
    void CheckUnpauseMonitoring(const std::string &caption) override;
    void UpdateMonitoringIndicators() override;
    void ReadEnergies() override;
    void UpdateLogInfo() override;

    // lns::ObjectServerEvents
    void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source) override;
    void OnNvUpdateError(std::int32_t tag, const RuntimeError &error) override;
    void OnSystemServicePin(const std::string &neuronId, const std::string &programId) override;
    void OnSystemNssIdle() override;

    // Called on every idle event while a log download runs (the Logging tab sets it).
    void setLogIdleHandler(std::function<bool()> handler) { m_logIdle = std::move(handler); }
    // Opens the change-type dialog from the menu entry "Change SNVT Types..." (the host
    // sets it); without one the entry stays disabled.
    void setChangeTypesHandler(std::function<void()> handler) { m_changeTypes = std::move(handler); }
    // Opens the calibration window modally (the composition root sets it); the hidden
    // Calibrate entry runs it with live monitoring off.
    void setCalibrateHandler(std::function<void()> handler) { m_calibrate = std::move(handler); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Field;
    void buildUi();
    void buildMenus();
    QWidget *buildInfoTab();
    QWidget *buildPowerTab();
    QWidget *buildEnergyTab();
    QWidget *buildDemandTab();
    QWidget *buildMultimeterTab();
    QWidget *buildPowerFactorTab();
    QWidget *buildLoggingTab();
    struct FamilyLayout;
    QLineEdit *addField(QGridLayout *grid, int row, int column, ControlRef control, const QString &caption,
                        const QString &unit, ControlRef unitLabel = {});
    void applyLayout(const FamilyLayout &layout);
    void setFieldVisible(ControlRef control, bool visible);
    void setShown(QWidget *widget, bool shown);
    void setTabShown(int index, bool shown);
    void setFieldCaption(ControlRef control, const QString &caption);
    void setLocked(ControlRef control, bool locked);
    void lockUnboundInputs();
    static void setOff(QWidget *widget, const char *reason, bool off);
    void showText(QLineEdit *box, const QString &text);
    void markChanged(QLineEdit *box, bool changed);
    void markStale(QLineEdit *box, const QString &state);
    void paintText(QLineEdit *box);
    void noteMeterState(const std::string &state);
    void onBoxTextChanged(QLineEdit *box);
    void noteStartFailure(const std::string &why);
    void saveLogPaneHeight();
    void restoreLogPaneHeight();
    void reportStartFailure();
    void registerActions();
    void syncTags();
    void showNoFamilyLayout();
    void layOutFamily(const std::string &programId);
    void readInitCp(NvCp &entry);
    void readInitNv(const NvCp &entry, const std::string &caption);
    void onTabChanged(int index);
    void onBoxEdited(QLineEdit *box);
    bool applyEntry(NvCp &entry, const std::string &text);
    void endEdit();
    void pumpEvents();
    void confirmAndQueue(const char *text, const char *caption, const char *action);
    // The entry is for the meters whose output groups carry letter names (362, 363).
    void enableChangeTypes(const std::string &programId);

    QTabWidget *m_tabData = nullptr;
    EventLogWidget *m_echLog = nullptr;
    LoggingTab *m_loggingTab = nullptr;
    QLineEdit *m_txtNodeName = nullptr;
    QLineEdit *m_txtFirmwareVer = nullptr;
    QLineEdit *m_txtStatus = nullptr;
    QLineEdit *m_txtPcDateTime = nullptr;
    QLineEdit *m_txtLastTmError = nullptr;
    QLabel *m_lblDeviceTemplate = nullptr;
    QPushButton *m_cmdApply = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QPushButton *m_cmdResetEnergy = nullptr;
    QAction *m_mnuEnableMonitor = nullptr;
    QAction *m_mnuDisableMonitor = nullptr;
    QAction *m_mnuCalibrate = nullptr;
    QAction *m_mnuChangeTypes = nullptr;
    QAction *m_mnuReconnect = nullptr;
    QSplitter *m_split = nullptr;
    std::map<ControlRef, QLineEdit *> m_boxes;
    std::map<ControlRef, QLabel *> m_units;
    std::map<ControlRef, std::vector<QWidget *>> m_fieldWidgets;
    QTimer m_timer;
    QTimer m_eventPump;
    LnsActionQueue m_queue;
    std::shared_ptr<lns::ObjectServer> m_server;  // kept while its events come here
    std::function<void(int)> m_waiter;
    std::function<bool()> m_logIdle;
    std::function<void()> m_changeTypes;
    std::function<void()> m_calibrate;
    bool m_editPending = false;
    bool m_showingValue = false;  // the window itself is writing a box, not the user
    std::string m_shownState;     // the meter state the boxes were last marked against
    std::string m_startFailure;   // why the last start-up did not make the window live
    int m_lastTab = 0;            // the tab shown before a tab change
    int m_statusTicks = 0;
    bool m_centred = false;
};

// The widget object name of a catalogue control: "txtNvo_12".
QString controlObjectName(ControlRef control);

// Ends the plug-in run: hides the window, stops its timer, cancels a running transfer,
// releases and closes what is open and ends the process.
void EndPlugIn();
// What ends the process (the event loop's exit unless a test puts something else).
void setProcessEndHandler(std::function<void()> handler);
// Tells EndPlugIn whether a log transfer runs (the log download sets it).
void setLogTransferRunningQuery(std::function<bool()> query);

}  // namespace tellumic
