// The preset manager dialog on real windows: each command with its questions, what
// reaches the store file on disk (only Save writes it), Save, Cancel and Esc, the
// context menu under the real pointer, the system's file dialogs for import and
// export, and choosing a preset with a double-click.
#include "PresetUiSupport.h"

#include "ControlsTestSupport.h"
#include "IniText.h"

namespace qz::test {
namespace {

constexpr int kAdd = 1501, kRename = 1502, kUpdate = 1503, kDelete = 1504, kImport = 1500, kExport = 1512;
constexpr int kCancelButton = 1514, kTreeId = 1510, kNameEdit = 1511, kBankBox = 1513;
const char kRootText[] = "Available qz:Multiband presets";

const std::vector<PresetFields> kStore = {Fields("Kick", "Drums", "1,1", 2), Fields("Snare", "drums", "2,2"),
                                          Fields("Pad", "Keys", "3,3"), Fields("Zed", "", "4,4")};
const std::vector<std::string> kStoreNames = {"/Zed", "Drums/Kick", "Keys/Pad", "drums/Snare"};

class PresetManagerDialogTest : public PresetUiTest {
protected:
    // The manager dialog, run while `driver` works it; its result.
    int RunManager(const std::function<void()>& driver)
    {
        return WhileDriving(driver, [&] { return manager->RunManagerDialog(); });
    }
    // Waits for the manager dialog; its tree in `tree`.
    HWND Dialog()
    {
        const HWND dialog = WaitForWindow(kManagerTitle);
        tree = GetDlgItem(dialog, kTreeId);
        return dialog;
    }
    void Select(const std::string& text)
    {
        const HTREEITEM item = FindTreeItem(tree, text);
        ASSERT_NE(item, nullptr) << text;
        TreeView_SelectItem(tree, item);
    }
    // Runs a command that opens a name dialog, types `name` there and confirms.
    void Name(HWND dialog, int command, const char* title, const std::string& name, const std::string& bank = "",
              const std::string& expectedStart = "")
    {
        PostMessageA(dialog, WM_COMMAND, command, 0);
        const HWND asking = WaitForWindow(title, dialog);
        ASSERT_NE(asking, nullptr) << title;
        char start[256] = "";
        GetDlgItemTextA(asking, kNameEdit, start, sizeof start);
        EXPECT_EQ(start, expectedStart) << title;
        SetDlgItemTextA(asking, kNameEdit, name.c_str());
        if (!bank.empty())
            SetDlgItemTextA(asking, kBankBox, bank.c_str());
        PostMessageA(asking, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntilGone(asking)) << title;
    }
    void RightClick(const std::string& text)
    {
        const HTREEITEM item = FindTreeItem(tree, text);
        ASSERT_NE(item, nullptr) << text;
        ASSERT_TRUE(Xdotool("mousemove " + ItemPoint(tree, item) + " click 3"));
    }

