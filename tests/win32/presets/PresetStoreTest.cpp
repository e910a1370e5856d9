// The preset manager with the system's private-profile functions, the real registry
// and real files: finding, loading and saving the store, two editors on one store,
// checked writes, import and export.
#include "PresetTestSupport.h"

namespace qz::test {
namespace {

const std::string kForeignKey = "SOFTWARE\\Classes\\CLSID\\{00000000-1111-2222-3333-444444444444}";

void SetRegistryText(const char* valueName, const std::string& bytes, const std::string& subkey = "")
{
    HKEY key;
    const std::string path = std::string(kTestClassKey) + subkey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // Exactly these bytes: a test may leave out the terminator.
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

std::string Terminated(const std::string& text) { return text + '\0'; }

using PresetStoreTest = PresetFilesTest;

TEST_F(PresetStoreTest, TheStoreIsFoundBesideTheModuleOrInPluginPath)
{
    const std::string longFolder = "C:\\" + std::string(245, 'x');
    struct Case {
        const char* what;
        std::string server;      // InProcserver32 bytes; empty: not set
        std::string pluginPath;  // PluginPath bytes; empty: not set
        std::string storePath;
        const char* says;  // in the message; nullptr: no message
    };
    const Case cases[] = {
        {"beside the module", Terminated(Path("qzMultibandDX.dll")), "", Path(kStoreName), nullptr},
        {"the module's name in any case", Terminated(Path("QZMULTIBANDDX.DLL")), "", Path(kStoreName), nullptr},
        {"not a dll", Terminated(Path("host.exe")), "", "", nullptr},
        {"PluginPath first", Terminated(Path("qzMultibandDX.dll")), Terminated("D:\\presets"),
         "D:\\presets\\qzMultibandDX.ini", nullptr},
        {"PluginPath ending in a backslash", "", Terminated("D:\\presets\\"), "D:\\presets\\qzMultibandDX.ini", nullptr},
        {"PluginPath stored without its terminator", "", "D:\\presets", "D:\\presets\\qzMultibandDX.ini", nullptr},
        {"PluginPath too long for the file name", "", Terminated(longFolder), "", "its path is too long"},
        {"PluginPath without terminator filling the buffer", "", std::string(MAX_PATH, 'p'), "", "too long"},
        {"PluginPath longer than the buffer", "", Terminated(std::string(400, 'p')), "", "too long"},
        {"nothing registered", "", "", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestClassKey);
        if (!c.server.empty())
            SetRegistryText(nullptr, c.server, "\\InProcserver32");
        if (!c.pluginPath.empty())
            SetRegistryText("PluginPath", c.pluginPath);
        messages.shown.clear();
        PresetManager& manager = NewManager();
        EXPECT_EQ(manager.OpenPresetStore(nullptr, kTestClassKey, kStoreName), -1);
        EXPECT_EQ(manager.StorePath(), c.storePath);
        ASSERT_EQ(messages.shown.size(), c.says != nullptr ? 1u : 0u);
        if (c.says != nullptr) {
            EXPECT_NE(messages.shown[0].text.find(c.says), std::string::npos) << messages.shown[0].text;
            EXPECT_EQ(messages.shown[0].caption, kManagerTitle);
            EXPECT_EQ(messages.shown[0].type, UINT(MB_OK | MB_ICONHAND));
        }
    }
}

TEST_F(PresetStoreTest, PluginPathMovesTheStore)
{
    CreateDirectoryA(Path("moved").c_str(), nullptr);
    WriteText(Path("moved\\qzMultibandDX.ini"), StoreText(kTestClassKey, {Fields("Moved", "")}));
    WriteText(Path(kStoreName), StoreText(kTestClassKey, {Fields("Beside", "")}));
    SetRegistryText(nullptr, Terminated(Path("qzMultibandDX.dll")), "\\InProcserver32");
    PresetManager& beside = NewManager();
    beside.OpenPresetStore(nullptr, kTestClassKey, kStoreName);
    EXPECT_EQ(Names(beside.Presets()), std::vector<std::string>{"/Beside"});

    SetRegistryText("PluginPath", Terminated(Path("moved")));
    PresetManager& moved = NewManager();
    moved.OpenPresetStore(nullptr, kTestClassKey, kStoreName);
    EXPECT_EQ(Names(moved.Presets()), std::vector<std::string>{"/Moved"});
    moved.AddPreset("New", "", "0");
    EXPECT_EQ(moved.SavePresetFile(kTestClassKey, moved.StorePath().c_str()), 1);
    EXPECT_EQ(ProfileValue(Path("moved\\qzMultibandDX.ini"), "Preset2", "Name"), "New");
    EXPECT_EQ(ProfileValue(Path(kStoreName), "Preset2", "Name"), "<missing>");
}

TEST_F(PresetStoreTest, SavedPresetsLoadBackSorted)
{
    const std::string store = Path(kStoreName);
    PresetManager& writer = NewManager();
    writer.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_TRUE(writer.Presets().empty()) << "no file yet";
    EXPECT_EQ(writer.AddPreset("Zed", "", "1,0,0"), 3501);
    EXPECT_EQ(writer.AddPreset("b1", "beta", "2"), 3502);
    EXPECT_EQ(writer.AddPreset("a1", "Alpha", "3"), 3503);
    EXPECT_EQ(writer.CurrentPreset(), 3503) << "an added preset becomes the current one";
    EXPECT_EQ(writer.AddPreset("", "Alpha", "3"), 0) << "a preset needs a name";
    ASSERT_EQ(writer.SavePresetFile(kTestClassKey, store.c_str()), 1);

    EXPECT_EQ(ProfileValue(store, "Plug-in", "PluginName"), kPluginName);
    EXPECT_EQ(ProfileValue(store, "Plug-in", "CLSID"), kTestClassKey);
    EXPECT_EQ(ProfileValue(store, "Plug-in", "DefaultPreset"), "1");
    EXPECT_EQ(ProfileValue(store, "Preset1", "Name"), "Zed") << "written in list order";
    EXPECT_EQ(ProfileValue(store, "Preset1", "Bank"), "");
    EXPECT_EQ(ProfileValue(store, "Preset1", "Version"), "3");
    EXPECT_EQ(ProfileValue(store, "Preset3", "Data"), "3");
    EXPECT_NE(ReadText(store).find("Bank=\r\n"), std::string::npos) << "an empty bank is written as an empty key";

    PresetManager& reader = NewManager();
    reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(reader.Presets()), (std::vector<std::string>{"Alpha/a1", "beta/b1", "/Zed"}));
    EXPECT_EQ(reader.Presets()[2].data, "1,0,0");
    EXPECT_EQ(reader.Presets()[0].id, 3503) << "ids follow the file's order, then the list is sorted";
    EXPECT_TRUE(messages.shown.empty());
}

// Sections the store cannot use as presets are skipped and kept; the list goes on.
TEST_F(PresetStoreTest, EveryCompletePresetLoadsAndNothingIsLostOnSave)
{
    const std::string store = Path(kStoreName);
    WriteText(store, "[Plug-in]\nCLSID=" + std::string(kTestClassKey) +
                         "\n[Preset1]\nVersion=3\nName=One\nBank=B\nData=1\nComment=from a later version\n"
                         "[Preset2]\nVersion=2\nName=Two\nBank=B\nData=2\n"
                         "[Preset3]\nVersion=3\nName=Three\nBank=B\n"       // no Data
                         "[Preset4]\nVersion=3\nName=Four\nBank=B\nData=4\n"
                         "[Preset5]\nVersion=3\nName=Root\nData=5\n"         // no Bank
                         "[Preset6]\nVersion=3\nName=KEY_NOT_FOUND\nBank=\nData=6\n");
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(manager.Presets()),
              (std::vector<std::string>{"B/Four", "B/One", "B/Two", "/KEY_NOT_FOUND", "/Root"}));
    EXPECT_EQ(manager.Presets()[2].version, 2);

