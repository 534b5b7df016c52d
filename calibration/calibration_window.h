#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include "calibration/calibration_math.h"
#include "calibration/calibration_tables.h"
#include "foundation/object_server.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tellumic {

class DeviceWindow;

// The model box: a drop-down list with free text that, while locked, neither opens its list
// nor steps through it.
class ModelComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ModelComboBox(QWidget *parent = nullptr);
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    bool m_readOnly = false;
};

// The factory calibration window for the meter of the device window. A timer with four
// states drives all work with the meter: 1 reads it, 2 settles after a factory command and
// locks it, 3 measures every 2 s, 4 computes and writes new constants. Controls carry the
// names the factory documents use ("txtCalPowerA", "cmdSaveCal", ...).
class CalibrationWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kOpeningTickMs = 200;
    static constexpr int kSettleTickMs = 200;
    static constexpr int kMeasureIntervalMs = 2000;
    static constexpr int kComputeDelayMs = 500;
    static constexpr int kCommandSettleMs = 2000;
    static constexpr int kNewConstantsSettleMs = 6000;
    static constexpr int kCpAccessWaitMs = 100;
    static constexpr int kCpAccessTries = 51;

    // Factory commands written to the meter's factory-command property.
    static constexpr std::int32_t kCommandUnlock = 7461;
    static constexpr std::int32_t kCommandSave = 52817;
    static constexpr std::int32_t kCommandFactoryReset = 52836;
    static constexpr std::int32_t kCommandInitLogging = 6358;
    static constexpr std::int32_t kCommandLock = 0;

    enum class CommandResult { Sent, NoProperty, Failed };

    explicit CalibrationWindow(DeviceWindow &deviceWindow, QWidget *parent = nullptr);
    ~CalibrationWindow() override;

    // Finds the meter's calibration properties, shows its identity and starts the timer.
    void Form_Load();
    void UpdateControls();
    void FillModelList();
    void FillModelListL();
    void SetVoltageDefaults(const std::string &model);
    bool CommitNominalVac();
    bool CommitMinVac();

    // One tick of Timer1. Tests switch the timer to manual ticks and call it themselves
    // after the interval it asks for has passed on their clock.
    void Timer1_Timer();
    void setManualTicks(bool manual);
    bool timerActive() const { return m_nextTickMs >= 0; }
    int timerInterval() const { return m_nextTickMs; }
    std::int16_t calState() const { return m_calState; }
    bool calStarted() const { return m_calStarted; }
    bool &CpBusy() { return m_cpBusy; }

    // Measurement and computation.
    void WaitForCpAccess();
    void ReadCalibrationCps();
    void MeasureErrors();
    void ComputeCalibration();
    void WriteCalibrationCps();
    void ClearMeasurements();

    // Factory commands, locking and the record file.
    CommandResult SendFactoryCommand(std::int32_t command);
    void LockMeter();
    void AppendCalibrationRecord();

    // Waits while the window stays alive (WaitForCpAccess); tests put a manual clock here.
    void setWaiter(std::function<void(int ms)> waiter) { m_waiter = std::move(waiter); }

    // The kept copies: the constants the meter measures with.
    const PhaseConstants &keptCalPower() const { return m_calPower; }
    const PhaseConstants &keptCalReactive() const { return m_calReactive; }
    const PhaseConstants &keptCalVolt() const { return m_calVolt; }
    const PhaseConstants &keptPhaseAdj() const { return m_phaseAdj; }

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The six fields that are stored in the meter.
    enum class Field { Model, SerialNumber, CtAmps, NominalVac, MinVac, CreepLimit };
    // Holds the meter's properties for one procedure: waits for them first (WaitForCpAccess)
    // and lets them go on every way out.
    struct CpAccess
    {
        explicit CpAccess(CalibrationWindow &w) : window(w) { window.WaitForCpAccess(); }
        ~CpAccess() { window.m_cpBusy = false; }
        CpAccess(const CpAccess &) = delete;
        CpAccess &operator=(const CpAccess &) = delete;
        CalibrationWindow &window;
    };

    void buildUi();
    QWidget *buildIdentity();
    QWidget *buildSettings();
    QWidget *buildPhase(std::size_t phase);
    QWidget *buildCommands();
    void wireEditing();

    QWidget *fieldWidget(Field field) const;
    QLineEdit *fieldEdit(Field field) const;
    void lockField(Field field, bool locked);
    void setUnsaved(Field field, bool unsaved);
    void onFieldEdited(Field field);
    bool storeField(Field field);
    bool storeModel();
    bool storeCp(const std::function<std::shared_ptr<lns::Cp>()> &fetch, const std::string &value, Field field);
    bool storePendingFields();
    void updateTargetPower(bool report);
    void onModelChosen();

    void showConstants();
    void readKeptConstants();
    void showError(QLineEdit *box, double fraction);
    void clearError(QLineEdit *box);
    void showPassStatus();
    void setHourglass(bool on);
    void runStep(const char *name, const std::function<void()> &step);
    void guarded(const char *name, const std::function<void()> &action);
    void restartTimer(int ms);
    void stopTimer();

    void cmdStartCal_Click();
    void cmdLockTm_Click();
    void cmdRecomputeCal_Click();
    void cmdSaveCal_Click();
    void cmdFactoryReset_Click();
    void cmdInitLogging_Click();
    void settleAfterCommand(std::int32_t command);
    void copyToDeviceWindow();
    void clearMeterError();

    DeviceWindow &m_deviceWindow;

    QLineEdit *m_txtUnlockCode = nullptr;
    ModelComboBox *m_cboModel = nullptr;
    QLineEdit *m_txtSerialNumber = nullptr;
    QLineEdit *m_txtCtAmps = nullptr;
    QLineEdit *m_txtNominalVac = nullptr;
    QLineEdit *m_txtMinVac = nullptr;
    QLineEdit *m_txtCreepLimit = nullptr;
    QLineEdit *m_txtTargetPower = nullptr;
    QLineEdit *m_txtFirmwareVer = nullptr;
    QLineEdit *m_txtProgramId = nullptr;
    QLineEdit *m_txtNeuronId = nullptr;
    QLineEdit *m_txtFactoryCmd = nullptr;
    QPlainTextEdit *m_txtCalStatus = nullptr;
    QLineEdit *m_txtPassStatus = nullptr;
    std::array<QLineEdit *, 3> m_txtPower{}, m_txtReacPwr{}, m_txtVolt{};
    std::array<QLineEdit *, 3> m_txtErrPower{}, m_txtErrReac{}, m_txtErrVolt{};
    std::array<QLineEdit *, 3> m_txtCalPower{}, m_txtCalReactive{}, m_txtCalVolt{}, m_txtPhaseAdj{};
    QPushButton *m_cmdStartCal = nullptr;
    QPushButton *m_cmdLockTm = nullptr;
    QPushButton *m_cmdRecomputeCal = nullptr;
    QPushButton *m_cmdSaveCal = nullptr;
    QPushButton *m_cmdFactoryReset = nullptr;
    QPushButton *m_cmdInitLogging = nullptr;
    QPushButton *m_cmdExit = nullptr;
    QTimer m_timer;

    int m_nextTickMs = -1;  // the running timer's interval; -1 while it is stopped
    bool m_manualTicks = false;
    std::int16_t m_calState = 0;
    bool m_calStarted = false;
    bool m_cpBusy = false;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_storing = false;
    bool m_hourglass = false;
    bool m_checkPassNext = false;
    const CalibrationSupport *m_support = nullptr;
    std::shared_ptr<lns::AppDevice> m_device;
    lns::Collection<lns::Nv> m_nvs;
    lns::Collection<lns::Cp> m_calCps;
    lns::Collection<lns::Cp> m_nodeCps;
    std::shared_ptr<lns::Cp> m_modelCp, m_serialNumberCp, m_ctAmpsCp, m_factoryCommandCp;
    PhaseConstants m_calPower{}, m_calReactive{}, m_calVolt{}, m_phaseAdj{};
    PhaseValues m_measPower{}, m_measReactive{}, m_measVolt{};
    std::function<void(int)> m_waiter;
    QString m_modelShown;  // the model text as last read from the meter or chosen
};

}  // namespace tellumic