    HWND tree = nullptr;
};

// Every change goes to the list at once and to the store only with Save; Cancel
// forgets them all and leaves the store as it was.
TEST_F(PresetManagerDialogTest, ChangesReachTheStoreOnlyWithSave)
{
    struct Case {
        int closeWith;
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {IDOK, {"Drums/Kick", "Synths/Lead", "Synths/Pad", "drums/Snare 2"}},
        {kCancelButton, kStoreNames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.closeWith == IDOK ? "Save" : "Cancel");
        OpenStore(kStore);
        const std::string before = ReadText(StorePath());
        messages.answers = {IDYES, IDYES};
        const int result = RunManager([&] {
            const HWND dialog = Dialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(TreeLines(tree), (std::vector<std::string>{kRootText, "  Drums", "    Kick", "    Snare",
                                                                 "  Keys", "    Pad", "  Zed"}));
            const std::function<void()> steps[] = {
                [&] { Select("Kick"), SendMessageA(dialog, WM_COMMAND, kUpdate, 0); },
                [&] { Select("Snare"), Name(dialog, kRename, "Rename qz:Multiband preset", "Snare 2", "", "Snare"); },
                [&] { Select("Keys"), Name(dialog, kRename, "Rename qz:Multiband bank", "Synths", "", "Keys"); },
                [&] { Name(dialog, kAdd, "Add qz:Multiband preset", "Lead", "Synths"); },
                [&] { Select("Zed"), SendMessageA(dialog, WM_COMMAND, kDelete, 0); },
            };
            for (const auto& step : steps) {
                step();
                EXPECT_EQ(ReadText(StorePath()), before) << "the store waits for Save";
                EXPECT_TRUE(manager->Modified());
            }
            EXPECT_EQ(TreeLines(tree), (std::vector<std::string>{kRootText, "  Drums", "    Kick", "    Snare 2",
                                                                 "  Synths", "    Lead", "    Pad"}));
            SendMessageA(dialog, WM_COMMAND, c.closeWith, 0);
            EXPECT_TRUE(WaitUntilGone(dialog));
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(messages.texts(),
                  (std::vector<std::string>{
                      "Would you like to update the stored parameters for\nthe \"Kick\" preset with the current settings?",
                      "Do you want to delete the qz:Multiband preset \"Zed\"?"}));
        EXPECT_EQ(Sorted(StoredNames()), c.stored);
        if (c.closeWith == IDOK) {
            EXPECT_EQ(StoredPreset("Kick"), Fields("Kick", "Drums", PageData(), 3)) << "updated: version 3";
            EXPECT_EQ(StoredPreset("Lead"), Fields("Lead", "Synths", PageData(), 3));
        } else {
            EXPECT_EQ(ReadText(StorePath()), before);
            EXPECT_EQ(Sorted(Names(manager->Presets())), kStoreNames);
            EXPECT_EQ(manager->FindPreset(manager->Presets()[0].id)->data, "1,1");
        }
        messages.shown.clear();
    }
}

TEST_F(PresetManagerDialogTest, DeleteAsksBySelectionAndSaveWritesWhatIsLeft)
{
    struct Case {
        std::string selected;
        std::string question;
        std::vector<std::string> stored;  // after Yes
    };
    const Case cases[] = {
        {kRootText, "Are you sure you want to delete ALL the qz:Multiband banks and presets?", {}},
        {"Drums",
         "Do you want to delete the qz:Multiband preset bank \"Drums\"?\nAll presets contained in this bank will be "
         "lost.",
         {"/Zed", "Keys/Pad"}},
        {"Pad", "Do you want to delete the qz:Multiband preset \"Pad\"?", {"/Zed", "Drums/Kick", "drums/Snare"}},
    };
    for (const Case& c : cases)
        for (const int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(c.selected + (answer == IDYES ? ": Yes" : ": No"));
            OpenStore(kStore);
            messages.shown.clear();
            messages.answers = {answer};
            RunManager([&] {
                const HWND dialog = Dialog();
                Select(c.selected);
                SendMessageA(dialog, WM_COMMAND, kDelete, 0);
                EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, kDelete)) != FALSE, answer == IDNO || !c.stored.empty())
                    << "Delete stays enabled while presets are left";
                SendMessageA(dialog, WM_COMMAND, IDOK, 0);
            });
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_EQ(messages.shown[0].text, c.question);
            EXPECT_EQ(messages.shown[0].caption, kManagerTitle);
            EXPECT_EQ(messages.shown[0].type, UINT(MB_YESNO | MB_ICONQUESTION));
            EXPECT_EQ(Sorted(StoredNames()), answer == IDYES ? c.stored : kStoreNames);
        }
}

TEST_F(PresetManagerDialogTest, CancelRightAfterDeletingAllRestoresThem)
{
    OpenStore(kStore);
    const std::string before = ReadText(StorePath());
    messages.answers = {IDYES};
    RunManager([&] {
        const HWND dialog = Dialog();
        Select(kRootText);
        SendMessageA(dialog, WM_COMMAND, kDelete, 0);
        EXPECT_TRUE(manager->Presets().empty());
        SendMessageA(dialog, WM_COMMAND, kCancelButton, 0);
    });
    EXPECT_EQ(Sorted(Names(manager->Presets())), kStoreNames);
    EXPECT_EQ(ReadText(StorePath()), before);
    // What Cancel brought back is still what the store holds: saving changes nothing.
    ASSERT_EQ(manager->SavePresetFile(kTestClassKey, StorePath().c_str()), 1);
    EXPECT_EQ(Sorted(StoredNames()), kStoreNames);
}

// Esc and the close box ask before a change is lost; an update is a change too.
TEST_F(PresetManagerDialogTest, EscAsksBeforeLosingAChange)
{
    struct Case {
        const char* what;
        bool update;
        UINT closeMessage;  // WM_COMMAND IDCANCEL (Esc) or WM_CLOSE (the close box)
        int answer;         // 0: no question expected
        bool stillOpen;
        bool saved;
    };
    const Case cases[] = {
        {"nothing changed", false, WM_COMMAND, 0, false, false},
        {"updated, Yes", true, WM_COMMAND, IDYES, false, true},
        {"updated, No", true, WM_COMMAND, IDNO, false, false},
        {"updated, Cancel", true, WM_COMMAND, IDCANCEL, true, false},
        {"updated, close box, Yes", true, WM_CLOSE, IDYES, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenStore(kStore);
        const std::string before = ReadText(StorePath());
        messages.shown.clear();
        messages.answers = {IDYES, c.answer};
        RunManager([&] {
            const HWND dialog = Dialog();
            if (c.update) {
                Select("Kick");
                SendMessageA(dialog, WM_COMMAND, kUpdate, 0);
            }
            if (c.closeMessage == WM_CLOSE)
                SendMessageA(dialog, WM_CLOSE, 0, 0);
            else
                SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            if (c.stillOpen) {
                EXPECT_TRUE(IsWindowVisible(dialog));
                SendMessageA(dialog, WM_COMMAND, kCancelButton, 0);
            }
            EXPECT_TRUE(WaitUntilGone(dialog));
        });
        const std::vector<std::string> asked = messages.texts();
        ASSERT_EQ(asked.size(), (c.update ? 1u : 0u) + (c.answer != 0 ? 1u : 0u));
        if (c.answer != 0) {
            EXPECT_EQ(asked.back(), "Save changes before exiting the Preset Manager?");
            EXPECT_EQ(messages.shown.back().type, UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
        }
        if (c.saved) {
            EXPECT_EQ(StoredPreset("Kick"), Fields("Kick", "Drums", PageData(), 3));
        } else {
            EXPECT_EQ(ReadText(StorePath()), before);
            EXPECT_EQ(manager->Presets()[0].data, "1,1") << "the update is undone";
        }
    }
}

// A double-click on a preset chooses it: the page gets its data.
TEST_F(PresetManagerDialogTest, ADoubleClickChoosesAPreset)
{
    struct Case {
        const char* what;
        bool deleteFirst;
        int answer;
        const char* applied;  // nullptr: nothing chosen
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {"unchanged", false, 0, "3,3", kStoreNames},
        {"after a delete, saved", true, IDYES, "3,3", {"Drums/Kick", "Keys/Pad", "drums/Snare"}},
        {"after a delete, not saved", true, IDNO, "3,3", kStoreNames},
        {"after a delete, stay; then Cancel", true, IDCANCEL, nullptr, kStoreNames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenStore(kStore);
        messages.answers = {IDYES, c.answer};
        int version = 0;
        const char* applied = nullptr;
        WhileDriving(
            [&] {
                const HWND dialog = Dialog();
                if (c.deleteFirst)
                    Select("Zed"), SendMessageA(dialog, WM_COMMAND, kDelete, 0);
                Select("Keys");
                TreeView_Expand(tree, FindTreeItem(tree, "Keys"), TVE_EXPAND);
                EXPECT_TRUE(Xdotool("mousemove " + ItemPoint(tree, FindTreeItem(tree, "Pad")) + " click --repeat 2 1"));
                if (c.applied == nullptr) {
                    EXPECT_TRUE(WaitFor([&] { return manager->Modified() && messages.shown.size() == 2; }));
                    EXPECT_TRUE(IsWindowVisible(dialog));
                    SendMessageA(dialog, WM_COMMAND, kCancelButton, 0);
                }
                EXPECT_TRUE(WaitUntilGone(dialog));
            },
            [&] {
                applied = manager->AnswerPresetMenu(PresetManager::kManagerCommand, &version);
                return 0;
            });
        if (c.applied != nullptr) {
            ASSERT_NE(applied, nullptr);
            EXPECT_EQ(std::string(applied), c.applied);
            EXPECT_EQ(manager->FindPreset(manager->CurrentPreset())->name, "Pad");
        } else {
            EXPECT_EQ(applied, nullptr);
        }
        EXPECT_EQ(Sorted(StoredNames()), c.stored);
        messages.shown.clear();
    }
}

// A store that cannot be written keeps the dialog open with its changes.
TEST_F(PresetManagerDialogTest, AFailedSaveKeepsTheDialogOpenAndModified)
{
    CreateDirectoryA(Path("folder.ini").c_str(), nullptr);
    manager = &NewManager(page->window);
    manager->OpenPresetStore(Path("folder.ini").c_str(), kTestClassKey, kStoreName);
    manager->AddPreset("Kept", "", "1");
    messages.answers = {IDYES, IDYES, IDNO};
    RunManager([&] {
        const HWND dialog = Dialog();
        Select("Kept");
        SendMessageA(dialog, WM_COMMAND, kUpdate, 0);
        for (const int close : {IDOK, IDCANCEL}) {  // Save; Esc answered Yes
            SendMessageA(dialog, WM_COMMAND, close, 0);
            EXPECT_TRUE(IsWindowVisible(dialog)) << close;
            EXPECT_TRUE(manager->Modified()) << close;
        }
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // answered No
        EXPECT_TRUE(WaitUntilGone(dialog));
    });
    const std::string quoted = "\"" + Path("folder.ini") + "\"";
    const std::string failure =
        "Unable to write the preset file\n" + quoted + "\nIt cannot be read: it is a folder.\nThe presets were not saved.";
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{
                  "The preset file\n" + quoted + "\ncannot be read: it is a folder.",
                  "Would you like to update the stored parameters for\nthe \"Kept\" preset with the current settings?",
                  failure, "Save changes before exiting the Preset Manager?", failure,
                  "Save changes before exiting the Preset Manager?"}));
    EXPECT_EQ(manager->Presets()[0].data, "1") << "No puts the list back";
}

// A backup that runs out of memory leaves nothing to cancel with: Cancel is disabled
// and the list the user sees stays, never replaced by an older or partial one.
TEST_F(PresetManagerDialogTest, WithoutABackupNothingIsCancelled)
{
    OpenStore({Fields("Old", "")});
    RunManager([&] { SendMessageA(Dialog(), WM_COMMAND, kCancelButton, 0); });  // a backup of one preset
    for (int i = 0; i < 1000; ++i)
        manager->AddPreset("Preset " + std::to_string(i), "Many", "1");
    const std::vector<std::string> names = Names(manager->Presets());
    messages.shown.clear();
    messages.answers = {IDYES, IDCANCEL};
    FailAllocationsFrom(64 * 1024);
    RunManager([&] {
        const HWND dialog = Dialog();
        FailAllocationsFrom(0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kCancelButton)));
        Select("Old");
        SendMessageA(dialog, WM_COMMAND, kDelete, 0);
        SendMessageA(dialog, WM_COMMAND, kCancelButton, 0);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // Esc, answered Cancel
        EXPECT_TRUE(IsWindowVisible(dialog));
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntilGone(dialog));
    });
    FailAllocationsFrom(0);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "Failed to create backup preset list, changes can not be cancelled!");
    EXPECT_EQ(messages.shown[2].type, UINT(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(StoredNames().size(), names.size() - 1);
    EXPECT_EQ(Names(manager->Presets()).size(), names.size() - 1);
}

// Between the tree's own procedure and the window, the dialog's subclass hands
// WM_DESTROY on: the tree frees what it holds.
WNDPROC g_treeProcedure = nullptr;
int g_treeDestroyed = 0;

LRESULT CALLBACK CountingTreeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        ++g_treeDestroyed;
    return CallWindowProcA(g_treeProcedure, window, message, wParam, lParam);
}