    manager.AddPreset("Added", "B", "7");
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    PresetManager& again = NewManager();
    again.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(again.Presets()),
              (std::vector<std::string>{"B/Added", "B/Four", "B/One", "B/Two", "/KEY_NOT_FOUND", "/Root"}));
    EXPECT_EQ(again.Presets()[3].version, 2) << "a preset keeps the version it was read with";
    EXPECT_EQ(ProfileValue(store, "Preset3", "Name"), "Three") << "the section without data is kept";
    EXPECT_EQ(ProfileValue(store, "Preset3", "Data"), "<missing>");
    EXPECT_EQ(ProfileValue(store, "Preset1", "Comment"), "from a later version") << "untouched sections stay as they are";
    EXPECT_EQ(ProfileValue(store, "Preset7", "Name"), "Added");
}

TEST_F(PresetStoreTest, SavingAfterDeletingLeavesNoStaleSections)
{
    const std::string store = Path(kStoreName);
    std::vector<PresetFields> six;
    for (int i = 1; i <= 6; ++i)
        six.push_back(Fields("P" + std::to_string(i), ""));
    WriteText(store, StoreText(kTestClassKey, six) + "[Other]\nKept=yes\n");
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    ASSERT_EQ(manager.Presets().size(), 6u);
    for (int deleted : {5, 3, 2, 0})  // P6, P4, P3, P1
        EXPECT_TRUE(manager.DeletePreset(manager.Presets()[deleted].id));
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    for (int n = 3; n <= 6; ++n)
        EXPECT_EQ(ProfileValue(store, ("Preset" + std::to_string(n)).c_str(), "Version"), "<missing>") << n;
    PresetManager& again = NewManager();
    again.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(again.Presets()), (std::vector<std::string>{"/P2", "/P5"}));
    EXPECT_EQ(ProfileValue(store, "Other", "Kept"), "yes") << "other sections stay";
}

