// The calibration window: its controls and layout, which of them may be used, the editing
// of the settings that are stored in the meter, and the state timer.

#include "calibration/calibration_window.h"

#include <limits>

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/device_window.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "model/value_format.h"

namespace tellumic {

namespace {

constexpr const char *kCaption = "Tellumic Calibration";

QLineEdit *box(const QString &name, QWidget *parent, bool readOnly = false)
{
    auto *b = new QLineEdit(parent);
    b->setObjectName(name);
    b->setReadOnly(readOnly);
    return b;
}

QPushButton *button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter belongs to the field being edited, never to a button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QString phaseName(const char *stem, std::size_t phase)
{
    return QString::fromLatin1(stem) + QChar('A' + static_cast<int>(phase));
}

std::string text(const QLineEdit *b)
{
    return b->text().toStdString();
}

}  // namespace

ModelComboBox::ModelComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void ModelComboBox::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    lineEdit()->setReadOnly(readOnly);
}

void ModelComboBox::showPopup()
{
    if (!m_readOnly)
        QComboBox::showPopup();
}

void ModelComboBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool steps = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
                       key == Qt::Key_F4;
    if (m_readOnly && steps) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void ModelComboBox::wheelEvent(QWheelEvent *event)
{
    if (m_readOnly) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

CalibrationWindow::CalibrationWindow(DeviceWindow &deviceWindow, QWidget *parent)
    : QDialog(parent), m_deviceWindow(deviceWindow)
{
    setObjectName("fCalTellumic");
    setWindowTitle(QStringLiteral("Calibrate Tellumic"));
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
    m_timer.stop();
    setHourglass(false);
}

// ---- layout ---------------------------------------------------------------------------------

void CalibrationWindow::buildUi()
{
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(buildIdentity(), 1);
    top->addWidget(buildSettings(), 1);
    top->addWidget(buildCommands(), 1);
    layout->addLayout(top);

    auto *phases = new QHBoxLayout;
    for (std::size_t i = 0; i < 3; ++i)
        phases->addWidget(buildPhase(i), 1);
    layout->addLayout(phases, 1);

    auto *bottom = new QHBoxLayout;
    m_txtPassStatus = box("txtPassStatus", this, true);
    m_txtPassStatus->setAccessibleName(QStringLiteral("Measurement status"));
    m_txtPassStatus->setPlaceholderText(QStringLiteral("Waiting for the first measurement"));
    m_cmdExit = button("cmdExit", QStringLiteral("Exit"), this);
    connect(m_cmdExit, &QPushButton::clicked, this, [this] {
        DebugLog("fCalTellumic.cmdExit_Click()");
        reject();
    });
    bottom->addWidget(m_txtPassStatus, 1);
    bottom->addWidget(m_cmdExit);
    layout->addLayout(bottom);
}

QWidget *CalibrationWindow::buildIdentity()
{
    auto *group = new QGroupBox(QStringLiteral("Meter"), this);
    auto *form = new QFormLayout(group);
    m_txtFirmwareVer = box("txtFirmwareVer", group, true);
    m_txtProgramId = box("txtProgramId", group, true);
    m_txtNeuronId = box("txtNeuronId", group, true);
    m_cboModel = new ModelComboBox(group);
    m_cboModel->setObjectName("cboModel");
    m_cboModel->lineEdit()->setObjectName("cboModel_text");
    m_cboModel->setMinimumContentsLength(18);
    m_txtSerialNumber = box("txtSerialNumber", group);
    form->addRow(QStringLiteral("Firmware Ver:"), m_txtFirmwareVer);
    form->addRow(QStringLiteral("Program ID:"), m_txtProgramId);
    form->addRow(QStringLiteral("Neuron ID:"), m_txtNeuronId);
    form->addRow(QStringLiteral("Model:"), m_cboModel);
    form->addRow(QStringLiteral("SerialNumber:"), m_txtSerialNumber);
    // The editable text inside the model box answers to the model box's name as well.
    m_cboModel->lineEdit()->setAccessibleName(QStringLiteral("Model:"));
    return group;
}

QWidget *CalibrationWindow::buildSettings()
{
    auto *group = new QGroupBox(QStringLiteral("Settings"), this);
    auto *form = new QFormLayout(group);
    m_txtUnlockCode = box("txtUnlockCode", group);
    m_txtCtAmps = box("txtCtAmps", group);
    m_txtNominalVac = box("txtNominalVac", group);
    m_txtMinVac = box("txtMinVac", group);
    m_txtCreepLimit = box("txtCreepLimit", group);
    m_txtTargetPower = box("txtTargetPower", group, true);
    m_txtTargetPower->setToolTip(QStringLiteral("Watts per phase: CtAmps \u00D7 NominalVac"));
    form->addRow(QStringLiteral("Unlock Code:"), m_txtUnlockCode);
    form->addRow(QStringLiteral("CtAmps:"), m_txtCtAmps);
    form->addRow(QStringLiteral("NominalVac:"), m_txtNominalVac);
    form->addRow(QStringLiteral("MinVac:"), m_txtMinVac);
    form->addRow(QStringLiteral("CreepLimit:"), m_txtCreepLimit);
    form->addRow(QStringLiteral("Target Power"), m_txtTargetPower);
    return group;
}

QWidget *CalibrationWindow::buildPhase(std::size_t i)
{
    const QString phase = QString(QChar('A' + static_cast<int>(i)));
    auto *group = new QGroupBox(QStringLiteral("Phase ") + phase, this);
    auto *grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Measured"), group), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Error"), group), 0, 2);
    struct Row
    {
        const char *caption, *measured, *error, *what;
        std::array<QLineEdit *, 3> *measuredBoxes, *errorBoxes;
    };
    const Row rows[] = {
        {"Power (W)", "txtPower", "txtErrPower", "power", &m_txtPower, &m_txtErrPower},
        {"Reactive (VAR)", "txtReacPwr", "txtErrReac", "reactive power", &m_txtReacPwr, &m_txtErrReac},
        {"Voltage (V)", "txtVolt", "txtErrVolt", "voltage", &m_txtVolt, &m_txtErrVolt},
    };
    int r = 1;
    for (const auto &row : rows) {
        auto *measured = box(phaseName(row.measured, i), group, true);
        auto *error = box(phaseName(row.error, i), group, true);
        measured->setAlignment(Qt::AlignRight);
        error->setAlignment(Qt::AlignRight);
        measured->setAccessibleName(QStringLiteral("Measured %1, phase %2").arg(QString::fromLatin1(row.what), phase));
        error->setAccessibleName(QStringLiteral("Error of the %1, phase %2").arg(QString::fromLatin1(row.what), phase));
        (*row.measuredBoxes)[i] = measured;
        (*row.errorBoxes)[i] = error;
        grid->addWidget(new QLabel(QString::fromLatin1(row.caption), group), r, 0);
        grid->addWidget(measured, r, 1);
        grid->addWidget(error, r, 2);
        ++r;
    }
    struct Constant
    {
        const char *stem;
        std::array<QLineEdit *, 3> *boxes;
    };
    const Constant constants[] = {{"CalPower", &m_txtCalPower},
                                  {"CalReactive", &m_txtCalReactive},
                                  {"CalVolt", &m_txtCalVolt},
                                  {"PhaseAdj", &m_txtPhaseAdj}};
    for (const auto &c : constants) {
        auto *b = box(QStringLiteral("txt") + phaseName(c.stem, i), group, true);
        b->setAlignment(Qt::AlignRight);
        auto *label = new QLabel(phaseName(c.stem, i) + ':', group);
        label->setBuddy(b);
        (*c.boxes)[i] = b;
        grid->addWidget(label, r, 0);
        grid->addWidget(b, r, 1);
        ++r;
    }
    grid->setRowStretch(r, 1);
    return group;
}

