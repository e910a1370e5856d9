// The page's top row: bypass, undo, the A/B setups with their menu, and reset, as a
// user works them; the menu is opened and chosen from with the real pointer and keys.
#include "EditorTestSupport.h"

#include "ControlsTestSupport.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageLayout.h"
#include "PresetFileFormat.h"
#include "qz_guids.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace qz::page;

// Presses the button, lets its menu open and sends `keys` to it. The menu runs its
// own message loop inside the press, so the whole gesture is one xdotool call.
bool ChooseFromMenu(const OpenPage& open, int buttonId, const std::string& keys)
{
    SetForegroundWindow(HostWindow());
    return Xdotool("mousemove " + ScreenPoint(open.Control(buttonId), 7, 10) +
                   " mousedown 1 sleep 0.4 mouseup 1 sleep 0.3 key --delay 60 " + keys);
}

// The item `downs` Down keys away (separators are skipped), or Escape for 0.
bool ChooseFromMenu(const OpenPage& open, int buttonId, int downs)
{
    std::string keys;
    for (int i = 0; i < downs; ++i)
        keys += "Down ";
    return ChooseFromMenu(open, buttonId, keys + (downs == 0 ? "Escape" : "Return"));
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

    Click(open, ID_SETUP);
    EXPECT_EQ(Text(open.Control(ID_SETUP)), "Setup B");
    open.prop->SetFreq(150, 1, FALSE);
    open.prop->SetSolo(0, 3, FALSE);
    open.prop->SetAttack(900, 4, FALSE);
    const qz::ParamBlock b = Block(open);

    ASSERT_TRUE(ChooseFromMenu(open, ID_SETUP_MENU, kSetupA));
    EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(ID_SETUP)) == "Setup A"; }));
    EXPECT_TRUE(SameBlocks(Block(open), a)) << "A came back exactly";
    EXPECT_EQ(Text(open.Control(ID_FREQ + 1)), std::to_string(qz::CrossoverHz(77))) << "and the page shows it";
    ASSERT_TRUE(ChooseFromMenu(open, ID_SETUP_MENU, kSetupB));
    EXPECT_TRUE(PumpUntil([&] { return Text(open.Control(ID_SETUP)) == "Setup B"; }));
    EXPECT_TRUE(SameBlocks(Block(open), b));
}

TEST(PageCommands, CopyingBetweenTheSetups)
{
    {
        TickedPage open;
        ASSERT_NE(open.window, nullptr);
        const qz::ParamBlock opened = Block(open);
        ASSERT_TRUE(ChooseFromMenu(open, ID_SETUP_MENU, kCopyFromOther));
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
        ASSERT_TRUE(ChooseFromMenu(open, ID_SETUP_MENU, kCopyToOther));
        PumpMessages();
        Click(open, ID_UNDO);
        EXPECT_EQ(Block(open).Ratio[1], 10) << "undo took back the ratio";
        Click(open, ID_SETUP);
        EXPECT_EQ(Block(open).Ratio[1], 80) << "B kept the copy";
    }
    {
        TickedPage open;
        ASSERT_NE(open.window, nullptr);
        const qz::ParamBlock opened = Block(open);
        ASSERT_TRUE(ChooseFromMenu(open, ID_SETUP_MENU, kDismiss));
        PumpMessages();
        EXPECT_TRUE(SameBlocks(Block(open), opened)) << "a dismissed menu does nothing";
        EXPECT_EQ(Text(open.Control(ID_SETUP)), "Setup A");
    }
}

TEST(PageCommands, UndoTwiceBringsBackWhatTheFirstUndoReplaced)
{
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    Click(open, ID_BAND_SOLO + 1);  // solo band 1, with its own undo step
    Click(open, ID_UNDO);
    EXPECT_EQ(Block(open).Solo[1], 0);
    EXPECT_FALSE(Checked(open.Control(ID_BAND_SOLO + 1)));
    Click(open, ID_UNDO);
    EXPECT_EQ(Block(open).Solo[1], 1);
    EXPECT_TRUE(Checked(open.Control(ID_BAND_SOLO + 1)));
}

TEST(PageCommands, ResetKeepsQFactorTheBypassAndTheSetupAndTurnsTheLimiterOn)
{
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    Click(open, ID_SETUP);  // setup B
    open.prop->SetQFactor(120, FALSE);
    open.prop->SetLimiter(0, FALSE);
    open.prop->SetThreshold(-200, 2, FALSE);
    open.prop->SetFreq(10, 0, FALSE);
    Click(open, ID_BYPASS);  // effect bypass
    Click(open, ID_RESET);
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
    EXPECT_EQ(Text(open.Control(ID_SETUP)), "Setup B");
}

// A preset store of the user's in a folder of its own, where the filter's registry
// key sends the editor (PluginPath); both go away with the test.
class PresetStoreFolder {
public:
    explicit PresetStoreFolder(const std::string& presets)
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_folder = std::string(temp) + "qz-page-presets-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), nullptr);
        const std::string classKey = qz::PresetClassKey(qz::kCLSID_Filter);
        const std::string store = "[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=" + classKey +
                                  "\r\nDefaultPreset=1\r\n" + presets;
        FILE* file = std::fopen((m_folder + "\\qzMultibandDX.ini").c_str(), "wb");
        if (file != nullptr) {
            std::fwrite(store.data(), 1, store.size(), file);
            std::fclose(file);
        }
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, classKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr);
        RegSetValueExA(m_key, "PluginPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_folder.c_str()),
                       static_cast<DWORD>(m_folder.size() + 1));
    }
    ~PresetStoreFolder()
    {
        RegDeleteValueA(m_key, "PluginPath");
        RegCloseKey(m_key);
        DeleteFileA((m_folder + "\\qzMultibandDX.ini").c_str());
        RemoveDirectoryA(m_folder.c_str());
    }