// Two editors on one store: each save applies its own changes to what the other wrote.
TEST_F(PresetStoreTest, TwoEditorsKeepEachOthersChanges)
{
    const std::string store = Path(kStoreName);
    WriteText(store, StoreText(kTestClassKey, {Fields("P1", ""), Fields("P2", ""), Fields("P3", "")}));
    PresetManager& a = NewManager();
    PresetManager& b = NewManager();
    a.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    b.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);

    a.AddPreset("From A", "Mine", "7");
    ASSERT_EQ(a.SavePresetFile(kTestClassKey, store.c_str()), 1);
    b.DeletePreset(b.Presets()[1].id);                 // P2
    b.RenamePreset(b.Presets()[1].id, "P3 renamed");  // P3
    ASSERT_EQ(b.SavePresetFile(kTestClassKey, store.c_str()), 1);

    PresetManager& disk = NewManager();
    disk.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(disk.Presets()), (std::vector<std::string>{"Mine/From A", "/P1", "/P3 renamed"}));
    EXPECT_EQ(Names(b.Presets()), (std::vector<std::string>{"/P1", "/P3 renamed", "Mine/From A"}))
        << "a save takes in the other editor's presets";

    // A still holds P2 and the old P3, unchanged: B's deletion and rename stand.
    ASSERT_EQ(Names(a.Presets())[0], "/P1");
    a.UpdatePreset(a.Presets()[0].id, "9,9", true);
    ASSERT_EQ(a.SavePresetFile(kTestClassKey, store.c_str()), 1);
    PresetManager& after = NewManager();
    after.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(after.Presets()), (std::vector<std::string>{"Mine/From A", "/P1", "/P3 renamed"}));
    EXPECT_EQ(after.Presets()[1].data, "9,9");
    a.SortPresets();
    EXPECT_EQ(Names(a.Presets()), Names(after.Presets()));

    // A preset one editor changed while the other deleted it survives.
    b.UpdatePreset(b.Presets()[1].id, "changed in B", false);  // P3 renamed
    after.DeletePreset(after.Presets()[2].id);
    ASSERT_EQ(after.SavePresetFile(kTestClassKey, store.c_str()), 1);
    ASSERT_EQ(b.SavePresetFile(kTestClassKey, store.c_str()), 1);
    PresetManager& last = NewManager();
    last.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(last.Presets()), (std::vector<std::string>{"Mine/From A", "/P1", "/P3 renamed"}));
    EXPECT_EQ(last.Presets()[2].data, "changed in B");
    EXPECT_EQ(last.Presets()[1].data, "9,9") << "B's unchanged copy of P1 does not undo A's update";
}

