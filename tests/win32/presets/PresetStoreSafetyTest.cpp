// The preset store under hostile conditions, with the real manager, Wine's file
// system and real Unix files: a full disk, stores that are pipes, devices or folders,
// stores replaced or removed by another program while the manager is open, exports
// onto the store, names that a reader would change, and a store of 100,000 presets.
// Whatever fails is shown once with the file's path, and the store stays byte for byte
// as it was.
#include "PresetTestSupport.h"

#include <algorithm>

#include "ParamTable.h"
#include "PresetData.h"

namespace qz::test {
namespace {

using PresetStoreSafetyTest = PresetFilesTest;

std::vector<PresetFields> Numbered(int count, const std::string& data)
{
    std::vector<PresetFields> presets;
    for (int i = 1; i <= count; ++i)
        presets.push_back(Fields("Preset " + std::to_string(i), i % 2 ? "Odd" : "", data));
    return presets;
}

// The message shown for a file that was not written, whatever the reason; it names
// the file once.
bool SaysNotWritten(const ShownMessage& shown, const std::string& path, const std::string& why)
{
    return shown.text.rfind("Unable to write the preset file\n\"" + path + "\"\n", 0) == 0 &&
           shown.text.rfind(path) == shown.text.find(path) &&
           shown.text.find(why) != std::string::npos &&
           shown.text.substr(shown.text.rfind('\n')) == "\nThe presets were not saved." &&
           shown.type == UINT(MB_OK | MB_ICONHAND);
}

// The names of a folder's files.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// On a full disk the save fails, says so once with the path, and neither the store
// nor the list loses anything; once there is room again the same save succeeds.
TEST_F(PresetStoreSafetyTest, AFullDiskLeavesTheStoreAsItWas)
{
    const UnixFolder disk("full", 64);
    ASSERT_TRUE(disk.ready()) << "a 64 KB tmpfs";
    const std::string store = disk.Windows(kStoreName);
    WriteText(store, StoreText(kTestClassKey, Numbered(20, std::string(400, '5'))));
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    ASSERT_EQ(manager.Presets().size(), 20u);
    ASSERT_TRUE(RunShell("dd if=/dev/zero of=" + disk.Unix("filler") + " bs=1k count=1000; test -s " +
                         disk.Unix("filler")));
    const std::string before = Fingerprint(store);

    for (const PresetRecord& record : PresetList(manager.Presets()))
        manager.RenamePreset(record.id, record.name + " renamed to something longer");
    const std::string longData(2999, '7');
    manager.AddPreset("Long", "", longData);
    messages.shown.clear();
    EXPECT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(SaysNotWritten(messages.shown[0], store, "Cannot write it: ")) << messages.shown[0].text;
    EXPECT_EQ(Fingerprint(store), before) << "the store as it was";
    EXPECT_EQ(FilesIn(disk.Windows("")), (std::vector<std::string>{"filler", kStoreName})) << "no temporary file left";
    EXPECT_EQ(manager.Presets().size(), 21u) << "nothing lost in memory";

    ASSERT_TRUE(RunShell("rm " + disk.Unix("filler")));
    messages.shown.clear();
    EXPECT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    EXPECT_TRUE(messages.shown.empty());
    PresetManager& reader = NewManager();
    reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    ASSERT_EQ(reader.Presets().size(), 21u);
    const auto longOne = std::find_if(reader.Presets().begin(), reader.Presets().end(),
                                      [](const PresetRecord& r) { return r.name == "Long"; });
    ASSERT_NE(longOne, reader.Presets().end());
    EXPECT_EQ(longOne->data, longData) << "all of the data";
}

// A store that is no file (a pipe, a link to a device, a folder) is not read, not
// waited on, and not written: opening and saving each say so once.
TEST_F(PresetStoreSafetyTest, AStoreThatIsNoFileIsNeitherReadNorWritten)
{
    const UnixFolder folder("odd");
    ASSERT_TRUE(folder.ready());
    const std::string store = folder.Windows(kStoreName);
    struct Case {
        const char* what;
        std::string make;   // the shell command that puts it where the store was
        std::string check;  // the shell test that it is still there, as it was
        std::string kind;
    };
    const std::string unixStore = folder.Unix(kStoreName);
    const Case cases[] = {
        {"a pipe", "mkfifo " + unixStore, "test -p " + unixStore, "it is a pipe"},
        {"a link to /dev/zero", "ln -s /dev/zero " + unixStore, "test -L " + unixStore, "it is a device"},
        {"a folder", "mkdir " + unixStore, "test -d " + unixStore, "it is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(RunShell("rm -rf " + unixStore));
        WriteText(store, StoreText(kTestClassKey, {Fields("A", ""), Fields("B", "")}));
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
        ASSERT_EQ(manager.Presets().size(), 2u);
        ASSERT_TRUE(RunShell("rm " + unixStore + " && " + c.make));

        manager.AddPreset("C", "", "3");
        messages.shown.clear();
        EXPECT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 0);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(SaysNotWritten(messages.shown[0], store, c.kind)) << messages.shown[0].text;
        EXPECT_TRUE(RunShell(c.check)) << "left as it was";
        EXPECT_EQ(manager.Presets().size(), 3u);

        messages.shown.clear();
        PresetManager& opened = NewManager();
        opened.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
        EXPECT_TRUE(opened.Presets().empty());
        EXPECT_EQ(messages.texts(),
                  std::vector<std::string>{"The preset file\n\"" + store + "\"\ncannot be read: " + c.kind + "."});
    }
}

// Another program replaced the store with another plug-in's file, or removed it, while
// the manager was open; the user agrees to replace it: every preset the manager shows
// is written, not only the one changed since it opened.
TEST_F(PresetStoreSafetyTest, AStoreReplacedOrRemovedWhileOpenGetsEveryPresetShown)
{
    const std::string store = Path(kStoreName);
    const std::string foreign = "[Plug-in]\r\nCLSID={another plug-in}\r\n[Preset1]\r\nVersion=1\r\nName=Theirs\r\n"
                                "Bank=\r\nData=0\r\n[Settings]\r\nTheirs=kept\r\n";
    struct Case {
        const char* what;
        std::string replacement;  // empty: removed
        size_t questions;
    };
    const Case cases[] = {{"replaced by another plug-in's file", foreign, 1}, {"removed", "", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(store, StoreText(kTestClassKey, {Fields("A", "Bank"), Fields("B", ""), Fields("C", "")}));
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
        ASSERT_EQ(manager.Presets().size(), 3u);
        if (c.replacement.empty())
            DeleteFileA(store.c_str());
        else
            WriteText(store, c.replacement);

        manager.RenamePreset(manager.Presets()[1].id, "B renamed");
        messages.shown.clear();
        messages.answers = {IDYES};
        ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
        EXPECT_EQ(messages.shown.size(), c.questions);
        PresetManager& reader = NewManager();
        reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
        EXPECT_EQ(Names(reader.Presets()), (std::vector<std::string>{"Bank/A", "/B renamed", "/C"}));
        EXPECT_EQ(Names(manager.Presets()), Names(reader.Presets()));
        EXPECT_EQ(ReadText(store).find("[Settings]\r\nTheirs=kept\r\n") != std::string::npos, !c.replacement.empty())
            << "the other plug-in's own sections stay";
    }
}

// An export onto the store itself, by whatever name, would drop every preset not
// exported: it is refused, and the store keeps every byte.
TEST_F(PresetStoreSafetyTest, ExportingOntoTheStoreIsRefused)
{
    const std::string store = Path(kStoreName);
    WriteText(store, StoreText(kTestClassKey, {Fields("Kick", "Drums"), Fields("Snare", "Drums"), Fields("Pad", "")}));
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    const std::string before = Fingerprint(store);
    std::string otherSpelling = store;
    otherSpelling.insert(otherSpelling.rfind('\\'), "\\.");
    std::transform(otherSpelling.begin(), otherSpelling.end(), otherSpelling.begin(), ::toupper);
    const PresetSelection selections[] = {
        {PresetSelection::Bank, "Drums", 0},
        {PresetSelection::Preset, "", manager.Presets()[0].id},
        {PresetSelection::All, "", 0},
    };
    for (const std::string& target : {store, otherSpelling})
        for (const PresetSelection& selection : selections) {
            SCOPED_TRACE(target + " " + std::to_string(selection.kind));
            messages.shown.clear();
            EXPECT_EQ(manager.ExportPresets(kTestClassKey, target.c_str(), selection), 0);
            EXPECT_EQ(messages.texts(), std::vector<std::string>{"The presets cannot be exported to the preset file\n\"" +
                                                                 target +
                                                                 "\"\nbecause it is the store of this plug-in's "
                                                                 "presets. Choose another file."});
            EXPECT_EQ(Fingerprint(store), before);
        }
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    PresetManager& reader = NewManager();
    reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(reader.Presets().size(), 3u) << "and the next save keeps them all";
}

// Names read back as they were typed, so an update finds its preset again; a name of
// blanks is no name.
TEST_F(PresetStoreSafetyTest, NamesAreStoredAsTyped)
{
    const std::string store = Path(kStoreName);
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(manager.AddPreset("   ", "", "1"), 0);
    EXPECT_EQ(manager.AddPreset("\t", "Bank", "1"), 0);
    const int padded = manager.AddPreset("  Pad  ", " Keys ", "1");
    const int quoted = manager.AddPreset("\"Loud\"", "'Mix'", "2");
    const int rooted = manager.AddPreset("Root", "  ", "3");
    ASSERT_NE(padded, 0);
    EXPECT_EQ(manager.FindPreset(rooted)->bank, "") << "a bank of blanks is the root";
    EXPECT_FALSE(manager.RenamePreset(padded, "  "));
    EXPECT_EQ(manager.RenameBank(" Keys ", " "), 0);
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);

    PresetManager& reader = NewManager();
    reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(reader.Presets()), (std::vector<std::string>{" Keys /  Pad  ", "'Mix'/\"Loud\"", "/Root"}));
    EXPECT_EQ(ProfileValue(store, "Preset1", "Name"), "  Pad  ") << "as the system's functions read it too";

