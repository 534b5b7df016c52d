#pragma once

// File > Compare with Configuration...: one row per entry that differs from the meter (a
// check box named by the entry's caption, the file's value, the meter's value, the unit),
// the entries this meter does not have (listed, not to be chosen), a summary line and a
// warning when the file comes from another meter, model, family or firmware. "Apply
// Selected" writes the checked rows, all-or-nothing, against the values the comparison
// shows, as LNS work of the device window.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "config/config_apply.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;

namespace tellumic::config {

// What Apply Selected reaches besides the meter.
struct CompareDialogSite
{
    // The event log's information lines of what is applied.
    std::function<void(const std::string &)> note;
    // The meter's network system, whose transaction takes the writes.
    std::shared_ptr<lns::System> system;
    // Runs the writes as LNS work (the device window's action queue, which may run them at
    // a later tick); empty: at once.
    std::function<void(std::function<void()>)> runLns;
};

class ConfigCompareDialog : public QDialog
{
    Q_OBJECT
public:
    ConfigCompareDialog(MeterConfig file, std::shared_ptr<lns::AppDevice> device, CompareDialogSite site,
                        QWidget *parent = nullptr);

    QLabel *warning() const { return m_warning; }
    QLabel *summary() const { return m_summary; }
    QPushButton *applySelected() const { return m_apply; }
    // The row check boxes, in row order.
    const std::vector<QCheckBox *> &checkBoxes() const { return m_checks; }

private:
    void refresh();
    void applyChecked();

    MeterConfig m_file;
    std::shared_ptr<lns::AppDevice> m_device;
    CompareDialogSite m_site;
    Comparison m_comparison;  // what the rows show; the values a failed apply puts back
    QLabel *m_warning = nullptr;
    QLabel *m_summary = nullptr;
    QGridLayout *m_rows = nullptr;
    QWidget *m_rowsWidget = nullptr;
    QPushButton *m_apply = nullptr;
    std::vector<QCheckBox *> m_checks;
    std::vector<std::string> m_names;  // the entry of each check box
};

}  // namespace tellumic::config