TEST_F(PresetStoreTest, AStoreThatIsNotOursIsRewrittenOnlyWhenTheUserAgrees)
{
    struct Case {
        const char* what;
        std::string identity;
        std::vector<std::string> openMessages;
    };
    const std::string store = Path(kStoreName);
    const Case cases[] = {
        {"another plug-in's store", kForeignKey,
         {"No presets could be loaded because the preset file\n\"" + store +
          "\"\ndoes not contain preset data compatible with this plug-in."}},
        {"a store without identity", "", {}},
    };
    const std::string question =
        "The preset file\n\"" + store + "\"\ndoes not contain presets of this plug-in.\nDo you want to replace its presets with yours?";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string original = StoreText(c.identity, {Fields("Theirs", "")});
        WriteText(store, original);
        messages.shown.clear();
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
        EXPECT_TRUE(manager.Presets().empty());
        EXPECT_EQ(messages.texts(), c.openMessages);

        manager.AddPreset("Mine", "", "1");
        messages.shown.clear();
        messages.answers = {IDNO};
        EXPECT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 0);
        EXPECT_EQ(messages.texts(), std::vector<std::string>{question});
        EXPECT_EQ(messages.shown[0].type, UINT(MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(ReadText(store), original) << "untouched after No";

        messages.answers = {IDYES};
        EXPECT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
        EXPECT_EQ(ProfileValue(store, "Plug-in", "CLSID"), kTestClassKey);
        EXPECT_EQ(ProfileValue(store, "Preset1", "Name"), "Mine");
        EXPECT_EQ(ProfileValue(store, "Preset2", "Name"), "<missing>");
    }
    // A store that does not exist yet is simply written.
    DeleteFileA(store.c_str());
    messages.shown.clear();
    PresetManager& fresh = NewManager();
    fresh.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    fresh.AddPreset("First", "", "1");
    EXPECT_EQ(fresh.SavePresetFile(kTestClassKey, store.c_str()), 1);
    EXPECT_TRUE(messages.shown.empty());
}

// Each failure is one message that names the file and says why; the store as a
// save, and another file as an export.
TEST_F(PresetStoreTest, AFailedWriteIsShownWithItsPathAndAnsweredWithZero)
{
    CreateDirectoryA(Path("a folder.ini").c_str(), nullptr);
    struct Case {
        const char* what;
        std::string path;
        std::string why;  // in the message's middle line
    };
    const Case cases[] = {
        {"a folder", Path("a folder.ini"), "it is a folder"},
        {"a missing folder", Path("missing\\x.ini"), "not found"},
        {"a device name", Path("aux.ini"), "it is a device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PresetManager& store = NewManager();
        store.OpenPresetStore(c.path.c_str(), kTestClassKey, kStoreName);
        store.AddPreset("Kept", "Bank", "1");
        PresetManager& exporter = NewManager();
        exporter.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
        const int id = exporter.AddPreset("Kept", "Bank", "1");
        messages.shown.clear();
        EXPECT_EQ(store.SavePresetFile(kTestClassKey, c.path.c_str()), 0) << "the store";
        EXPECT_EQ(exporter.ExportPresets(kTestClassKey, c.path.c_str(), {PresetSelection::Bank, "Bank"}), 0);
        EXPECT_EQ(exporter.ExportPresets(kTestClassKey, c.path.c_str(), {PresetSelection::Preset, "", id}), 0);
        ASSERT_EQ(messages.shown.size(), 3u);
        for (const ShownMessage& shown : messages.shown) {
            EXPECT_EQ(shown.text.rfind("Unable to write the preset file\n\"" + c.path + "\"\n", 0), 0u) << shown.text;
            EXPECT_NE(shown.text.find(c.why), std::string::npos) << shown.text;
            EXPECT_EQ(shown.text.rfind(c.path), shown.text.find(c.path)) << "the path once: " << shown.text;
            EXPECT_EQ(shown.text.substr(shown.text.rfind('\n')), "\nThe presets were not saved.");
            EXPECT_EQ(shown.type, UINT(MB_OK | MB_ICONHAND));
        }
        EXPECT_EQ(store.Presets().size(), 1u) << "nothing is lost in memory";
        EXPECT_EQ(GetFileAttributesA(Path(kStoreName).c_str()), INVALID_FILE_ATTRIBUTES) << "an export is not a save";
    }
    messages.shown.clear();
    PresetManager& nowhere = NewManager();
    nowhere.AddPreset("Kept", "", "1");
    EXPECT_EQ(nowhere.SavePresetFile(kTestClassKey, ""), 0);
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"The presets could not be saved because the preset file has no path."});
}