    manager.UpdatePreset(padded, "9", true);
    manager.UpdatePreset(quoted, "8", true);
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    PresetManager& again = NewManager();
    again.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(again.Presets()), Names(reader.Presets())) << "updated in place, not added again";
    EXPECT_EQ(again.Presets()[0].data, "9");
}

// What the store holds beside its list keeps its bytes through a save that deletes,
// adds and changes presets.
TEST_F(PresetStoreSafetyTest, SectionsOutsideTheListSurviveASaveByteForByte)
{
    const std::string store = Path(kStoreName);
    const std::string noData = "[Preset2]\r\nVersion=3 (beta)\r\nName=Half\r\nBank=\r\nNote=kept\r\n";
    const std::string afterGap = "[Preset5]\r\nVersion=3\r\nName=Beyond\r\nBank=\r\nData=5\r\n";
    const std::string other = "[Window]\r\nx=10\r\n";
    WriteText(store, StoreText(kTestClassKey, {Fields("One", "")}) + noData +
                         "[Preset3]\r\nVersion=3\r\nName=Three\r\nBank=\r\nData=3\r\n" + afterGap + other);
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    ASSERT_EQ(Names(manager.Presets()), (std::vector<std::string>{"/One", "/Three"}));
    manager.DeletePreset(manager.Presets()[0].id);
    manager.AddPreset("New", "", "7");
    manager.AddPreset("Newer", "", "8");
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    const std::string saved = ReadText(store);
    for (const std::string& kept : {noData, afterGap, other})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\nin\n" << saved;
    // Now that the list reaches it, the section beyond the gap is in it: nothing hidden.
    PresetManager& reader = NewManager();
    reader.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    EXPECT_EQ(Names(reader.Presets()), (std::vector<std::string>{"/Beyond", "/New", "/Newer", "/Three"}));
    EXPECT_EQ(Names(manager.Presets()), (std::vector<std::string>{"/Three", "/New", "/Newer", "/Beyond"}))
        << "the list holds what the store holds";
}

