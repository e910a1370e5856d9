// The page's top row: bypass, undo, the A/B setups with their menu, and reset, as a
// user works them; the menu is opened and chosen from with the real pointer and keys.
#include "EditorTestSupport.h"

#include "ControlsTestSupport.h"

#include "Controls.h"
#include "DisplayFormats.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Presses the button, lets its menu open, and picks the item `downs` Down keys away
// (separators are skipped), or dismisses the menu with Escape for 0. The menu runs
// its own message loop inside the press, so the whole gesture is one xdotool call.
bool ChooseFromMenu(const OpenPage& open, int buttonId, int downs)
{
    SetForegroundWindow(HostWindow());
    std::string keys;
    for (int i = 0; i < downs; ++i)
        keys += " Down";
    keys += downs == 0 ? " Escape" : " Return";
    return Xdotool("mousemove " + ScreenPoint(open.Control(buttonId), 7, 10) +
                   " mousedown 1 sleep 0.4 mouseup 1 sleep 0.3 key --delay 60" + keys);
}

enum SetupMenuItem { kDismiss = 0, kSetupA = 1, kSetupB = 2, kCopyToOther = 3, kCopyFromOther = 4 };

bool SameBlocks(const qz::ParamBlock& a, const qz::ParamBlock& b) { return a == b; }

// A page after its first tick, which makes the other setup a copy of the current one.
struct TickedPage : OpenPage {
    TickedPage() { Tick(); }
};

TEST(PageCommands, SwitchingAToBAndBackReturnsAExactly)
{
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    open.prop->SetFreq(77, 1, FALSE);
    open.prop->SetSolo(1, 3, FALSE);
    open.prop->SetBypass(1, 0, FALSE);
    open.prop->SetRatio(45, 2, FALSE);
    const qz::ParamBlock a = Block(open);

    Click(open, 20012);
    EXPECT_EQ(Text(open.Control(20012)), "Setup B");
    open.prop->SetFreq(150, 1, FALSE);
    open.prop->SetSolo(0, 3, FALSE);
    open.prop->SetAttack(900, 4, FALSE);
    const qz::ParamBlock b = Block(open);

    ASSERT_TRUE(ChooseFromMenu(open, 20013, kSetupA));
    EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(20012)) == "Setup A"; }));
    EXPECT_TRUE(SameBlocks(Block(open), a)) << "A came back exactly";
    EXPECT_EQ(Text(open.Control(10121)), std::to_string(qz::CrossoverHz(77))) << "and the page shows it";
    ASSERT_TRUE(ChooseFromMenu(open, 20013, kSetupB));
    EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(20012)) == "Setup B"; }));
    EXPECT_TRUE(SameBlocks(Block(open), b));
}

TEST(PageCommands, CopyingBetweenTheSetups)
{
    {
        TickedPage open;
        ASSERT_NE(open.window, nullptr);
        const qz::ParamBlock opened = Block(open);
        ASSERT_TRUE(ChooseFromMenu(open, 20013, kCopyFromOther));
        PumpMessages();
        EXPECT_TRUE(SameBlocks(Block(open), opened)) << "right after opening, B is what A is";
    }
    {
        // "Copy to B" takes no undo step: Undo still takes back the change before it,
        // and B keeps the copy.
        TickedPage open;
        ASSERT_NE(open.window, nullptr);
        open.prop->UndoCheckpoint(-2);
        open.prop->SetRatio(80, 1, TRUE);
        ASSERT_TRUE(ChooseFromMenu(open, 20013, kCopyToOther));
        PumpMessages();
        Click(open, 20011);
        EXPECT_EQ(Block(open).Ratio[1], 10) << "undo took back the ratio";
        Click(open, 20012);
        EXPECT_EQ(Block(open).Ratio[1], 80) << "B kept the copy";
    }
    {
        TickedPage open;
        ASSERT_NE(open.window, nullptr);
        const qz::ParamBlock opened = Block(open);
        ASSERT_TRUE(ChooseFromMenu(open, 20013, kDismiss));
        PumpMessages();
        EXPECT_TRUE(SameBlocks(Block(open), opened)) << "a dismissed menu does nothing";
        EXPECT_EQ(Text(open.Control(20012)), "Setup A");
    }
}

TEST(PageCommands, UndoTwiceBringsBackWhatTheFirstUndoReplaced)
{
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    Click(open, 10161);  // solo band 1, with its own undo step
    Click(open, 20011);
    EXPECT_EQ(Block(open).Solo[1], 0);
    EXPECT_FALSE(Checked(open.Control(10161)));
    Click(open, 20011);
    EXPECT_EQ(Block(open).Solo[1], 1);
    EXPECT_TRUE(Checked(open.Control(10161)));
}

TEST(PageCommands, ResetKeepsQFactorTheBypassAndTheSetupAndTurnsTheLimiterOn)
{
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    Click(open, 20012);  // setup B
    open.prop->SetQFactor(120, FALSE);
    open.prop->SetLimiter(0, FALSE);
    open.prop->SetThreshold(-200, 2, FALSE);
    open.prop->SetFreq(10, 0, FALSE);
    Click(open, 20010);  // effect bypass
    Click(open, 20014);
    const qz::ParamBlock reset = Block(open);
    EXPECT_EQ(reset.QFactor, 120);
    EXPECT_EQ(reset.Limiter, 1);
    EXPECT_EQ(reset.Threshold[2], 0);
    EXPECT_EQ(reset.Freq[0], 60);
    BOOL bypass = FALSE;
    open.prop->GetEffectBypass(&bypass);
    EXPECT_TRUE(bypass);
    LONG setup = -1;
    open.prop->GetSetup(&setup);
    EXPECT_EQ(setup, 1);
    EXPECT_EQ(Text(open.Control(20012)), "Setup B");
}

} // namespace
