// Factory commands, locking the meter, and the record of every saved calibration.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "calibration/calibration_record.h"
#include "calibration/calibration_window.h"
#include "device/device_window.h"
#include "device/meter_commands.h"
#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"
#include "model/nv_cp.h"

namespace tellumic {

namespace {

constexpr const char *kCaption = "Tellumic Calibration";

// The record file is in the system's single-byte character set.
std::string latin1(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

CalibrationWindow::CommandResult CalibrationWindow::SendFactoryCommand(std::int32_t command)
{
    DebugLog("fCalTellumic.SendFactoryCommand(" + std::to_string(command) + ")");
    if (!m_factoryCommandCp) {
        MsgBox("Error accessing nciFactoryCommand configuration property", MsgStyle::kOkOnly, "Factory Reset");
        return CommandResult::NoProperty;
    }
    try {
        CpAccess access(*this);
        m_factoryCommandCp->SetValueAsLong(command);
        m_txtFactoryCmd->setText(QString::number(command));
        return CommandResult::Sent;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.SendFactoryCommand()," + errorText(e));
        MsgBox("The meter did not take the factory command " + std::to_string(command) + " (nciFactoryCommand):\r\n" +
                   e.description(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return CommandResult::Failed;
    }
}

void CalibrationWindow::LockMeter()
{
    DebugLog("fCalTellumic.LockMeter()");
    if (!m_factoryCommandCp)
        return;
    std::int32_t value = 0;
    try {
        value = m_factoryCommandCp->ValueAsLong();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.LockMeter()," + errorText(e));
        MsgBox("The meter's factory command (nciFactoryCommand) could not be read, so the meter may still be unlocked:\r\n" +
                   e.description(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return;
    }
    if (value != kCommandLock)
        SendFactoryCommand(kCommandLock);
}

void CalibrationWindow::cmdStartCal_Click()
{
    // A meter that refused to be unlocked is not being calibrated; without a factory-command
    // property the window goes on as if it had been unlocked.
    if (SendFactoryCommand(kCommandUnlock) == CommandResult::Failed)
        return;
    m_calStarted = true;
    UpdateControls();
    SetVoltageDefaults(m_cboModel->currentText().toStdString());
}

void CalibrationWindow::cmdLockTm_Click()
{
    stopTimer();
    setHourglass(true);
    m_calState = 2;
    UpdateControls();
    restartTimer(kCommandSettleMs);
}

void CalibrationWindow::settleAfterCommand(std::int32_t command)
{
    stopTimer();
    setHourglass(true);
    SendFactoryCommand(command);
    m_calState = 2;
    UpdateControls();
    restartTimer(kCommandSettleMs);
}

void CalibrationWindow::cmdFactoryReset_Click()
{
    settleAfterCommand(kCommandFactoryReset);
}

void CalibrationWindow::cmdInitLogging_Click()
{
    settleAfterCommand(kCommandInitLogging);
}

void CalibrationWindow::cmdSaveCal_Click()
{
    if (trimBlanks(m_txtSerialNumber->text().toStdString()).empty()) {
        MsgBox("Please enter a serial number first", MsgStyle::kOkOnly, "Error Saving Calibration");
        return;
    }
    if (trimBlanks(m_cboModel->currentText().toStdString()).empty()) {
        MsgBox("Please enter a model first", MsgStyle::kOkOnly, "Error Saving Calibration");
        return;
    }
    // A field still red is stored first; one the meter refuses stops the save.
    if (!storePendingFields())
        return;
    stopTimer();
    setHourglass(true);
    m_cmdSaveCal->setEnabled(false);
    copyToDeviceWindow();
    clearMeterError();
    const auto sent = SendFactoryCommand(kCommandSave);
    if (sent == CommandResult::Failed) {
        // Nothing was saved: the calibration goes on, and "Save" can be tried again.
        setHourglass(false);
        UpdateControls();
        restartTimer(kMeasureIntervalMs);
        return;
    }
    m_calState = 2;
    UpdateControls();
    restartTimer(kCommandSettleMs);
    // The record documents a calibration the meter holds.
    if (sent == CommandResult::Sent)
        AppendCalibrationRecord();
}

// The device window shows what the meter now holds.
void CalibrationWindow::copyToDeviceWindow()
{
    struct Copy
    {
        const char *name;
        std::function<std::shared_ptr<lns::Cp>()> cp;
        ControlRef box;
    };
    const Copy copies[] = {
        {"UCPTmodel", [this] { return m_modelCp; }, {ControlArray::txtCp, 5}},
        {"UCPTserialNumber", [this] { return m_serialNumberCp; }, {ControlArray::txtCp, 3}},
        {"UCPTnominalVolt", [this] { return m_calCps.Item("UCPTnominalVolt"); }, {ControlArray::txtCp, 4}},
        {"UCPTctAmps", [this] { return m_ctAmpsCp; }, {ControlArray::txtNvi, 1}},
    };
    for (const auto &c : copies) {
        try {
            const std::string value = c.cp()->Value();
            m_deviceWindow.setControlText(c.box, value);
            auto &catalogue = nvCpCatalogue();
            const auto position = catalogue.tagOf(c.box);
            if (position >= 0 && position < catalogue.NvCpCount)
                catalogue.NvCpTable[static_cast<std::size_t>(position)].Value = value;
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: fCalTellumic.cmdSaveCal_Click()," + errorText(e));
            MsgBox(std::string("Could not read ") + c.name + " for the device window:\r\n" + e.description(),
                   MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        }
    }
}

void CalibrationWindow::clearMeterError()
{
    try {
        ClearTmError(*m_device);
        m_deviceWindow.queue().UpdateTellumicState(true);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.cmdSaveCal_Click()," + errorText(e));
        MsgBox("Could not clear the meter's error status:\r\n" + e.description(), MsgStyle::kOkOnly + MsgStyle::kExclamation,
               kCaption);
    }
}

void CalibrationWindow::AppendCalibrationRecord()
{
    DebugLog("fCalTellumic.AppendCalibrationRecord()");
    const auto path = calibrationFilePath();
    QString status = QStringLiteral("Calibration file: ") + QString::fromStdString(path.string());
    if (!FileExists(path))
        status += QStringLiteral("\n Must create file");
    m_txtCalStatus->setPlainText(status);
    auto file = OpenFileForAppend(path);
    if (!file) {
        MsgBox("Error opening calibration results CSV file: " + path.string(), MsgStyle::kOkOnly);
        return;
    }
    std::array<std::string, kCalibrationFieldCount> fields;
    std::size_t n = 0;
    fields[n++] = FormatDateTimeVB(processClock().now());
    for (const QLineEdit *b : {m_txtSerialNumber, m_cboModel->lineEdit(), m_txtFirmwareVer, m_txtNeuronId, m_txtProgramId,
                               m_txtNominalVac, m_txtMinVac})
        fields[n++] = latin1(b->text());
    for (const auto *boxes : {&m_txtCalPower, &m_txtCalReactive, &m_txtCalVolt})
        for (const QLineEdit *b : *boxes)
            fields[n++] = latin1(b->text());
    fields[n++] = latin1(m_txtCtAmps->text());
    for (const QLineEdit *b : m_txtPhaseAdj)
        fields[n++] = latin1(b->text());
    // The header begins a file that is new (or was left empty); the lines go in one write,
    // and a write that fails is taken back so that no half line stays.
    std::string lines;
    if (file->sizeAtOpen() == 0)
        lines.append(calibrationHeader()).append("\r\n");
    lines.append(calibrationRecordLine(fields)).append("\r\n");
    const auto report = [&](const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.AppendCalibrationRecord()," + errorText(e));
        MsgBox("Error writing calibration results CSV file: " + path.string() + "\r\n" + e.description(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
    };
    try {
        file->write(lines);
        file->close();
    } catch (const RuntimeError &e) {
        report(e);
    }
}

}  // namespace tellumic