QWidget *CalibrationWindow::buildCommands()
{
    auto *group = new QGroupBox(QStringLiteral("Commands"), this);
    auto *layout = new QVBoxLayout(group);
    m_cmdStartCal = button("cmdStartCal", QStringLiteral("Start Calibration (Unlock Tellumic)"), group);
    m_cmdRecomputeCal = button("cmdRecomputeCal", QStringLiteral("Compute Calibration"), group);
    m_cmdSaveCal = button("cmdSaveCal", QStringLiteral("Save Calibration (Lock Tellumic)"), group);
    m_cmdLockTm = button("cmdLockTm", QStringLiteral("Cancel Calibration (Lock Tellumic)"), group);
    m_cmdFactoryReset = button("cmdFactoryReset", QStringLiteral("Factory Reset"), group);
    m_cmdInitLogging = button("cmdInitLogging", QStringLiteral("Initialize Logging"), group);
    const std::pair<QPushButton *, void (CalibrationWindow::*)()> handlers[] = {
        {m_cmdStartCal, &CalibrationWindow::cmdStartCal_Click},
        {m_cmdRecomputeCal, &CalibrationWindow::cmdRecomputeCal_Click},
        {m_cmdSaveCal, &CalibrationWindow::cmdSaveCal_Click},
        {m_cmdLockTm, &CalibrationWindow::cmdLockTm_Click},
        {m_cmdFactoryReset, &CalibrationWindow::cmdFactoryReset_Click},
        {m_cmdInitLogging, &CalibrationWindow::cmdInitLogging_Click},
    };
    for (const auto &[b, handler] : handlers) {
        layout->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, b = b, handler = handler] {
            const std::string name = b->objectName().toStdString() + "_Click";
            DebugLog("fCalTellumic." + name + "()");
            guarded(name.c_str(), [&] { (this->*handler)(); });
        });
    }
    auto *form = new QFormLayout;
    m_txtFactoryCmd = box("txtFactoryCmd", group, true);
    form->addRow(QStringLiteral("Factory Command"), m_txtFactoryCmd);
    layout->addLayout(form);
    auto *statusLabel = new QLabel(QStringLiteral("Status"), group);
    m_txtCalStatus = new QPlainTextEdit(group);
    m_txtCalStatus->setObjectName("txtCalStatus");
    m_txtCalStatus->setReadOnly(true);
    m_txtCalStatus->setMaximumHeight(m_txtCalStatus->fontMetrics().lineSpacing() * 4);
    statusLabel->setBuddy(m_txtCalStatus);
    layout->addWidget(statusLabel);
    layout->addWidget(m_txtCalStatus);
    layout->addStretch(1);
    return group;
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
    connect(m_cboModel, &QComboBox::activated, this,
            [this] { guarded("cboModel_Click", [&] { onFieldEdited(Field::Model); }); });
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
    setUnsaved(field, true);
    onModelChosen();
}

void CalibrationWindow::onModelChosen()
{
    const std::string model = text(m_cboModel->lineEdit());
    try {
        if (const auto nominal = NominalVacFromModel(model); nominal != 0) {
            m_txtNominalVac->setText(QString::number(nominal));
            CommitNominalVac();
        }
        if (const auto minimum = MinVacFromModel(model); minimum != 0) {
            m_txtMinVac->setText(QString::number(minimum));
            CommitMinVac();
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fCalTellumic.cboModel_Change()," + errorText(e));
    }
}

bool CalibrationWindow::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (!edit || !edit->property("field").isValid())
        return QDialog::eventFilter(watched, event);
    const auto field = static_cast<Field>(edit->property("field").toInt());
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
        case Field::Model:
            return storeCp([this] { return m_modelCp; }, std::string(trimBlanks(text(m_cboModel->lineEdit()))), field);
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
    if (numeric && !parseDouble(value)) {
        MsgBox(caption + ": \"" + value + "\" is not a number.", MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
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
