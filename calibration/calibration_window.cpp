// The calibration window: which controls may be used, the editing of the settings that are
// stored in the meter, opening, the state timer and closing.

#include "calibration/calibration_window.h"

#include <limits>

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "device/device_window.h"
#include "foundation/dialogs.h"
#include "foundation/qt_accessible.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

constexpr const char *kCaption = "Tellumic Calibration";

std::string text(const QLineEdit *b)
{
    return b->text().toStdString();
}

}  // namespace

CalibrationWindow::CalibrationWindow(DeviceWindow &deviceWindow, QWidget *parent)
    : QDialog(parent), m_deviceWindow(deviceWindow)
{
    setObjectName("fCalTellumic");
    setWindowTitle(QStringLiteral("Calibrate Tellumic"));
    installAccessibleWidgets();
    buildUi();
    wireEditing();
    m_timer.setObjectName("Timer1");
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CalibrationWindow::Timer1_Timer);
    m_waiter = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    UpdateControls();
}

CalibrationWindow::~CalibrationWindow()
{
    // Hiding the dialog as it goes takes the focus from the model box, which may report a
    // choice then: nothing of this window may answer once it is being destroyed.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    m_timer.stop();
    setHourglass(false);
}

// ---- which controls may be used -------------------------------------------------------------

QWidget *CalibrationWindow::fieldWidget(Field field) const
{
    if (field == Field::Model)
        return m_cboModel;
    return fieldEdit(field);
}

QLineEdit *CalibrationWindow::fieldEdit(Field field) const
{
    switch (field) {
    case Field::Model: return m_cboModel->lineEdit();
    case Field::SerialNumber: return m_txtSerialNumber;
    case Field::CtAmps: return m_txtCtAmps;
    case Field::NominalVac: return m_txtNominalVac;
    case Field::MinVac: return m_txtMinVac;
    case Field::CreepLimit: return m_txtCreepLimit;
    }
    return nullptr;
}

void CalibrationWindow::lockField(Field field, bool locked)
{
    if (field == Field::Model)
        m_cboModel->setReadOnly(locked);
    else
        fieldEdit(field)->setReadOnly(locked);
    for (QWidget *w : {fieldWidget(field), static_cast<QWidget *>(fieldEdit(field))}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, palette().color(locked ? QPalette::Button : QPalette::Base));
        w->setPalette(p);
    }
}

void CalibrationWindow::setUnsaved(Field field, bool unsaved)
{
    QLineEdit *edit = fieldEdit(field);
    edit->setProperty("unsaved", unsaved);
    QPalette p = edit->palette();
    p.setColor(QPalette::Text, unsaved ? QColor(255, 0, 0) : palette().color(QPalette::Text));
    edit->setPalette(p);
}

void CalibrationWindow::UpdateControls()
{
    DebugLog("fCalTellumic.UpdateControls()");
    const bool busy = m_calState == 1 || m_calState == 2 || m_calState == 4;
    const bool unlocked = m_loaded && trimBlanks(text(m_txtUnlockCode)) == kUnlockCode;
    const bool identityLocked = !unlocked || busy || !m_calStarted;
    for (Field f : {Field::SerialNumber, Field::NominalVac, Field::Model, Field::MinVac})
        lockField(f, identityLocked);
    for (Field f : {Field::CtAmps, Field::CreepLimit})
        lockField(f, !unlocked || busy);
    const bool canStart = unlocked && !m_calStarted && !busy;
    m_cmdStartCal->setEnabled(canStart);
    m_cmdFactoryReset->setEnabled(canStart);
    m_cmdInitLogging->setEnabled(canStart && m_support && m_support->offersInitLogging);
    const bool calibrating = unlocked && m_calStarted && !busy;
    m_cmdLockTm->setEnabled(calibrating);
    m_cmdRecomputeCal->setEnabled(calibrating);
    m_cmdSaveCal->setEnabled(calibrating);
    m_cmdExit->setEnabled(!busy);
}

