#pragma once

// The harvest of a network as the browser shows it: a row per meter with its progress and
// outcome, the run's outcome, and the button that cancels it.

#include <QGroupBox>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace tellumic::browser {

class HarvestRun;

class HarvestPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit HarvestPanel(QWidget *parent = nullptr);

    // Follows a run (nullptr: none); the panel shows once a run is given.
    void follow(HarvestRun *run);
    void update();

    QTreeWidget *meters() const { return m_meters; }
    QPushButton *cancelButton() const { return m_cancel; }
    QString outcome() const;

Q_SIGNALS:
    void cancelRequested();

private:
    HarvestRun *m_run = nullptr;
    QTreeWidget *m_meters;
    QProgressBar *m_total;
    QLabel *m_outcome;
    QPushButton *m_cancel;
};

}  // namespace tellumic::browser