TEST_F(PresetStoreTest, ImportChecksTheFileAndAsksAboutEachDuplicate)
{
    const std::string file = Path("shared.ini");
    WriteText(file, StoreText(kTestClassKey, {Fields("Kick", "Drums", "1"), Fields("Pad", "", "2")}));
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(manager.ImportPresetFile(file.c_str()), 1);
    EXPECT_EQ(Names(manager.Presets()), (std::vector<std::string>{"Drums/Kick", "/Pad"}));
    EXPECT_TRUE(messages.shown.empty());

    messages.answers = {IDYES, IDNO};
    EXPECT_EQ(manager.ImportPresetFile(file.c_str()), 1);
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{
                  "The preset \"Kick\" you are importing already exists in the qz:Multiband preset list.\nDo you want "
                  "to add it anyway?",
                  "The preset \"Pad\" you are importing already exists in the qz:Multiband preset list.\nDo you want "
                  "to add it anyway?"}));
    EXPECT_EQ(messages.shown[0].type, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(messages.shown[0].caption, kManagerTitle);
    EXPECT_EQ(Names(manager.Presets()), (std::vector<std::string>{"Drums/Kick", "/Pad", "Drums/Kick"}));
    messages.answers = {IDNO, IDNO};
    EXPECT_EQ(manager.ImportPresetFile(file.c_str()), 0) << "nothing added";

    // Imported presets reach the store with the next save.
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, Path(kStoreName).c_str()), 1);
    EXPECT_EQ(ProfileValue(Path(kStoreName), "Preset3", "Name"), "Kick");
}

