// The page's preset menu: built by bank from the store, chosen from with the real
// pointer, and its update and add items writing the store on disk.
#include "PresetUiSupport.h"

#include "ControlsTestSupport.h"

namespace qz::test {
namespace {

using PresetMenuTest = PresetUiTest;

// The menu as the page starts it, with the manager's part added.
HMENU PageMenu(PresetManager& presets)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, PresetManager::kAddPresetCommand, "Add Preset...");
    AppendMenuA(menu, MF_STRING, PresetManager::kManagerCommand, "Preset Manager...");
    EXPECT_EQ(presets.BuildPresetMenu(menu), 1);
    return menu;
}

std::vector<std::string> PageMenuLines(PresetManager& presets)
{
    HMENU menu = PageMenu(presets);
    const std::vector<std::string> lines = MenuLines(menu);
    DestroyMenu(menu);
    return lines;
}

TEST_F(PresetMenuTest, PresetsAreListedByBank)
{
    struct Case {
        const char* what;
        std::vector<PresetFields> store;
        std::vector<std::string> menu;
    };
    const Case cases[] = {
        {"no presets: the two commands, no separator", {}, {"Add Preset...", "Preset Manager..."}},
        {"banks differing in case are two popups, root presets last",
         {Fields("Kick", "Drums"), Fields("Zed", ""), Fields("Snare", "drums"), Fields("Pad", "Keys")},
         {"Add Preset...", "Preset Manager...", "-", "Drums>", "  Kick", "drums>", "  Snare", "Keys>", "  Pad", "Zed"}},
        {"a bank named like a command or a root preset is still a popup",
         {Fields("Zed", ""), Fields("In", "Zed"), Fields("Also", "Preset Manager...")},
         {"Add Preset...", "Preset Manager...", "-", "Preset Manager...>", "  Also", "Zed>", "  In", "Zed"}},
        {"an ampersand shows as itself", {Fields("Rock & Roll", "")},
         {"Add Preset...", "Preset Manager...", "-", "Rock && Roll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PageMenuLines(OpenStore(c.store)), c.menu);
    }
}

// The real menu under the pointer: the chosen preset's data comes back, and the next
// menu offers to update it and marks it.
TEST_F(PresetMenuTest, AChosenPresetIsAppliedMarkedAndOfferedForUpdate)
{
    PresetManager& presets = OpenStore({Fields("Kick", "Drums", "10,20", 2), Fields("Zed", "", "30,40")});
    HMENU menu = PageMenu(presets);
    const int chosen = WhileDriving(
        [&] {
            ASSERT_EQ(WaitForPopupMenu(), menu);
            // Drums is the fourth item; its popup opens under the pointer.
            ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(menu, 3)));
            ASSERT_EQ(WaitForPopupMenu(1), GetSubMenu(menu, 3));
            ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(GetSubMenu(menu, 3), 0) + " click 1"));
        },
        [&] { return TrackPopupMenu(menu, TPM_RETURNCMD, 300, 200, 0, page->window, nullptr); });
    DestroyMenu(menu);
    int version = 0;
    const char* data = presets.AnswerPresetMenu(chosen, &version);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data), "10,20");
    EXPECT_EQ(version, 2);
    EXPECT_EQ(PageMenuLines(presets), (std::vector<std::string>{"Add Preset...", "Update Preset: Kick...",
                                                                "Preset Manager...", "-", "Drums>",
                                                                "  Kick (radio)", "Zed"}));
    EXPECT_EQ(presets.AnswerPresetMenu(PresetManager::kUpdatePresetCommand + 1, &version), nullptr)
        << "an id of no preset";
}

TEST_F(PresetMenuTest, UpdatePresetChangesThePresetOnlyWhenTheUserAgrees)
{
    struct Case {
        int answer;
        bool updated;
    };
    for (const Case c : {Case{IDNO, false}, Case{IDYES, true}}) {
        SCOPED_TRACE(c.updated ? "Yes" : "No");
        PresetManager& presets = OpenStore({Fields("Kick", "Drums", "10,20", 2), Fields("Zed", "", "30,40")});
        const std::string before = ReadText(StorePath());
        ASSERT_NE(presets.LookupPresetData(presets.Presets().front().id, nullptr), nullptr);
        messages.shown.clear();
        messages.answers = {c.answer};
        EXPECT_EQ(presets.AnswerPresetMenu(PresetManager::kUpdatePresetCommand, nullptr), nullptr)
            << "nothing is applied";
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  "Would you like to update the stored parameters for\nthe \"Kick\" preset with the current settings?");
        EXPECT_EQ(messages.shown[0].owner, page->window);
        EXPECT_EQ(messages.shown[0].type, UINT(MB_YESNO | MB_ICONQUESTION));
        if (c.updated) {
            EXPECT_EQ(StoredPreset("Kick"), Fields("Kick", "Drums", PageData(), 3));
            EXPECT_EQ(StoredPreset("Zed"), Fields("Zed", "", "30,40"));
        } else {
            EXPECT_EQ(ReadText(StorePath()), before);
            EXPECT_EQ(presets.FindPreset(presets.CurrentPreset())->data, "10,20");
        }
    }
}

// Add Preset from the page writes the store whatever the user did there: a preset
// another editor saved meanwhile joins this list even when the add is cancelled.
TEST_F(PresetMenuTest, AddPresetWritesTheStoreAtOnce)
{
    struct Case {
        const char* what;
        std::string typedName;  // empty: Cancel
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {"cancelled", "", {"/Theirs", "Drums/Kick"}},
        {"added to a bank", "Lead", {"/Theirs", "Drums/Kick", "Synths/Lead"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PresetManager& presets = OpenStore({Fields("Kick", "Drums")});
        PresetManager& otherEditor = NewManager();
        otherEditor.OpenPresetStore(StorePath().c_str(), kTestClassKey, kStoreName);
        otherEditor.AddPreset("Theirs", "", "5");
        ASSERT_EQ(otherEditor.SavePresetFile(kTestClassKey, StorePath().c_str()), 1);
        const std::string before = ReadText(StorePath());

        WhileDriving(
            [&] {
                const HWND add = WaitForWindow("Add qz:Multiband preset");
                ASSERT_NE(add, nullptr);
                if (c.typedName.empty()) {
                    PostMessageA(add, WM_COMMAND, IDCANCEL, 0);
                } else {
                    SetDlgItemTextA(add, 1511, c.typedName.c_str());
                    SetDlgItemTextA(add, 1513, "Synths");
                    PostMessageA(add, WM_COMMAND, IDOK, 0);
                }
                EXPECT_TRUE(WaitUntilGone(add));
            },
            [&] { return presets.AnswerPresetMenu(PresetManager::kAddPresetCommand, nullptr) == nullptr; });
        EXPECT_EQ(Sorted(Names(presets.Presets())), c.stored) << "the list holds what the store holds";
        EXPECT_EQ(Sorted(StoredNames()), c.stored);
        if (c.typedName.empty()) {
            EXPECT_EQ(ReadText(StorePath()), before) << "rewritten with what it held";
        } else {
            EXPECT_EQ(StoredPreset("Lead"), Fields("Lead", "Synths", PageData(), 3));
            EXPECT_EQ(presets.FindPreset(presets.CurrentPreset())->name, "Lead") << "the new preset is current";
        }
    }
}

} // namespace
} // namespace qz::test
