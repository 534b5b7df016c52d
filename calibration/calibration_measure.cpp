// Measuring the meter against its references and computing new calibration constants.

#include <QLineEdit>
#include <QPushButton>

#include "calibration/calibration_window.h"
#include "device/device_window.h"
#include "device/meter_commands.h"
#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/date_time.h"

namespace tellumic {

namespace {

std::string text(const QLineEdit *b)
{
    return b->text().toStdString();
}

std::string phaseName(const char *stem, std::size_t phase)
{
    return std::string(stem) + static_cast<char>('A' + phase);
}

// A background that stands out from the neutral one of the boxes within tolerance.
const QColor kOutsideTolerance(255, 205, 205);

}  // namespace

void CalibrationWindow::WaitForCpAccess()
{
    for (int i = 0; i < kCpAccessTries && m_cpBusy; ++i)
        m_waiter(kCpAccessWaitMs);
    // After about 5.1 s the procedure goes ahead anyway.
    m_cpBusy = true;
}

void CalibrationWindow::ReadCalibrationCps()
{
    DebugLog("fCalTellumic.ReadCalibrationCps()");
    {
        CpAccess access(*this);
        struct Constant
        {
            const char *stem;
            std::array<QLineEdit *, 3> *boxes;
            PhaseConstants *kept;
        };
        const Constant constants[] = {{"UCPTcalPower", &m_txtCalPower, &m_calPower},
                                      {"UCPTcalReactive", &m_txtCalReactive, &m_calReactive},
                                      {"UCPTcalVolt", &m_txtCalVolt, &m_calVolt},
                                      {"UCPTphaseAdj", &m_txtPhaseAdj, &m_phaseAdj}};
        const std::pair<const char *, QLineEdit *> settings[] = {
            {"UCPTnominalVolt", m_txtNominalVac}, {"UCPTminVolt", m_txtMinVac}, {"UCPTcreepLimit", m_txtCreepLimit}};
        const std::int32_t count = m_calCps.Count();
        for (std::int32_t position = 1; position <= count; ++position) {
            auto cp = m_calCps.Item(position);
            const std::string name = cp->Name();
            for (const auto &c : constants)
                for (std::size_t i = 0; i < 3; ++i)
                    if (name == phaseName(c.stem, i)) {
                        (*c.boxes)[i]->setText(QString::fromStdString(cp->Value()));
                        (*c.kept)[i] = toLong(text((*c.boxes)[i]));
                    }
            for (const auto &[setting, b] : settings)
                if (name == setting)
                    b->setText(QString::fromStdString(cp->Value()));
            if (name == "UCPTfactoryCommand") {
                m_factoryCommandCp = cp;
                m_txtFactoryCmd->setText(QString::fromStdString(cp->Value()));
            }
        }
    }
    m_txtCtAmps->setText(QString::fromStdString(m_ctAmpsCp->Value()));
    m_txtSerialNumber->setText(QString::fromStdString(m_serialNumberCp->Value()));
    m_modelShown = QString::fromStdString(m_modelCp->Value());
    m_cboModel->setEditText(m_modelShown);
    m_txtFirmwareVer->setText(QString::fromStdString(m_nodeCps.Item("SCPTdevMajVer")->Value() + "." +
                                                     m_nodeCps.Item("SCPTdevMinVer")->Value()));
    updateTargetPower(true);
}

void CalibrationWindow::MeasureErrors()
{
    DebugLog("fCalTellumic.MeasureErrors()");
    m_measPower.fill(0);
    m_measReactive.fill(0);
    m_measVolt.fill(0);
    CpAccess access(*this);
    const auto target = parseDouble(text(m_txtTargetPower));
    const auto nominal = parseDouble(text(m_txtNominalVac));
    struct Quantity
    {
        const char *nv;
        std::array<QLineEdit *, 3> &measured, &error;
        PhaseValues &kept;
        std::optional<double> reference;
        bool expectsZero;  // reactive power: the error is its share of the target
    };
    const Quantity quantities[] = {
        {"nvoPower", m_txtPower, m_txtErrPower, m_measPower, target, false},
        {"nvoReacPwr", m_txtReacPwr, m_txtErrReac, m_measReactive, target, true},
        {"nvoVolts", m_txtVolt, m_txtErrVolt, m_measVolt, nominal, false},
    };
    for (const auto &q : quantities)
        for (std::size_t i = 0; i < 3; ++i) {
            // A reading that fails leaves both boxes empty rather than showing an older one.
            try {
                q.measured[i]->setText(QString::fromStdString(m_nvs.Item(phaseName(q.nv, i))->Value()));
                q.kept[i] = toDouble(text(q.measured[i]));
            } catch (const RuntimeError &e) {
                DebugLog("ERROR: fCalTellumic.MeasureErrors()," + errorText(e));
                q.measured[i]->clear();
                clearError(q.error[i]);
                continue;
            }
            if (!q.reference || *q.reference == 0) {
                clearError(q.error[i]);
                continue;
            }
            const double error = q.expectsZero ? q.kept[i] / *q.reference : (q.kept[i] - *q.reference) / *q.reference;
            showError(q.error[i], error);
        }
    showPassStatus();
}

void CalibrationWindow::showError(QLineEdit *b, double fraction)
{
    const bool pass = withinTolerance(fraction);
    b->setText(QString::fromStdString(formatError(fraction)));
    b->setProperty("withinTolerance", pass);
    QPalette p = b->palette();
    p.setColor(QPalette::Base, pass ? palette().color(QPalette::Base) : kOutsideTolerance);
    b->setPalette(p);
    b->setAccessibleDescription(QString::fromStdString((pass ? "Within the tolerance of " : "Outside the tolerance of ") +
                                                       toleranceText()));
}

void CalibrationWindow::clearError(QLineEdit *b)
{
    b->clear();
    b->setProperty("withinTolerance", QVariant());
    QPalette p = b->palette();
    p.setColor(QPalette::Base, palette().color(QPalette::Base));
    b->setPalette(p);
    b->setAccessibleDescription(QString());
}

// The status line tells at a glance how the pass went; the first pass after new constants
// were written is the check pass that shows whether they brought every error inside.
void CalibrationWindow::showPassStatus()
{
    int outside = 0, missing = 0;
    for (const auto *boxes : {&m_txtErrPower, &m_txtErrReac, &m_txtErrVolt})
        for (const auto *b : *boxes) {
            const QVariant pass = b->property("withinTolerance");
            if (!pass.isValid())
                ++missing;
            else if (!pass.toBool())
                ++outside;
        }
    std::string status = m_checkPassNext ? "Check pass of the new constants: " : "Measuring: ";
    m_checkPassNext = false;
    if (outside == 0 && missing == 0)
        status += "every error is within " + toleranceText();
    else if (outside > 0)
        status += std::to_string(outside) + " of 9 errors outside " + toleranceText();
    if (missing > 0)
        status += std::string(outside > 0 ? "; " : "") + std::to_string(missing) + " of 9 errors could not be measured";
    status += " (" + FormatDateTimeVB(processClock().now()) + ")";
    m_txtPassStatus->setText(QString::fromStdString(status));
}

void CalibrationWindow::ComputeCalibration()
{
    DebugLog("fCalTellumic.ComputeCalibration()");
    m_cmdRecomputeCal->setEnabled(false);
    try {
        const double target = toDouble(text(m_txtTargetPower));
        const double nominal = toDouble(text(m_txtNominalVac));
        // Every constant is computed and checked before anything is written to the meter,
        // its clock included.
        const auto c = computeConstants(m_calPower, m_calVolt, m_measPower, m_measVolt, target, nominal);
        SetTmDateTime(m_deviceWindow, FormatDateTimeVB(processClock().now()));
        for (std::size_t i = 0; i < 3; ++i) {
            m_txtCalPower[i]->setText(QString::number(c.calPower[i]));
            m_txtCalReactive[i]->setText(QString::number(c.calReactive[i]));
            m_txtCalVolt[i]->setText(QString::number(c.calVolt[i]));
            m_txtPhaseAdj[i]->setText(QString::number(kPhaseAdjustment));
        }
        WriteCalibrationCps();
        ClearMeasurements();
        m_checkPassNext = true;
        m_txtPassStatus->setText(QStringLiteral("New constants written; the meter settles on them before the check pass"));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.ComputeCalibration()," + errorText(e));
        // The boxes go on showing the constants the meter holds.
        showConstants();
        MsgBox("Error computing calibration: " + e.description(), MsgStyle::kOkOnly);
    }
    setHourglass(false);
    m_cmdRecomputeCal->setEnabled(true);
}

void CalibrationWindow::WriteCalibrationCps()
{
    DebugLog("fCalTellumic.WriteCalibrationCps()");
    CpAccess access(*this);
    auto system = plugIn().CurrentSystem;
    struct Constant
    {
        const char *stem;
        std::array<QLineEdit *, 3> &boxes;
        PhaseConstants &kept;
    };
    const Constant constants[] = {{"UCPTcalPower", m_txtCalPower, m_calPower},
                                  {"UCPTcalReactive", m_txtCalReactive, m_calReactive},
                                  {"UCPTcalVolt", m_txtCalVolt, m_calVolt},
                                  {"UCPTphaseAdj", m_txtPhaseAdj, m_phaseAdj}};
    std::array<PhaseConstants, 4> written{};
    try {
        if (!system)
            throw RuntimeError(lns::LcaError::kNotOpen, "No network system is open");
        system->StartTransaction();
        for (std::size_t k = 0; k < 4; ++k)
            for (std::size_t i = 0; i < 3; ++i) {
                const std::string value = text(constants[k].boxes[i]);
                written[k][i] = toLong(value);
                m_calCps.Item(phaseName(constants[k].stem, i))->SetValue(value);
            }
        system->CommitTransaction();
    } catch (const RuntimeError &e) {
        if (system) {
            try {
                system->CancelTransaction();
            } catch (const RuntimeError &cancel) {
                DebugLog("ERROR: fCalTellumic.WriteCalibrationCps()," + errorText(cancel));
            }
        }
        // What the meter took before the failure is what it measures with now.
        readKeptConstants();
        throw RuntimeError(e.number(), "Error writing calibration CPs: " + e.description(), e.source());
    }
    for (std::size_t k = 0; k < 4; ++k)
        constants[k].kept = written[k];
}

// Reads the twelve constants back into the kept copies; a constant that cannot be read
// keeps its copy.
void CalibrationWindow::readKeptConstants()
{
    const std::pair<const char *, PhaseConstants *> constants[] = {
        {"UCPTcalPower", &m_calPower},
        {"UCPTcalReactive", &m_calReactive},
        {"UCPTcalVolt", &m_calVolt},
        {"UCPTphaseAdj", &m_phaseAdj}};
    for (const auto &[stem, kept] : constants)
        for (std::size_t i = 0; i < 3; ++i) {
            try {
                (*kept)[i] = toLong(m_calCps.Item(phaseName(stem, i))->Value());
            } catch (const RuntimeError &e) {
                DebugLog("ERROR: fCalTellumic.ReadCalibrationCps()," + errorText(e));
            }
        }
}

void CalibrationWindow::showConstants()
{
    for (std::size_t i = 0; i < 3; ++i) {
        m_txtCalPower[i]->setText(QString::number(m_calPower[i]));
        m_txtCalReactive[i]->setText(QString::number(m_calReactive[i]));
        m_txtCalVolt[i]->setText(QString::number(m_calVolt[i]));
        m_txtPhaseAdj[i]->setText(QString::number(m_phaseAdj[i]));
    }
}

void CalibrationWindow::ClearMeasurements()
{
    DebugLog("fCalTellumic.ClearMeasurements()");
    // What was measured belongs to the constants it was measured with: a compute before the
    // next pass must not correct the new constants by it again.
    m_measPower.fill(0);
    m_measReactive.fill(0);
    m_measVolt.fill(0);
    for (auto *boxes : {&m_txtPower, &m_txtReacPwr, &m_txtVolt})
        for (auto *b : *boxes)
            b->clear();
    for (auto *boxes : {&m_txtErrPower, &m_txtErrReac, &m_txtErrVolt})
        for (auto *b : *boxes)
            clearError(b);
}

void CalibrationWindow::cmdRecomputeCal_Click()
{
    stopTimer();
    setHourglass(true);
    m_calState = 4;
    UpdateControls();
    restartTimer(kComputeDelayMs);
}

}  // namespace tellumic