TEST_F(PresetStoreTest, ImportRefusesFilesThatHoldNoPresetsOfThisPlugIn)
{
    struct Case {
        const char* what;
        std::string text;
        std::string says;  // empty: no message
    };
    const Case cases[] = {
        {"no identity", StoreText("", {Fields("A", "")}),
         "The file you selected does not contain Quorvex Tavelin:qz plug-in preset data."},
        {"another plug-in", StoreText(kForeignKey, {Fields("A", "")}),
         "The preset file you are trying to import does not contain data for this plug-in."},
        {"ours without presets", StoreText(kTestClassKey, {}) + "[Preset1]\nVersion=3\nName=No data\n",
         "The preset file\n\"" + Path("import.ini") + "\"\ndoes not contain any presets."},
        {"no file", "", "The file you selected does not contain Quorvex Tavelin:qz plug-in preset data."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(Path("import.ini").c_str());
        if (!c.text.empty())
            WriteText(Path("import.ini"), c.text);
        messages.shown.clear();
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
        EXPECT_EQ(manager.ImportPresetFile(Path("import.ini").c_str()), 0);
        EXPECT_TRUE(manager.Presets().empty());
        EXPECT_EQ(messages.texts(), std::vector<std::string>{c.says});
        EXPECT_EQ(messages.shown[0].type, UINT(MB_OK | MB_ICONHAND));
    }
    messages.shown.clear();
    PresetManager& manager = NewManager();
    EXPECT_EQ(manager.ImportPresetFile(""), 0);
    manager.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(manager.ImportPresetFile(""), 0);
    EXPECT_TRUE(messages.shown.empty()) << "no path, or no class key: 0 without a message";
}

TEST_F(PresetStoreTest, ExportWritesTheSelectionOverTheFilesPresets)
{
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
    manager.AddPreset("Kick", "Drums", "1");
    manager.AddPreset("Keys", "Keys", "2");
    const int snare = manager.AddPreset("Snare", "drums", "3");
    manager.AddPreset("Pad", "", "4");

    std::string bankFile = "Drums", allFile = kPluginName;
    SanitizeFileName(bankFile);
    SanitizeFileName(allFile);
    EXPECT_EQ(bankFile + ".ini", "Drums.ini");
    EXPECT_EQ(allFile + ".ini", "qz_Multiband.ini");

    // An existing file with more presets than the export and a section of its own.
    std::vector<PresetFields> old(5, Fields("Old", "Old"));
    WriteText(Path(bankFile + ".ini"), StoreText(kForeignKey, old) + "[Notes]\nKept=yes\n");
    ASSERT_EQ(manager.ExportPresets(kTestClassKey, Path("Drums.ini").c_str(), {PresetSelection::Bank, "DRUMS"}), 1);
    const std::string drums = Path("Drums.ini");
    EXPECT_EQ(ProfileValue(drums, "Plug-in", "CLSID"), kTestClassKey);
    EXPECT_EQ(ProfileValue(drums, "Plug-in", "PluginName"), kPluginName);
    EXPECT_EQ(ProfileValue(drums, "Plug-in", "DefaultPreset"), "<missing>");
    EXPECT_EQ(ProfileValue(drums, "Preset1", "Name"), "Kick");
    EXPECT_EQ(ProfileValue(drums, "Preset2", "Name"), "Snare");
    for (const char* stale : {"Preset3", "Preset4", "Preset5"})
        EXPECT_EQ(ProfileValue(drums, stale, "Version"), "<missing>") << stale;
    EXPECT_EQ(ProfileValue(drums, "Notes", "Kept"), "yes");

    ASSERT_EQ(manager.ExportPresets(kTestClassKey, drums.c_str(), {PresetSelection::Preset, "", snare}), 1);
    EXPECT_EQ(ProfileValue(drums, "Preset1", "Name"), "Snare");
    EXPECT_EQ(ProfileValue(drums, "Preset2", "Version"), "<missing>");

    EXPECT_EQ(manager.ExportPresets(kTestClassKey, Path("none.ini").c_str(), {}), 0);
    EXPECT_EQ(GetFileAttributesA(Path("none.ini").c_str()), INVALID_FILE_ATTRIBUTES) << "nothing selected";

    ASSERT_EQ(manager.ExportPresets(kTestClassKey, Path("qz_Multiband.ini").c_str(), {PresetSelection::All, "", 0}), 1);
    PresetManager& reader = NewManager();
    reader.OpenPresetStore(Path("qz_Multiband.ini").c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(reader.Presets()), (std::vector<std::string>{"Drums/Kick", "drums/Snare", "Keys/Keys", "/Pad"}));
    EXPECT_EQ(ProfileValue(Path("qz_Multiband.ini"), "Plug-in", "DefaultPreset"), "1");
    EXPECT_EQ(GetFileAttributesA(Path(kStoreName).c_str()), INVALID_FILE_ATTRIBUTES) << "an export is not a save";
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PresetStoreTest, ChangesToTheListAndTheBackup)
{
    PresetManager& manager = NewManager();
    const int kick = manager.AddPreset("Kick", "Drums", "1");
    const int snare = manager.AddPreset("Snare", "drums", "2");
    const int pad = manager.AddPreset(std::string(200, 'n'), "", "3");
    EXPECT_EQ(manager.FindPreset(pad)->name.size(), 127u) << "names are kept within what the store reads back";
    manager.MakeBackup();

    EXPECT_EQ(manager.RenameBank("DRUMS", "Beats"), 2);
    EXPECT_TRUE(manager.MovePreset(snare, ""));
    EXPECT_TRUE(manager.RenamePreset(kick, "Kick 2"));
    EXPECT_FALSE(manager.RenamePreset(kick, "")) << "a preset keeps a name";
    EXPECT_TRUE(manager.UpdatePreset(pad, "9", false));
    EXPECT_EQ(Names(manager.Presets()), (std::vector<std::string>{"Beats/Kick 2", "/Snare", "/" + std::string(127, 'n')}));
    EXPECT_EQ(manager.FindPreset(pad)->data, "9");

    EXPECT_EQ(manager.DeleteBank("beats"), 1);
    manager.DeleteAllPresets();
    EXPECT_TRUE(manager.Presets().empty());
    EXPECT_FALSE(manager.DeletePreset(kick));
    manager.RestoreBackup();
    EXPECT_EQ(Names(manager.Presets()), (std::vector<std::string>{"Drums/Kick", "drums/Snare", "/" + std::string(127, 'n')}));
    EXPECT_EQ(manager.FindPreset(pad)->data, "3");

    // A line break in a name would start a new section in the file.
    const int broken = manager.AddPreset("two\r\n[Preset1]\r\nName=lines", "", "1\n2");
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, Path(kStoreName).c_str()), 1);
    PresetManager& reader = NewManager();
    reader.OpenPresetStore(Path(kStoreName).c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(reader.Presets().size(), manager.Presets().size());
    EXPECT_EQ(manager.FindPreset(broken)->name, "two  [Preset1]  Name=lines");
    EXPECT_EQ(reader.Presets().back().name, "two  [Preset1]  Name=lines");

    EXPECT_EQ(NewManager().Title(), kManagerTitle);
    EXPECT_EQ(PresetManager(nullptr, nullptr, nullptr).Title(), "Quorvex Tavelin:qz Preset Manager");
}

} // namespace
} // namespace qz::test
