// The calibration window's controls and their layout: the meter's identity, its settings,
// the commands, and per phase the measurements, their errors and the constants.

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include "calibration/calibration_window.h"
#include "foundation/trace_log.h"

namespace tellumic {

namespace {

QLineEdit *box(const QString &name, QWidget *parent, bool readOnly = false)
{
    auto *b = new QLineEdit(parent);
    b->setObjectName(name);
    b->setReadOnly(readOnly);
    return b;
}

// The widest texts the read-only number boxes show: a reading as the meter formats it
// ("121.686745", and more digits for power), an error in percent, a 32-bit constant.
const QString kWidestReading = QStringLiteral("-000000.000000");
const QString kWidestError = QStringLiteral("-00000.00%");
const QString kWidestConstant = QStringLiteral("-2147483648");

// Keeps a box wide enough for its widest text, so that no leading digit scrolls out of
// sight however the window is sized.
void fitWidth(QLineEdit *b, const QString &widest)
{
    QStyleOptionFrame option;
    option.initFrom(b);
    option.lineWidth = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, b);
    const QMargins margins = b->textMargins();
    // QLineEdit keeps 2 pixels on each side of its text inside the frame.
    const int textWidth = b->fontMetrics().horizontalAdvance(widest) + 4 + margins.left() + margins.right() + 1;
    const QSize size = b->style()->sizeFromContents(QStyle::CT_LineEdit, &option,
                                                    QSize(textWidth, b->sizeHint().height()), b);
    b->setMinimumWidth(size.width());
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
    // Screen readers announce the box by its caption and its text field by the same name.
    m_cboModel->setAccessibleName(QStringLiteral("Model"));
    m_cboModel->lineEdit()->setAccessibleName(QStringLiteral("Model"));
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
        fitWidth(measured, kWidestReading);
        fitWidth(error, kWidestError);
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
        fitWidth(b, kWidestConstant);
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

}  // namespace tellumic