TEST_F(PresetManagerDialogTest, TheTreeGetsItsDestroyMessage)
{
    // A tree class of this program's own, found before the system's, counts what the
    // tree's procedure receives.
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    WNDCLASSEXA treeClass{};
    treeClass.cbSize = sizeof treeClass;
    ASSERT_TRUE(GetClassInfoExA(nullptr, WC_TREEVIEWA, &treeClass));
    g_treeProcedure = treeClass.lpfnWndProc;
    treeClass.lpfnWndProc = CountingTreeProcedure;
    treeClass.hInstance = GetModuleHandleA(nullptr);
    treeClass.style &= ~CS_GLOBALCLASS;
    ASSERT_NE(RegisterClassExA(&treeClass), 0);
    OpenStore(kStore);
    HWND dialogTree = nullptr;
    RunManager([&] {
        const HWND dialog = Dialog();
        dialogTree = tree;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    UnregisterClassA(WC_TREEVIEWA, GetModuleHandleA(nullptr));
    EXPECT_NE(dialogTree, nullptr);
    EXPECT_FALSE(IsWindow(dialogTree));
    EXPECT_EQ(g_treeDestroyed, 1);
}

// The context menu under the real pointer. Move items have ids of their own: a bank
// whose first preset has the id of "to Root" is still a bank.
TEST_F(PresetManagerDialogTest, TheContextMenuMovesPresets)
{
    OpenStore({Fields("Zed", "")});
    // Ids up to 4999 fill the list, then go but the last: Far gets 5000, Mine 5001.
    for (int i = 0; i < 1498; ++i)
        manager->AddPreset("Filler", "Filler", "1");
    while (manager->Presets().size() > 2)
        manager->DeletePreset(manager->Presets()[1].id);
    ASSERT_EQ(manager->AddPreset("Far", "Far", "2"), 5000);
    ASSERT_EQ(manager->AddPreset("Mine", "Here", "3"), 5001);
    ASSERT_EQ(manager->SavePresetFile(kTestClassKey, StorePath().c_str()), 1);
    std::vector<std::string> rootMenu, presetMenu;
    RunManager([&] {
        const HWND dialog = Dialog();
        // A root preset: nothing to take it to the root.
        RightClick("Zed");
        HMENU menu = WaitForPopupMenu();
        ASSERT_NE(menu, nullptr);
        rootMenu = MenuLines(menu);
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(menu, 0) + " key Escape"));
        EXPECT_TRUE(WaitFor([] { return WaitForPopupMenu() == nullptr; }));

        RightClick("Mine");
        menu = WaitForPopupMenu();
        ASSERT_NE(menu, nullptr);
        presetMenu = MenuLines(menu);
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(menu, 5)));
        const HMENU move = WaitForPopupMenu(1);
        ASSERT_EQ(move, GetSubMenu(menu, 5));
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(move, 3) + " click 1"));
        EXPECT_TRUE(WaitFor([&] { return manager->FindPreset(5001)->bank == "Far"; }));
        // The menu's commands are the buttons': Update asks about the selected preset.
        RightClick("Mine");
        menu = WaitForPopupMenu();
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(menu, 1) + " click 1"));
        EXPECT_TRUE(WaitFor([&] { return messages.shown.size() == 1; }));
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(rootMenu, (std::vector<std::string>{"Add...", "Update...", "Rename...", "Delete", "-", "Move Preset>",
                                                  "  to New Bank...", "  -", "  Far", "  Filler", "  Here"}));
    EXPECT_EQ(presetMenu, (std::vector<std::string>{"Add...", "Update...", "Rename...", "Delete", "-", "Move Preset>",
                                                    "  to Root", "  to New Bank...", "  -", "  Far", "  Filler"}));
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0],
              "Would you like to update the stored parameters for\nthe \"Mine\" preset with the current settings?");
    EXPECT_EQ(Sorted(StoredNames()), (std::vector<std::string>{"/Zed", "Far/Far", "Far/Mine", "Filler/Filler"}));
}

