// Editing in the device window stays true to the meter: Cancel puts back what a box showed,
// a refused value can be applied again or cancelled, and boxes that nothing is written from
// take no edits.

#include <gtest/gtest.h>

#include <QPushButton>

#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

using A = ControlArray;

class DeviceWindowEditTest : public test::DeviceWindowTest
{
protected:
    QPushButton *apply() const { return window->findChild<QPushButton *>("cmdApply"); }
    QPushButton *cancel() const { return window->findChild<QPushButton *>("cmdCancel"); }
};

// Boxes whose entry holds no stored value until it is applied in this session.
struct CancelCase
{
    const char *meter, *tab;
    A array;
    int index;
    bool accessibly;  // entered through the accessible text interface instead of keys
};

class CancelRestores : public DeviceWindowEditTest, public ::testing::WithParamInterface<CancelCase>
{
};

TEST_P(CancelRestores, WhatTheBoxShowedBeforeTheEdit)
{
    const CancelCase &c = GetParam();
    ASSERT_TRUE(open(c.meter));
    selectTab(c.tab);
    tick();
    simServer->DispatchEvents();  // monitored values not read by the tab change
    const QString before = text(c.array, c.index);
    ASSERT_FALSE(before.isEmpty());
    if (c.accessibly)
        test::setTextAccessibly(window->box({c.array, c.index}), "123");
    else
        typeKeys(c.array, c.index, "123");
    ASSERT_TRUE(window->isChanged({c.array, c.index}));
    ASSERT_TRUE(cancel()->isEnabled());
    cancel()->click();
    EXPECT_EQ(text(c.array, c.index), before);
    EXPECT_FALSE(window->isChanged({c.array, c.index}));
    EXPECT_FALSE(window->editPending());
    EXPECT_FALSE(apply()->isEnabled());
    EXPECT_FALSE(cancel()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(NeverApplied, CancelRestores,
                         ::testing::Values(CancelCase{"TMC-FT-Log-364", "Info", A::txtNvi, 1, false},  // nciCtAmps
                                           CancelCase{"TMB-FT-Plus-208", "Energy", A::txtCp, 7, false},  // nciEngyUpdtT
                                           CancelCase{"TMB-FT-Plus-208", "Power", A::txtCp, 8, false},   // nciPwrUpdtT
                                           CancelCase{"TMC-FT-362", "Demand", A::txtNvi, 3, true}));     // nciDemPerMins

TEST_F(DeviceWindowEditTest, ARefusedValueStaysRedWithApplyAndCancelAtHand)
{
    ASSERT_TRUE(open("TMC-FT-Log-364"));
    selectTab("Demand");
    tick();
    const QString period = text(A::txtNvi, 3);
    typeKeys(A::txtNvi, 3, "abc");
    typeKeys(A::txtNvi, 4, "5");
    home.dialogs.queueAnswer(MsgResult::Ignore);
    apply()->click();
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "fMain cmdApply_Click");
    EXPECT_EQ(nv("nciDemSubints")->Value(), "5");  // Ignore goes on with the next box
    EXPECT_FALSE(window->isChanged({A::txtNvi, 4}));
    EXPECT_TRUE(window->isChanged({A::txtNvi, 3}));
    EXPECT_TRUE(window->editPending());
    EXPECT_TRUE(apply()->isEnabled());
    EXPECT_TRUE(cancel()->isEnabled());

    // Cancel puts the meter's period back and ends the edit.
    cancel()->click();
    EXPECT_EQ(text(A::txtNvi, 3), period);
    EXPECT_FALSE(window->isChanged({A::txtNvi, 3}));
    EXPECT_FALSE(apply()->isEnabled());
    EXPECT_FALSE(cancel()->isEnabled());

    // Refused again and then mended: Apply writes it and the edit ends.
    typeKeys(A::txtNvi, 3, "abc");
    home.dialogs.queueAnswer(MsgResult::Ignore);
    apply()->click();
    ASSERT_TRUE(apply()->isEnabled());
    typeKeys(A::txtNvi, 3, "30");
    apply()->click();
    EXPECT_EQ(nv("nciDemPerMins")->Value(), "30");
    EXPECT_FALSE(window->editPending());
    EXPECT_FALSE(apply()->isEnabled());
    EXPECT_FALSE(cancel()->isEnabled());
}

// Families 302 and 312 show their version (read from nviCal) and location in boxes that no
// catalogue entry writes back: they take no edit, by keys or by a screen reader.
TEST_F(DeviceWindowEditTest, BoxesThatNothingIsWrittenFromAreReadOnly)
{
    ASSERT_TRUE(open("TMB-FT-Plus-208"));
    for (int index : {1, 2, 0}) {
        auto *box = window->box({A::txtCp, index});
        const QString shown = box->text();
        ASSERT_FALSE(shown.isEmpty()) << index;
        EXPECT_TRUE(box->isReadOnly()) << index;
        typeKeys(A::txtCp, index, "9");
        EXPECT_EQ(box->text(), shown) << index;
        test::setTextAccessibly(box, "9");
        EXPECT_EQ(box->text(), shown) << index;
        EXPECT_FALSE(window->isChanged({A::txtCp, index})) << index;
    }
    EXPECT_FALSE(window->editPending());
    EXPECT_FALSE(apply()->isEnabled());
    // The boxes the catalogue binds stay editable.
    EXPECT_FALSE(window->box({A::txtCp, 7})->isReadOnly());
    EXPECT_FALSE(window->box({A::txtNvi, 1})->isReadOnly());
}

}  // namespace
}  // namespace tellumic