private:
    std::string m_folder;
    HKEY m_key = nullptr;
};

// The Presets button lists the stored presets by bank and applies the one chosen in
// one undo step. A data string without the space after its tenth value carries only
// the global values and the crossovers.
TEST(PageCommands, ThePresetMenuAppliesAStoredPresetInOneUndoStep)
{
    std::string kick = "1,0,-20,100,0,0,60,121,180,240, ";
    for (int band = 0; band < 5; ++band)
        kick += std::string(band == 0 ? "0,0,-200,40," : "0,0,0,10,") + "10,0,150,200,0" + (band < 4 ? "," : "");
    const PresetStoreFolder store("[Preset1]\r\nVersion=3\r\nName=Kick\r\nBank=Drums\r\nData=" + kick +
                                  "\r\n[Preset2]\r\nVersion=3\r\nName=Soft\r\nBank=\r\n"
                                  "Data=0,0,35,100,0,1,50,121,180,240\r\n");
    TickedPage open;
    ASSERT_NE(open.window, nullptr);
    open.prop->UndoCheckpoint(-2);
    open.prop->SetThreshold(-300, 2, TRUE);
    const qz::ParamBlock before = Block(open);

    // Add, Manager, the Drums bank, then the root preset Soft.
    ASSERT_TRUE(ChooseFromMenu(open, ID_PRESETS, 4));
    EXPECT_TRUE(PumpUntil([&] { return Block(open).OutputGain == 35; })) << "Soft";
    qz::ParamBlock soft = Block(open);
    EXPECT_EQ(soft.Limiter, 0);
    EXPECT_EQ(soft.TCR, 1);
    EXPECT_EQ(soft.Freq[0], 50);
    EXPECT_EQ(soft.Threshold[2], -300) << "no band values in the string: the bands keep theirs";
    EXPECT_EQ(Text(open.Control(ID_OUTPUT_GAIN)), "3.5") << "and the page shows it";
    Click(open, ID_UNDO);
    EXPECT_TRUE(SameBlocks(Block(open), before)) << "one undo step takes the whole preset back";

    // Now "Update Preset: Soft..." comes second: past it and the manager, into the
    // Drums bank, to its only preset.
    ASSERT_TRUE(ChooseFromMenu(open, ID_PRESETS, "Down Down Down Down Right Return"));
    EXPECT_TRUE(PumpUntil([&] { return Block(open).Threshold[0] == -200; })) << "Kick";
    EXPECT_EQ(Block(open).Ratio[0], 40);
    EXPECT_EQ(Block(open).Threshold[2], 0);
    EXPECT_EQ(Block(open).OutputGain, -20);

    const qz::ParamBlock kicked = Block(open);
    ASSERT_TRUE(ChooseFromMenu(open, ID_PRESETS, 0));
    PumpMessages();
    EXPECT_TRUE(SameBlocks(Block(open), kicked)) << "a dismissed menu applies nothing";
}

// Closes every dialog this process shows while it lives (a question, the manager, the
// Add dialog), and tells whether one came.
class DialogCloser {
public:
    DialogCloser()
        : m_thread([this] {
              while (!m_stop) {
                  EnumWindows(CloseDialog, reinterpret_cast<LPARAM>(this));
                  Sleep(100);
              }
          })
    {
    }
    ~DialogCloser()
    {
        m_stop = true;
        m_thread.join();
    }
    bool closedAny() const { return m_closed; }

private:
    static BOOL CALLBACK CloseDialog(HWND window, LPARAM self)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::string(className) == "#32770") {
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
            reinterpret_cast<DialogCloser*>(self)->m_closed = true;
        }
        return TRUE;
    }

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closed{false};
    std::thread m_thread;
};

// A store of 7,001 presets: the last two get the ids 10500 and 10501, which the menu's
// own commands once had. Chosen from the real menu, each applies its settings and
// opens no dialog.
TEST(PageCommands, ThousandsOfPresetsNeverTakeTheMenuCommandsIds)
{
    std::string presets;
    int number = 0;
    const auto add = [&](const std::string& name, const std::string& bank, int outputGain) {
        presets += "[Preset" + std::to_string(++number) + "]\r\nVersion=3\r\nName=" + name + "\r\nBank=" + bank +
                   "\r\nData=0,0," + std::to_string(outputGain) + ",100,0,1,50,121,180,240\r\n";
    };
    while (number < 6999)
        add("Many " + std::to_string(number), "Many", 10);
    add("Last A", "Last", 77);
    add("Last B", "Last", 66);
    const PresetStoreFolder store(presets);
    TickedPage open;
    ASSERT_NE(open.window, nullptr);

    const DialogCloser closer;
    // Add, Manager, then the Last bank (before Many) and its first preset.
    ASSERT_TRUE(ChooseFromMenu(open, ID_PRESETS, "Down Down Down Right Return"));
    EXPECT_TRUE(PumpUntil([&] { return Block(open).OutputGain == 77; })) << "Last A";
    // "Update Preset: Last A..." now comes second; then Last B.
    ASSERT_TRUE(ChooseFromMenu(open, ID_PRESETS, "Down Down Down Down Right Down Return"));
    EXPECT_TRUE(PumpUntil([&] { return Block(open).OutputGain == 66; })) << "Last B";
    EXPECT_FALSE(closer.closedAny()) << "a dialog opened";
}

} // namespace
