#include "browser/reference_load_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace tellumic::browser {

namespace {

QDoubleSpinBox *spinBox(double low, double high, double value, int decimals, const QString &suffix)
{
    auto *box = new QDoubleSpinBox;
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

}  // namespace

ReferenceLoadDialog::ReferenceLoadDialog(const QString &deviceName, QWidget *parent)
    : QDialog(parent),
      // The demo meters are set for 100 A current transformers at 120 V.
      m_phase(new QComboBox), m_volts(spinBox(0, 1000, 120, 1, QStringLiteral(" V"))),
      m_amps(spinBox(0, 10000, 100, 2, QStringLiteral(" A"))), m_powerFactor(spinBox(-1, 1, 1, 3, QString()))
{
    setWindowTitle(QStringLiteral("Reference Load"));
    setObjectName(QStringLiteral("referenceLoadDialog"));
    m_phase->setObjectName(QStringLiteral("phase"));
    m_volts->setObjectName(QStringLiteral("volts"));
    m_amps->setObjectName(QStringLiteral("amps"));
    m_powerFactor->setObjectName(QStringLiteral("powerFactor"));
    m_phase->addItems({QStringLiteral("All phases"), QStringLiteral("Phase A"), QStringLiteral("Phase B"),
                       QStringLiteral("Phase C")});
    auto *intro = new QLabel(QStringLiteral("Connect a reference source to %1; the meter measures it in place of "
                                            "its own load, locked or not.")
                                 .arg(deviceName));
    intro->setWordWrap(true);
    auto *form = new QFormLayout(this);
    form->addRow(intro);
    form->addRow(QStringLiteral("&Phase:"), m_phase);
    form->addRow(QStringLiteral("&Voltage:"), m_volts);
    form->addRow(QStringLiteral("&Current:"), m_amps);
    form->addRow(QStringLiteral("Power &factor:"), m_powerFactor);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    // Enter connects, wherever the focus is; Cancel becomes the default only by a click.
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    buttons->addButton(QStringLiteral("C&onnect"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    m_phase->setFocus();
}

int ReferenceLoadDialog::phase() const
{
    // The list starts with all phases; the control API counts A, B, C, then all.
    const int i = m_phase->currentIndex();
    return i == 0 ? 3 : i - 1;
}

sim::PhaseLoad ReferenceLoadDialog::load() const
{
    return {m_volts->value(), m_amps->value(), m_powerFactor->value()};
}

}  // namespace tellumic::browser
