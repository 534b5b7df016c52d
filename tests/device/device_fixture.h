#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "device/device_window.h"
#include "device/monitor.h"
#include "foundation/plugin_state.h"
#include "log/log_transfer.h"
#include "model/value_boxes.h"
#include "sim/installation.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic::test {

// The demo installation, its network open as a host would open it, and a device window.
class DeviceWindowTest : public HomeTest
{
protected:
    void SetUp() override
    {
        logFtpState() = LogFtpState{};
        lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        plugIn() = PlugInState{};
        LnsBusy() = false;
        MeterState().clear();
        window = std::make_unique<DeviceWindow>();
        attachSession();
        window->setWaiter([this](int ms) { home.clock.advance(std::chrono::milliseconds(ms)); });
        setProcessEndHandler([this] { ++processEnds; });
    }

    void TearDown() override
    {
        window.reset();
        plugIn() = PlugInState{};
        monitorState() = MonitorState{};
        CurrentNvs() = {};
        setProcessEndHandler(nullptr);
        LnsBusy() = false;
        logFtpState() = LogFtpState{};
    }

    // A new object-server session on the installation, as a host opens one: the server, the
    // network "Demo" and its first system open, made the plug-in's current ones and attached
    // to the window.
    void attachSession()
    {
        sim::SimOptions options;
        options.clock = &home.clock;
        auto server = std::make_shared<sim::SimObjectServer>(lonWorks, options);
        server->Open();
        auto network = server->Networks().Item("Demo");
        network->Open();
        auto system = network->Systems().Item(1);
        system->Open();
        plugIn().ObjectServer = server;
        plugIn().CurrentNetwork = network;
        plugIn().CurrentSystem = system;
        simServer = server.get();
        window->attachObjectServer(server);
    }

    // Routes the device as the command routing does and initialises the window for it.
    bool open(const std::string &name)
    {
        auto device = plugIn().CurrentSystem->Subsystems().Item("Meters")->AppDevices().Item(name);
        plugIn().CurrentDevice = device;
        plugIn().CurrentDeviceName = name;
        return window->SetDevTemplateLabel() && window->InitDevice();
    }

    std::shared_ptr<lns::Nv> nv(const std::string &name)
    {
        return plugIn().CurrentDevice->GetInterface()->Nvs().Item(name);
    }

    QString text(ControlArray array, int index) const
    {
        return window->box({array, index})->text();
    }

    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            window->Timer1_Timer();
    }

    void selectTab(const QString &caption)
    {
        for (int i = 0; i < window->tabs().count(); ++i)
            if (window->tabs().tabText(i) == caption)
                window->tabs().setCurrentIndex(i);
    }

    // Types into a box as a user would.
    void type(ControlArray array, int index, const QString &newText)
    {
        auto *box = window->box({array, index});
        box->setFocus();
        box->selectAll();
        box->insert(newText);
        Q_EMIT box->textEdited(box->text());
    }

    // A second device in the same window, as the command routing browses it.
    bool browse(const std::string &name)
    {
        if (plugIn().CurrentDevice)
            window->releaseDevice();
        return open(name);
    }

    // Types into a box with key presses, replacing its text, as a user does.
    void typeKeys(ControlArray array, int index, const QString &newText)
    {
        auto *box = window->box({array, index});
        box->selectAll();
        QTest::keyClicks(box, newText);
    }

    sim::SimControl control() const { return sim::SimControl(lonWorks); }

    // The window's widget of that object name; a test failure when there is none.
    template <class T = QLineEdit>
    T *w(const char *name) const
    {
        auto *widget = findWidget<T>(name);
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    // The same for a widget that may be missing.
    template <class T = QLineEdit>
    T *findWidget(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    std::filesystem::path lonWorks;
    sim::SimObjectServer *simServer = nullptr;
    std::unique_ptr<DeviceWindow> window;
    int processEnds = 0;
};

// What assistive technology sees of a widget.
inline QAccessibleInterface *accessible(QWidget *widget)
{
    auto *iface = QAccessible::queryAccessibleInterface(widget);
    EXPECT_TRUE(iface) << widget->objectName().toStdString();
    return iface;
}

// Invokes an action as a screen reader does. A pressed button clicks when Qt's press
// animation ends, so the call returns once the button is up again.
inline void doAccessibleAction(QAccessibleInterface *iface, const QString &action)
{
    ASSERT_TRUE(iface && iface->actionInterface());
    iface->actionInterface()->doAction(action);
    if (auto *button = qobject_cast<QAbstractButton *>(iface->object())) {
        EXPECT_TRUE(QTest::qWaitFor([button] { return !button->isDown(); }, 5000));
    }
}

// Replaces a box's text through the accessible text interface, as a screen reader does.
inline void setTextAccessibly(QLineEdit *box, const QString &text)
{
    auto *iface = accessible(box);
    ASSERT_TRUE(iface && iface->editableTextInterface());
    iface->editableTextInterface()->replaceText(0, box->text().size(), text);
}

}  // namespace tellumic::test
