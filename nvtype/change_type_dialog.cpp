#include "nvtype/change_type_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include "device/device_window.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/qt_accessible.h"
#include "foundation/trace_log.h"
#include "model/value_boxes.h"
#include "nvtype/change_nv_type.h"

namespace tellumic {

namespace {

QPointer<ChangeTypeDialog> g_dialog;

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// Keeps InitializingCombos set while the lists are filled, however the filling ends.
class FillingScope
{
public:
    FillingScope() { InitializingCombos() = true; }
    ~FillingScope() { InitializingCombos() = false; }
    FillingScope(const FillingScope &) = delete;
    FillingScope &operator=(const FillingScope &) = delete;
};

}  // namespace

ChangeTypeDialog::ChangeTypeDialog(DeviceWindow &window) : QDialog(&window), m_window(window)
{
    setObjectName("fChangeType");
    installAccessibleWidgets();
    setWindowTitle(QStringLiteral("Tellumic - Change SNVT Types"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_deviceName = plugIn().CurrentDeviceName;

    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(QStringLiteral("Choosing a type changes it in the meter at once."), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    int row = 0;
    for (const auto &list : nvTypeLists()) {
        auto *caption = new QLabel(qs(list.caption), this);
        auto *label = new QLabel(QStringLiteral("SCPTnvType:"), this);
        auto *combo = new QComboBox(this);
        combo->setObjectName(qs(list.name));
        combo->setAccessibleName(qs(list.caption) + QStringLiteral(" SCPTnvType"));
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        for (const auto entry : list.entries)
            combo->addItem(qs(entry));
        combo->setCurrentIndex(-1);  // nothing selected until the meter is read
        // Screen readers on Linux name a list by the labels it is the buddy of.
        caption->setBuddy(combo);
        label->setBuddy(combo);
        grid->addWidget(caption, row, 0);
        grid->addWidget(label, row, 1);
        grid->addWidget(combo, row, 2);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, &list, combo] { listClicked(list, combo); });
        m_lists.emplace_back(&list, combo);
        ++row;
    }
    layout->addLayout(grid);
    layout->addStretch(1);
}

ChangeTypeDialog *ChangeTypeDialog::open(DeviceWindow &window)
{
    if (g_dialog && g_dialog->parent() == &window && g_dialog->m_deviceName == plugIn().CurrentDeviceName) {
        g_dialog->raise();
        g_dialog->activateWindow();
        return g_dialog;
    }
    if (g_dialog)
        g_dialog->close();
    g_dialog = new ChangeTypeDialog(window);
    g_dialog->Form_Load();
    g_dialog->show();
    return g_dialog;
}

QComboBox *ChangeTypeDialog::list(std::string_view name) const
{
    for (const auto &[l, combo] : m_lists)
        if (l->name == name)
            return combo;
    return nullptr;
}

void ChangeTypeDialog::Form_Load()
{
    DebugLog("fChangeType.Form_Load()");
    fillWhenFree();
}

// The meter talks to one caller at a time, so the filling waits for a running action.
void ChangeTypeDialog::fillWhenFree()
{
    const bool busy = LnsBusy();
    for (const auto &[l, combo] : m_lists)
        combo->setEnabled(!busy);
    if (busy) {
        QTimer::singleShot(DeviceWindow::kTimerIntervalMs, this, &ChangeTypeDialog::fillWhenFree);
        return;
    }
    InitTypeComboboxes();
}

void ChangeTypeDialog::InitTypeComboboxes()
{
    DebugLog("fChangeType.InitTypeComboboxes()");
    FillingScope filling;
    try {
        LnsBusyScope reading;
        auto &device = plugIn().CurrentDevice;
        for (const auto &[l, combo] : m_lists) {
            auto cp = device ? GetCpByTypeIndex(*device, l->group.cpAddress) : nullptr;
            if (!cp)
                throw RuntimeError(lns::LcaError::kObjectNotFound,
                                   "Configuration property " + std::string(l->group.cpAddress) + " not found");
            m_window.UpdateStatus(QString::fromStdString("Reading Configuration Property: " + cp->Name() + "..."), 1);
            if (const int index = recognisedIndex(*l, cp->Value()); index >= 0)
                combo->setCurrentIndex(index);
        }
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fChangeType.InitTypeComboboxes()," + errorText(e));
        MsgBox("InitTypeComboboxes err=" + errorText(e), MsgStyle::kOkOnly);
    }
}

void ChangeTypeDialog::listClicked(const NvTypeList &l, QComboBox *combo)
{
    DebugLog("fChangeType." + std::string(l.name) + "_Click()");
    if (InitializingCombos() || combo->currentIndex() < 0)
        return;
    try {
        // The lists belong to the meter they were read from; another one is shown now.
        if (plugIn().CurrentDeviceName != m_deviceName) {
            DebugLog("   fChangeType: the device window shows another meter now");
            close();
            return;
        }
        m_window.queue().ExecuteLnsAction(std::string(l.group.procedure) + "," + std::to_string(combo->currentIndex()));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fChangeType." + std::string(l.name) + "_Click()," + errorText(e));
    }
}

}  // namespace tellumic