TEST_F(PresetManagerDialogTest, MoveToANewBankAsksForItsName)
{
    OpenStore(kStore);
    messages.shown.clear();
    RunManager([&] {
        const HWND dialog = Dialog();
        RightClick("Zed");
        const HMENU menu = WaitForPopupMenu();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(menu, 5)));
        const HMENU move = WaitForPopupMenu(1);
        ASSERT_NE(move, nullptr);
        ASSERT_TRUE(Xdotool("mousemove " + MenuItemPoint(move, 0) + " click 1"));
        const HWND asking = WaitForWindow("Move preset \"Zed\" to new bank", dialog);
        ASSERT_NE(asking, nullptr);
        PostMessageA(asking, WM_COMMAND, IDOK, 0);  // no name: refused, the dialog stays
        EXPECT_TRUE(WaitFor([&] { return messages.shown.size() == 1; }));
        EXPECT_TRUE(IsWindowVisible(asking));
        SetDlgItemTextA(asking, kBankBox, "Ambient");
        PostMessageA(asking, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntilGone(asking));
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"Unable to move preset to new bank because no bank name was specified."});
    EXPECT_EQ(Sorted(StoredNames()), (std::vector<std::string>{"Ambient/Zed", "Drums/Kick", "Keys/Pad", "drums/Snare"}));
}

