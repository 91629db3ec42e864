// The loading-progress stack and its redraw rule.
#include "app/Progress.h"

#include <gtest/gtest.h>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "ui/Interface.h"

namespace {
int s_redraws = 0;
void CountRedraw(const SProgressEntry*) {
    ++s_redraws;
}

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.SetInterface(new CInterface(game.Roles().Interface()));
        game.Variables().progressDrawing = 1;
        s_redraws = 0;
        Progress_SetRedrawHook(&CountRedraw);
    }
    void TearDown() override {
        while (g_ProgressTop) Progress_Pop();
        Progress_SetRedrawHook(nullptr);
        delete game.Interface();
        game.SetInterface(nullptr);
    }
    int RedrawsForSubSteps(int n) {
        Progress_Push("Loading", 1);
        s_redraws = 0;
        Progress_SetText("Step", "status", n);
        for (int i = 1; i < n; ++i) Progress_Step("status");
        Progress_Pop();
        return s_redraws;
    }
    CGame game{nullptr, "No datafile"};
};
}  // namespace

TEST_F(ProgressTest, RedrawsOnlyWhenTheProgressMovesEnough) {
    // 0.1 per sub-step: every one draws. 0.01: about every fourth.
    EXPECT_EQ(RedrawsForSubSteps(10), 10);
    int hundred = RedrawsForSubSteps(100);
    EXPECT_GE(hundred, 20);
    EXPECT_LE(hundred, 34);
}

TEST_F(ProgressTest, PushSetsTheProgressScreenAndPopClearsIt) {
    Progress_Push("Outer", 2);
    EXPECT_EQ(game.Interface()->m_progressScreen, 1);
    Progress_Push("Inner", 0);  // 0 steps count as 1
    EXPECT_FLOAT_EQ(g_ProgressTop->totalSteps, 1.0f);
    EXPECT_STREQ(g_ProgressTop->below->title, "Outer");
    Progress_Pop();
    EXPECT_EQ(game.Interface()->m_progressScreen, 1);
    Progress_Pop();
    EXPECT_EQ(g_ProgressTop, nullptr);
    EXPECT_EQ(game.Interface()->m_progressScreen, 0);
    // An unbalanced pop is harmless.
    Progress_Pop();
    EXPECT_EQ(g_ProgressTop, nullptr);
}

TEST_F(ProgressTest, StepsAdvanceTheShownFraction) {
    Progress_Push("Map", 4);
    Progress_SetText("Objects", "a", 2);
    EXPECT_FLOAT_EQ(g_ProgressTop->Shown(), 0.125f);
    EXPECT_STREQ(game.Interface()->m_statusLine.GetText(), "a");
    Progress_Step("b");
    EXPECT_FLOAT_EQ(g_ProgressTop->Shown(), 0.25f);
    int before = s_redraws;
    // A new step starts its sub-steps at 0 again, below the last drawn value:
    // its first sub-step always draws.
    Progress_SetText("Grid", "c", 1000);
    EXPECT_EQ(s_redraws, before + 1);
    EXPECT_FLOAT_EQ(g_ProgressTop->subStepValue, 0.0f);
    EXPECT_STREQ(g_ProgressTop->stepText, "Grid");
}

TEST_F(ProgressTest, EmptyStackAndLongTexts) {
    game.Interface()->m_statusLine = "kept";
    Progress_Step("changed");
    Progress_SetText("x", "changed", 3);
    EXPECT_STREQ(game.Interface()->m_statusLine.GetText(), "kept");
    EXPECT_EQ(s_redraws, 0);

    std::string title(400, 't');
    Progress_Push(title.c_str(), 1);
    EXPECT_EQ(std::string(g_ProgressTop->title).size(), 255u);
    Progress_SetText(title.c_str(), nullptr, 1);
    EXPECT_EQ(std::string(g_ProgressTop->stepText).size(), 255u);
}
