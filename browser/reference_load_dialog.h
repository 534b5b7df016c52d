#pragma once

// Simulator > Reference Load...: connects a reference source to a meter's phase, as a
// trainer's calibration bench does ("lns-sim reference-load DEVICE PHASE VOLTS AMPS PF").

#include <QDialog>

#include "sim/models/meter_state.h"

class QComboBox;
class QDoubleSpinBox;

namespace tellumic::browser {

class ReferenceLoadDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReferenceLoadDialog(const QString &deviceName, QWidget *parent = nullptr);

    // 0 A, 1 B, 2 C, 3 all phases.
    int phase() const;
    sim::PhaseLoad load() const;

private:
    QComboBox *m_phase;
    QDoubleSpinBox *m_volts;
    QDoubleSpinBox *m_amps;
    QDoubleSpinBox *m_powerFactor;
};

}  // namespace tellumic::browser