// Export and import through the system's file dialogs, confirmed with the pointer.
TEST_F(PresetManagerDialogTest, ExportAndImportThroughTheFileDialogs)
{
    OpenStore(kStore);
    messages.shown.clear();
    messages.answers = {IDNO, IDYES};  // the duplicates Kick (not again), Snare (again)
    std::string proposed;
    RunManager([&] {
        const HWND dialog = Dialog();
        Select("Drums");
        PostMessageA(dialog, WM_COMMAND, kExport, 0);
        const auto answerFileDialog = [&](const char* title, const std::string& path, std::string* proposal) {
            const HWND files = WaitForWindow(title, dialog);
            ASSERT_NE(files, nullptr) << title;
            const HWND nameBox = GetDlgItem(files, 0x47c);  // the file name box
            char text[MAX_PATH] = "";
            GetWindowTextA(nameBox, text, sizeof text);
            if (proposal != nullptr)
                *proposal = text;
            SetWindowTextA(nameBox, path.c_str());
            ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(GetDlgItem(files, IDOK), 10, 8) + " click 1"));
            EXPECT_TRUE(WaitUntilGone(files)) << title;
        };
        answerFileDialog("Export preset bank", Path("drums export.ini"), &proposed);
        // The exported bank comes back in: the list then holds each of them twice.
        Select(kRootText);
        PostMessageA(dialog, WM_COMMAND, kImport, 0);
        answerFileDialog("Import Preset(s)", Path("drums export.ini"), nullptr);
        EXPECT_TRUE(WaitFor([&] { return manager->Presets().size() == 5; }));
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(proposed, "Drums.ini");
    const std::vector<PresetSection> exported = ReadPresetSections(IniText(ReadText(Path("drums export.ini"))));
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(exported[0].fields, Fields("Kick", "Drums", "1,1", 2));
    EXPECT_EQ(exported[1].fields, Fields("Snare", "drums", "2,2"));
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{
                  "The preset \"Kick\" you are importing already exists in the qz:Multiband preset list.\nDo you want "
                  "to add it anyway?",
                  "The preset \"Snare\" you are importing already exists in the qz:Multiband preset list.\nDo you want "
                  "to add it anyway?"}));
    EXPECT_EQ(Sorted(StoredNames()), (std::vector<std::string>{"/Zed", "Drums/Kick", "Keys/Pad", "drums/Snare",
                                                               "drums/Snare"}));
}

