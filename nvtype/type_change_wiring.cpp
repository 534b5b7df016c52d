#include "nvtype/type_change_wiring.h"

#include "device/device_window.h"
#include "device/monitor.h"
#include "foundation/plugin_state.h"
#include "model/value_boxes.h"
#include "nvtype/change_nv_type.h"
#include "nvtype/change_type_dialog.h"

namespace tellumic {

namespace {

// The device window as the type-change procedures reach it.
class WindowSite final : public TypeChangeSite
{
public:
    explicit WindowSite(DeviceWindow &window) : m_window(window) {}
    lns::Collection<lns::Nv> deviceNvs() override { return CurrentNvs(); }
    std::shared_ptr<lns::Cp> cpByTypeIndex(std::string_view cpAddress) override
    {
        auto &device = plugIn().CurrentDevice;
        return device ? GetCpByTypeIndex(*device, cpAddress) : nullptr;
    }
    void updateStatus(const std::string &text, int ticks) override
    {
        m_window.UpdateStatus(QString::fromStdString(text), ticks);
    }
    EventLog &echLog() override { return m_window; }

private:
    DeviceWindow &m_window;
};

}  // namespace

void installTypeChange(DeviceWindow &window)
{
    for (const auto &group : nvTypeGroups())
        window.queue().registerAction(group.procedure, LnsArgument::Integer,
                                      [&window, &group](const LnsActionQueue::Arg &arg) {
                                          WindowSite site(window);
                                          ChangeNvType(group, arg.integer, site);
                                      });
    window.setChangeTypesHandler([&window] { ChangeTypeDialog::open(window); });
}

}  // namespace tellumic