void CalibrationWindow::FillModelList()
{
    DebugLog("fCalTellumic.FillModelList()");
    m_cboModel->clear();
    for (const auto &m : modelList())
        m_cboModel->addItem(QString::fromStdString(m));
    m_cboModel->setCurrentIndex(-1);
}

void CalibrationWindow::FillModelListL()
{
    DebugLog("fCalTellumic.FillModelListL()");
    m_cboModel->clear();
    for (const auto &m : modelListL())
        m_cboModel->addItem(QString::fromStdString(m));
    m_cboModel->setCurrentIndex(-1);
}

// ---- editing --------------------------------------------------------------------------------

void CalibrationWindow::wireEditing()
{
    const std::pair<QLineEdit *, Field> edits[] = {
        {m_cboModel->lineEdit(), Field::Model}, {m_txtSerialNumber, Field::SerialNumber},
        {m_txtCtAmps, Field::CtAmps},           {m_txtNominalVac, Field::NominalVac},
        {m_txtMinVac, Field::MinVac},           {m_txtCreepLimit, Field::CreepLimit},
    };
    for (const auto &[edit, field] : edits) {
        edit->installEventFilter(this);
        edit->setProperty("field", static_cast<int>(field));
        connect(edit, &QLineEdit::textEdited, this,
                [this, field = field] { guarded("Change", [&] { onFieldEdited(field); }); });
    }
    // The model box has the focus while its text is edited (its text field only shows it),
    // so Enter and leaving reach the box itself.
    m_cboModel->installEventFilter(this);
    m_cboModel->setProperty("field", static_cast<int>(Field::Model));
    // A choice from the list counts only when it changes the model shown: the list also
    // reports the entry it opened on, after Escape or a click on the same entry.
    // A model chosen from the list is stored at once, with its voltages: Enter in the open
    // list chooses, and no key reaches the box after it.
    connect(m_cboModel, &QComboBox::activated, this, [this] {
        if (m_cboModel->lineEdit()->text() == m_modelShown)
            return;
        guarded("cboModel_Click", [&] {
            onFieldEdited(Field::Model);
            storeField(Field::Model);
        });
    });
    for (QLineEdit *e : {m_txtCtAmps, m_txtNominalVac})
        connect(e, &QLineEdit::textChanged, this, [this, e] {
            if (!e->isReadOnly())
                guarded("Change", [&] { updateTargetPower(false); });
        });
    connect(m_txtUnlockCode, &QLineEdit::textChanged, this,
            [this] { guarded("txtUnlockCode_Change", [&] { UpdateControls(); }); });
}

void CalibrationWindow::onFieldEdited(Field field)
{
    QLineEdit *edit = fieldEdit(field);
    if (edit->isReadOnly())
        return;
    if (field != Field::Model) {
        setUnsaved(field, true);
        return;
    }
    if (!m_calStarted || edit->text().isEmpty())
        return;
    m_modelShown = edit->text();
    setUnsaved(field, true);
    onModelChosen();
}

// The model's voltages go into their boxes, red: they are stored with the model (storeModel).
void CalibrationWindow::onModelChosen()
{
    const std::string model = text(m_cboModel->lineEdit());
    try {
        if (const auto nominal = NominalVacFromModel(model); nominal != 0) {
            m_txtNominalVac->setText(QString::number(nominal));
            setUnsaved(Field::NominalVac, true);
        }
        if (const auto minimum = MinVacFromModel(model); minimum != 0) {
            m_txtMinVac->setText(QString::number(minimum));
            setUnsaved(Field::MinVac, true);
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.cboModel_Change()," + errorText(e));
    }
}

// A model and the voltages shown with it are stored together or not at all: the meter never
// holds one model's voltages under another model's name. A voltage the meter refuses puts
// the model it held back.
bool CalibrationWindow::storeModel()
{
    std::string before;
    try {
        if (m_modelCp)
            before = m_modelCp->Value();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.StoreField()," + errorText(e));
    }
    if (!storeCp([this] { return m_modelCp; }, std::string(trimBlanks(text(m_cboModel->lineEdit()))), Field::Model))
        return false;
    const auto pending = [this](Field f) { return fieldEdit(f)->property("unsaved").toBool(); };
    if ((!pending(Field::NominalVac) || CommitNominalVac()) && (!pending(Field::MinVac) || CommitMinVac())) {
        updateTargetPower(true);
        return true;
    }
    try {
        if (m_modelCp->Value() != before)
            m_modelCp->SetValue(before);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.StoreField()," + errorText(e));
    }
    setUnsaved(Field::Model, true);
    return false;
}

bool CalibrationWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->isWidgetType() || !watched->property("field").isValid())
        return QDialog::eventFilter(watched, event);
    const auto field = static_cast<Field>(watched->property("field").toInt());
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded("KeyPress", [&] { storeField(field); });
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving the field stores it; a message box or another window taking the focus
        // does not count as leaving.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason ||
            reason == Qt::ShortcutFocusReason || reason == Qt::OtherFocusReason)
            guarded("LostFocus", [&] { storeField(field); });
    }
    return QDialog::eventFilter(watched, event);
}

