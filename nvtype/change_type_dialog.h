#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QDialog>

#include "nvtype/nv_type_tables.h"

class QComboBox;

namespace tellumic {

class DeviceWindow;

// The dialog fChangeType: for each measurement group a list of the types it can take, with
// the one the meter sends now selected. Choosing another entry hands the group's type
// change to the device window's action queue at once; there are no buttons, and closing
// the dialog cancels nothing. The lists show the types read when it was opened.
class ChangeTypeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ChangeTypeDialog(DeviceWindow &window);

    // The window's dialog for the meter it shows: the open one brought to the front, or a
    // new one, filled from the meter.
    static ChangeTypeDialog *open(DeviceWindow &window);

    void Form_Load();
    // Selects in each list the type the meter reports in the group's SCPTnvType.
    void InitTypeComboboxes();
    // Fills the lists once no LNS action runs: while one does (a log download lets the
    // window work meanwhile), the lists wait disabled and it tries again a timer tick later.
    // Tests call it in place of the timer.
    void fillWhenFree();

    // A list by its name ("cboEnergyNvType").
    QComboBox *list(std::string_view name) const;

private:
    void listClicked(const NvTypeList &list, QComboBox *combo);

    DeviceWindow &m_window;
    std::string m_deviceName;  // the meter the lists were read from
    std::vector<std::pair<const NvTypeList *, QComboBox *>> m_lists;
};

}  // namespace tellumic