// A store of 100,000 presets (20 MB) loads whole and in the plug-in's order, and an
// unchanged save writes it back as it was.
TEST_F(PresetStoreSafetyTest, AStoreOfAHundredThousandPresetsLoads)
{
    const std::string store = Path(kStoreName);
    std::string text = StoreText(kTestClassKey, {}) + "DefaultPreset=1\r\n";
    const std::string data = FormatPresetData(DefaultParamBlock());
    for (int i = 1; i <= 100000; ++i)
        text += "[Preset" + std::to_string(i) + "]\r\nVersion=3\r\nName=Preset " + std::to_string(i) + "\r\nBank=Bank " +
                std::to_string(i % 100) + "\r\nData=" + data + "\r\n";
    WriteText(store, text);
    PresetManager& manager = NewManager();
    manager.OpenPresetStore(store.c_str(), kTestClassKey, kStoreName);
    ASSERT_EQ(manager.Presets().size(), 100000u);
    EXPECT_EQ(Names(manager.Presets()).front(), "Bank 0/Preset 100");
    EXPECT_EQ(Names(manager.Presets()).back(), "Bank 99/Preset 99999");
    std::vector<int> ids;
    for (const PresetRecord& record : manager.Presets())
        ids.push_back(record.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids.front(), 3501);
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "every id once";
    const std::string before = Fingerprint(store);
    ASSERT_EQ(manager.SavePresetFile(kTestClassKey, store.c_str()), 1);
    EXPECT_EQ(Fingerprint(store), before);
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace qz::test