bool CalibrationWindow::storeField(Field field)
{
    if (m_storing || !m_loaded || fieldEdit(field)->isReadOnly())
        return false;
    m_storing = true;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_storing};
    try {
        switch (field) {
        case Field::Model: return storeModel();
        case Field::SerialNumber:
            return storeCp([this] { return m_serialNumberCp; }, text(m_txtSerialNumber), field);
        case Field::CtAmps: {
            const bool stored = storeCp([this] { return m_ctAmpsCp; }, text(m_txtCtAmps), field);
            if (stored)
                updateTargetPower(true);
            return stored;
        }
        case Field::NominalVac: {
            const bool stored = CommitNominalVac();
            if (stored)
                updateTargetPower(true);
            return stored;
        }
        case Field::MinVac: return CommitMinVac();
        case Field::CreepLimit:
            return storeCp([this] { return m_calCps.Item("UCPTcreepLimit"); }, text(m_txtCreepLimit), field);
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.StoreField()," + errorText(e));
    }
    return false;
}

bool CalibrationWindow::CommitNominalVac()
{
    DebugLog("fCalTellumic.CommitNominalVac()");
    return storeCp([this] { return m_calCps.Item("UCPTnominalVolt"); }, text(m_txtNominalVac), Field::NominalVac);
}

bool CalibrationWindow::CommitMinVac()
{
    DebugLog("fCalTellumic.CommitMinVac()");
    return storeCp([this] { return m_calCps.Item("UCPTminVolt"); }, text(m_txtMinVac), Field::MinVac);
}