// The real question boxes, answered with the real keys: Delete in the tree asks about
// the selected preset, Esc asks about saving.
TEST_F(PresetManagerDialogTest, RealQuestionsAnsweredWithKeys)
{
    OpenStore(kStore);
    manager->SetMessageBox([](HWND owner, const std::string& text, const std::string& caption, UINT type) {
        return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
    });
    std::vector<std::string> questions;
    const auto answer = [&](HWND dialog, const char* keys) {
        const HWND box = WaitForWindow(kManagerTitle, dialog);
        ASSERT_NE(box, nullptr);
        char text[512] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        questions.push_back(text);
        ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(box, 4, 4) + " key " + keys));
        EXPECT_TRUE(WaitUntilGone(box));
    };
    RunManager([&] {
        const HWND dialog = Dialog();
        TreeView_Expand(tree, FindTreeItem(tree, "Keys"), TVE_EXPAND);
        ASSERT_TRUE(Xdotool("mousemove " + ItemPoint(tree, FindTreeItem(tree, "Pad")) + " click 1 key Delete"));
        answer(dialog, "Return");  // Yes
        ASSERT_TRUE(Xdotool("mousemove " + ItemPoint(tree, FindTreeItem(tree, "Zed")) + " key Escape"));
        answer(dialog, "Return");  // Yes: save
        EXPECT_TRUE(WaitUntilGone(dialog));
    });
    EXPECT_EQ(questions, (std::vector<std::string>{"Do you want to delete the qz:Multiband preset \"Pad\"?",
                                                   "Save changes before exiting the Preset Manager?"}));
    EXPECT_EQ(Sorted(StoredNames()), (std::vector<std::string>{"/Zed", "Drums/Kick", "drums/Snare"}));
}

} // namespace
} // namespace qz::test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
