// One window, several meters: a meter browsed after another looks exactly as in a fresh
// window, and what a family's layout hides cannot be reached, not even through the
// accessibility interface that screen readers use.

#include <gtest/gtest.h>

#include <map>

#include <QLabel>
#include <QPushButton>
#include <QTabBar>

#include "device/logging_tab.h"
#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

using A = ControlArray;

// Visibility, enabled state, lock and caption of every named control, and the tabs.
std::map<QString, QString> layoutOf(DeviceWindow &window)
{
    std::map<QString, QString> out;
    for (auto *w : window.findChildren<QWidget *>()) {
        const QString name = w->objectName();
        // Unit labels follow the values' types, not the layout.
        if (name.isEmpty() || name.startsWith("qt_") || name.startsWith("lblPowerType") ||
            name.startsWith("lblReacPwrType") || name.startsWith("lblDemandType"))
            continue;
        QString state = QStringLiteral("hidden=%1 enabled=%2").arg(w->isHidden()).arg(w->isEnabled());
        if (auto *box = qobject_cast<QLineEdit *>(w))
            state += QStringLiteral(" readOnly=%1").arg(box->isReadOnly());
        if (auto *label = qobject_cast<QLabel *>(w))
            state += " text=" + label->text();
        out[name] = state;
    }
    for (int i = 0; i < window.tabs().count(); ++i)
        out["tab " + window.tabs().tabText(i)] =
            QStringLiteral("visible=%1 enabled=%2").arg(window.tabs().isTabVisible(i)).arg(window.tabs().isTabEnabled(i));
    return out;
}

// One meter of each family, 363 with and without its logging and PT ratio.
const char *const kMeters[] = {"TMC-FT-B-303", "TMC-FT-BI-313", "TMC-FT-362", "TMC-FT-Plus-333", "TMC-FT-Log-PT-370"};

struct Pair
{
    const char *first, *second;
};

std::vector<Pair> orderedPairs()
{
    std::vector<Pair> out;
    for (const char *a : kMeters)
        for (const char *b : kMeters)
            if (a != b)
                out.push_back({a, b});
    return out;
}

class BrowsedAfterAnother : public test::DeviceWindowTest, public ::testing::WithParamInterface<Pair>
{
};

TEST_P(BrowsedAfterAnother, LooksAsInAFreshWindow)
{
    const Pair &p = GetParam();
    ASSERT_TRUE(browse(p.second));
    const auto fresh = layoutOf(*window);
    ASSERT_TRUE(browse(p.first));
    ASSERT_TRUE(browse(p.second));
    const auto after = layoutOf(*window);
    for (const auto &[name, state] : fresh) {
        const auto it = after.find(name);
        ASSERT_NE(it, after.end()) << name.toStdString();
        EXPECT_EQ(it->second.toStdString(), state.toStdString()) << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, BrowsedAfterAnother, ::testing::ValuesIn(orderedPairs()),
                         [](const ::testing::TestParamInfo<Pair> &info) {
                             std::string name = std::string(info.param.first) + "_then_" + info.param.second;
                             for (char &ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name;
                         });

// The "Reset Energy Totals" button, the Logging tab with its "Read Log" button, and a send
// time box, driven as a screen reader drives them: on a 303 the layout hides them and they
// do nothing; on a 362 they are shown and act.
struct HiddenCase
{
    const char *meter;
    bool hidden;
};

class HiddenControls : public test::DeviceWindowTest, public ::testing::WithParamInterface<HiddenCase>
{
};

TEST_P(HiddenControls, DoNothingThroughTheAccessibilityInterface)
{
    const HiddenCase &c = GetParam();
    ASSERT_TRUE(browse("TMC-FT-Log-364"));  // a meter that shows them all, first
    ASSERT_TRUE(browse(c.meter));
    const QString press = QAccessibleActionInterface::pressAction();

    auto *reset = window->findChild<QPushButton *>("cmdResetEnergy");
    EXPECT_EQ(test::accessible(reset)->actionInterface()->actionNames().contains(press), !c.hidden);
    test::doAccessibleAction(test::accessible(reset), press);  // confirmed with OK when asked
    EXPECT_EQ(home.dialogs.shown().size(), c.hidden ? 0u : 1u);
    EXPECT_EQ(nv("nviResetEnergy")->Value(), c.hidden ? "0" : "1");

    auto *read = window->findChild<QPushButton *>("cmdReadLogData");
    EXPECT_EQ(read->isEnabled(), !c.hidden);

    auto *sendTime = window->box({A::txtCp, 9});  // the multimeter send time of family 362
    test::setTextAccessibly(sendTime, "77");
    EXPECT_EQ(window->isChanged({A::txtCp, 9}), !c.hidden);
    EXPECT_EQ(window->editPending(), !c.hidden);

    auto *tabBar = window->tabs().findChild<QTabBar *>();
    ASSERT_TRUE(tabBar);
    auto *loggingTab = test::accessible(tabBar)->child(6);
    ASSERT_TRUE(loggingTab);
    EXPECT_EQ(loggingTab->text(QAccessible::Name), "Logging");
    test::doAccessibleAction(loggingTab, press);
    EXPECT_EQ(window->activeTabCaption(), c.hidden ? "Energy" : "Logging");
    EXPECT_EQ(window->loggingTab().loggingTabReady(), !c.hidden);
}

INSTANTIATE_TEST_SUITE_P(Families, HiddenControls,
                         ::testing::Values(HiddenCase{"TMC-FT-B-303", true}, HiddenCase{"TMC-FT-362", false}));

}  // namespace
}  // namespace tellumic