// Writes a field's text as the property's value when the meter holds another; the text
// turns black once the meter holds it. Text that is no number for a numeric setting, and a
// value the meter refuses, are reported by name and the field stays red.
bool CalibrationWindow::storeCp(const std::function<std::shared_ptr<lns::Cp>()> &fetch, const std::string &value, Field field)
{
    static const char *const captions[] = {"Model", "SerialNumber", "CtAmps", "NominalVac", "MinVac", "CreepLimit"};
    const std::string caption = captions[static_cast<int>(field)];
    const bool numeric = field != Field::Model && field != Field::SerialNumber;
    const auto number = numeric ? parseDouble(value) : std::nullopt;
    if (numeric && !number) {
        MsgBox(caption + ": \"" + value + "\" is not a number.", MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return false;
    }
    // A rating or nominal voltage of 0 (or less) leaves no target power to calibrate against.
    if ((field == Field::CtAmps || field == Field::NominalVac) && !(*number > 0)) {
        MsgBox(caption + ": \"" + value + "\" must be more than 0 " + (field == Field::CtAmps ? "A." : "V."),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return false;
    }
    try {
        auto cp = fetch();
        if (!cp)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "the meter has no property for " + caption);
        if (cp->Value() != value) {
            DebugLog("fCalTellumic.StoreField(" + cp->Name() + "=" + value + ")");
            cp->SetValue(value);
        }
        setUnsaved(field, false);
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.StoreField()," + errorText(e));
        MsgBox("The meter did not take " + caption + " \"" + value + "\":\r\n" + e.description(),
               MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return false;
    }
}

// Fields still red when the calibration is saved are stored first, as leaving them would.
bool CalibrationWindow::storePendingFields()
{
    for (Field f : {Field::Model, Field::SerialNumber, Field::CtAmps, Field::NominalVac, Field::MinVac, Field::CreepLimit})
        if (fieldEdit(f)->property("unsaved").toBool() && !fieldEdit(f)->isReadOnly() && !storeField(f))
            return false;
    return true;
}

void CalibrationWindow::updateTargetPower(bool report)
{
    std::int64_t product = 0;
    try {
        product = static_cast<std::int64_t>(toLong(text(m_txtCtAmps))) * toLong(text(m_txtNominalVac));
    } catch (const RuntimeError &) {
        m_txtTargetPower->clear();  // a field that is no number is reported when it is stored
        return;
    }
    if (product < std::numeric_limits<std::int32_t>::min() || product > std::numeric_limits<std::int32_t>::max()) {
        m_txtTargetPower->clear();
        if (report)
            MsgBox("Target Power: CtAmps " + text(m_txtCtAmps) + " \u00D7 NominalVac " + text(m_txtNominalVac) + " = " +
                       std::to_string(product) + " does not fit in a 32-bit number.",
                   MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
        return;
    }
    m_txtTargetPower->setText(QString::number(product));
}

void CalibrationWindow::SetVoltageDefaults(const std::string &model)
{
    DebugLog("fCalTellumic.SetVoltageDefaults(" + model + ")");
    if (model.empty())
        return;
    const auto differs = [](QLineEdit *b, std::int16_t volts) {
        try {
            return toInteger(text(b)) != volts;
        } catch (const RuntimeError &) {
            return true;
        }
    };
    // A model outside the table has no defaults: the meter keeps its settings rather than 0 V.
    if (const auto minimum = MinVacFromModel(model); minimum != 0 && differs(m_txtMinVac, minimum)) {
        m_txtMinVac->setText(QString::number(minimum));
        CommitMinVac();
    }
    if (const auto nominal = NominalVacFromModel(model); nominal != 0 && differs(m_txtNominalVac, nominal)) {
        m_txtNominalVac->setText(QString::number(nominal));
        CommitNominalVac();
    }
}

// ---- opening, the timer and closing ----------------------------------------------------------

void CalibrationWindow::Form_Load()
{
    DebugLog("fCalTellumic.Form_Load()");
    stopTimer();
    m_calStarted = false;
    bool unsupported = false;
    try {
        m_device = plugIn().CurrentDevice;
        if (!m_device)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "No device is open");
        const std::string programId = m_device->ProgramId();
        m_txtProgramId->setText(QString::fromStdString(programId));
        m_txtNeuronId->setText(QString::fromStdString(FormatNeuronId(m_device->NeuronId())));
        m_support = findCalibrationSupport(programId);
        if (!m_support) {
            unsupported = true;
            throw RuntimeError(kObjectErrorBase + 2013,
                               "Plug-in calibration not supported for this Tellumic model or firmware version");
        }
        auto ifc = m_device->GetInterface();
        const auto blocks = ifc->FunctionalBlocks();
        m_nodeCps = blocks.Item("NodeObject")->Cps();
        m_calCps = blocks.Item(m_support->calibrationBlock)->Cps();
        const auto &identity = m_support->identityInCalibrationBlock ? m_calCps : m_nodeCps;
        m_modelCp = identity.Item("UCPTmodel");
        m_serialNumberCp = identity.Item("UCPTserialNumber");
        m_ctAmpsCp = identity.Item("UCPTctAmps");
        m_nvs = ifc->Nvs();
        if (m_support->modelsWithL)
            FillModelListL();
        else
            FillModelList();
        m_loaded = true;
        m_calState = 1;
        UpdateControls();
        restartTimer(kOpeningTickMs);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.Form_Load()," + errorText(e));
        m_loaded = false;
        UpdateControls();
        // The timer stays stopped: no measurement is coming.
        m_txtPassStatus->setText(unsupported ? QStringLiteral("This meter cannot be calibrated: its model or firmware "
                                                              "version is not supported")
                                             : QStringLiteral("This meter cannot be calibrated: its calibration "
                                                              "properties were not found"));
        MsgBox(unsupported ? e.description() : std::string("Error finding required SNVTs and CPs"), MsgStyle::kOkOnly,
               kCaption);
    }
}

void CalibrationWindow::runStep(const char *name, const std::function<void()> &step)
{
    try {
        step();
    } catch (const RuntimeError &e) {
        DebugLog(std::string("ERROR: fCalTellumic.") + name + "()," + errorText(e));
    } catch (const std::exception &e) {
        DebugLog(std::string("ERROR: fCalTellumic.") + name + "()," + e.what());
    }
}

// What a user's action runs: any failure is traced and reported, and the window goes on.
void CalibrationWindow::guarded(const char *name, const std::function<void()> &action)
{
    try {
        action();
    } catch (const RuntimeError &e) {
        DebugLog(std::string("ERROR: fCalTellumic.") + name + "()," + errorText(e));
        MsgBox(errorText(e), MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
    } catch (const std::exception &e) {
        DebugLog(std::string("ERROR: fCalTellumic.") + name + "()," + e.what());
        MsgBox(e.what(), MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
    }
}

void CalibrationWindow::restartTimer(int ms)
{
    if (m_unloaded)
        return;
    m_nextTickMs = ms;
    if (!m_manualTicks)
        m_timer.start(ms);
}

void CalibrationWindow::stopTimer()
{
    m_nextTickMs = -1;
    m_timer.stop();
}

void CalibrationWindow::setManualTicks(bool manual)
{
    m_manualTicks = manual;
    if (manual)
        m_timer.stop();
    else if (m_nextTickMs >= 0)
        m_timer.start(m_nextTickMs);
}

void CalibrationWindow::Timer1_Timer()
{
    stopTimer();
    DebugLog("fCalTellumic.Timer1_Timer(" + std::to_string(m_calState) + ")");
    switch (m_calState) {
    case 1:
        runStep("LockMeter", [this] { LockMeter(); });
        runStep("ReadCalibrationCps", [this] { ReadCalibrationCps(); });
        m_calState = 3;
        UpdateControls();
        restartTimer(kSettleTickMs);
        break;
    case 2:
        runStep("LockMeter", [this] { LockMeter(); });
        // Locked, the meter measures with its saved constants again (a cancelled
        // calibration's are gone, a factory reset's defaults are in): the window shows and
        // computes from what the meter now holds, and drops what it measured before.
        runStep("ReadCalibrationCps", [this] {
            ReadCalibrationCps();
            for (Field f : {Field::Model, Field::SerialNumber, Field::CtAmps, Field::NominalVac, Field::MinVac,
                            Field::CreepLimit})
                setUnsaved(f, false);
        });
        ClearMeasurements();
        m_calStarted = false;
        setHourglass(false);
        m_calState = 3;
        UpdateControls();
        restartTimer(kSettleTickMs);
        break;
    case 3:
        runStep("MeasureErrors", [this] { MeasureErrors(); });
        restartTimer(kMeasureIntervalMs);
        break;
    case 4:
        runStep("ComputeCalibration", [this] { ComputeCalibration(); });
        m_calState = 3;
        UpdateControls();
        restartTimer(kNewConstantsSettleMs);
        break;
    default:
        break;
    }
}

void CalibrationWindow::setHourglass(bool on)
{
    if (on == m_hourglass)
        return;
    m_hourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// Closing always locks the meter, so that none leaves the bench unlocked.
void CalibrationWindow::done(int result)
{
    if (!m_unloaded) {
        DebugLog("fCalTellumic.Form_Unload()");
        m_unloaded = true;
        stopTimer();
        runStep("LockMeter", [this] { LockMeter(); });
        setHourglass(false);
    }
    QDialog::done(result);
}

}  // namespace tellumic
