#include <gtest/gtest.h>

#include "foundation/dialogs.h"

namespace tellumic {
namespace {

TEST(DialogsTest, StylesGiveTheirButtonsAndDefault)
{
    using R = MsgResult;
    EXPECT_EQ(buttonsOf(52), (std::vector<R>{R::Yes, R::No}));
    EXPECT_EQ(buttonsOf(66), (std::vector<R>{R::Abort, R::Retry, R::Ignore}));
    EXPECT_EQ(buttonsOf(18), (std::vector<R>{R::Abort, R::Retry, R::Ignore}));
    EXPECT_EQ(buttonsOf(64), (std::vector<R>{R::Ok}));
    EXPECT_EQ(buttonsOf(1), (std::vector<R>{R::Ok, R::Cancel}));
    EXPECT_EQ(defaultButtonOf(36), R::Yes);
    EXPECT_EQ(defaultButtonOf(36 + MsgStyle::kDefaultButton2), R::No);
    EXPECT_EQ(defaultButtonOf(2 + MsgStyle::kDefaultButton3), R::Ignore);
}

TEST(DialogsTest, ScriptedAnswersInOrderThenDefaults)
{
    ScriptedDialogs d;
    d.queueAnswer(MsgResult::Retry);
    EXPECT_EQ(d.messageBox("first", 18, "Cap"), MsgResult::Retry);
    EXPECT_EQ(d.messageBox("second", 52, ""), MsgResult::Yes);
    ASSERT_EQ(d.shown().size(), 2u);
    EXPECT_EQ(d.shown()[0].text, "first");
    EXPECT_EQ(d.shown()[0].style, 18);
    EXPECT_EQ(d.shown()[0].caption, "Cap");
    EXPECT_FALSE(d.isAsking());
}

}  // namespace
}  // namespace tellumic
