// The store's merge and its writing, without files: tables of stores as another
// program or editor left them, what one manager changed, and the bytes a save writes.
#include <gtest/gtest.h>

#include <functional>

#include "PresetReadingCases.h"
#include "PresetStore.h"

namespace qz {
namespace {

const char kOurs[] = "SOFTWARE\\Classes\\CLSID\\{OURS}";
const PluginKeys kStoreKeys{"qz:Multiband", kOurs, true};
const std::string kHead = std::string("[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=") + kOurs + "\r\nDefaultPreset=1\r\n";

std::string Preset(int number, const std::string& name, const std::string& data = "1", const std::string& extra = "")
{
    return "[Preset" + std::to_string(number) + "]\r\nVersion=3\r\nName=" + name + "\r\nBank=\r\nData=" + data +
           "\r\n" + extra;
}

// A manager's list as loading `text` gives it.
PresetList Loaded(const std::string& text)
{
    PresetList list;
    const PresetFile file(text);
    for (const PresetSection& section : file.list())
        if (section.isPreset()) {
            PresetRecord record;
            static_cast<PresetFields&>(record) = section.fields;
            record.stored = section.fields;
            record.id = 3501 + static_cast<int>(list.size());
            list.push_back(record);
        }
    return list;
}

PresetRecord* Named(PresetList& list, const std::string& name)
{
    for (PresetRecord& record : list)
        if (record.name == name)
            return &record;
    ADD_FAILURE() << "no preset " << name;
    static PresetRecord none;
    return &none;
}

struct Saved {
    std::string bytes;
    PresetList list;  // the manager's list afterwards
};

Saved Save(const std::string& disk, bool isStore, const PresetList& list, const std::vector<PresetFields>& deleted = {})
{
    const PresetFile file(disk);
    const std::vector<StoreSlot> slots = MergeStore(file, isStore, list, deleted);
    Saved saved;
    saved.bytes = WritePresetFile(file, slots, kStoreKeys);
    int nextId = 9000;
    saved.list = ListAfterSave(PresetFile(saved.bytes), slots, list, nextId);
    return saved;
}

// "name" of each preset as a reader finds them in the file, in file order.
std::vector<std::string> FileNames(const std::string& bytes)
{
    std::vector<std::string> names;
    const PresetFile file(bytes);
    for (const PresetSection& section : file.list())
        names.push_back(section.isPreset() ? section.fields.name : "(" + section.fields.name + ")");
    return names;
}

std::vector<std::string> ListNames(const PresetList& list)
{
    std::vector<std::string> names;
    for (const PresetRecord& record : list)
        names.push_back(record.name);
    return names;
}

bool Contains(const std::string& bytes, const std::string& part) { return bytes.find(part) != std::string::npos; }

TEST(PresetStoreMerge, AnUnchangedStoreIsWrittenByteForByte)
{
    const std::string stores[] = {
        kHead + Preset(1, "A") + Preset(2, "B"),
        "; written by hand\r\n\r\n" + kHead + "Extra=kept\r\n" + Preset(1, "A", "1", "Comment=later version\r\n") +
            "[Preset2]\r\nVersion=3 beta\r\nName=No data\r\nOdd key\r\n" + Preset(3, "C") + "[Other]\r\nx=1\r\n",
        kHead + Preset(1, "A") + Preset(2, "B") + "[Preset4]\nVersion=3\nName=After a gap\nData=4\n",
        kHead + Preset(1, "LF only\n") + Preset(2, "no line break at the end", "9").substr(0, 58),
    };
    for (const std::string& store : stores) {
        SCOPED_TRACE(store);
        const Saved saved = Save(store, true, Loaded(store));
        EXPECT_EQ(saved.bytes, store);
    }
}

// What one manager did, applied to the store as it is on disk now.
TEST(PresetStoreMerge, ChangesApplyToWhatTheStoreHoldsNow)
{
    struct Case {
        const char* what;
        std::string disk;                                   // the store when saving
        std::function<void(PresetList&, std::vector<PresetFields>&)> change;  // on the list loaded before
        std::vector<std::string> file;                      // the names the store then holds
        std::vector<std::string> list;                      // the manager's list afterwards
    };
    const std::string abc = kHead + Preset(1, "A") + Preset(2, "B") + Preset(3, "C");
    const auto add = [](const std::string& name) {
        return [name](PresetList& list, std::vector<PresetFields>&) {
            PresetRecord record;
            record.name = name;
            record.data = "7";
            record.id = 4000;
            list.push_back(record);
        };
    };
    const auto remove = [](const std::string& name) {
        return [name](PresetList& list, std::vector<PresetFields>& deleted) {
            PresetRecord* record = Named(list, name);
            deleted.push_back(*record->stored);
            list.erase(list.begin() + (record - list.data()));
        };
    };
    const Case cases[] = {
        {"an added preset comes last", abc, add("D"), {"A", "B", "C", "D"}, {"A", "B", "C", "D"}},
        {"the last preset takes a deleted one's place", abc, remove("A"), {"C", "B"}, {"B", "C"}},
        {"an added preset takes a deleted one's place", abc,
         [&](PresetList& list, std::vector<PresetFields>& deleted) {
             remove("B")(list, deleted);
             add("D")(list, deleted);
         },
         {"A", "D", "C"}, {"A", "C", "D"}},
        {"another editor's preset stays", abc + Preset(4, "Theirs"), add("D"), {"A", "B", "C", "Theirs", "D"},
         {"A", "B", "C", "D", "Theirs"}},
        {"another editor's deletion stands", kHead + Preset(1, "A") + Preset(2, "C"), [](PresetList&, auto&) {},
         {"A", "C"}, {"A", "C"}},
        {"a preset renamed here that another editor deleted survives", kHead + Preset(1, "A") + Preset(2, "C"),
         [](PresetList& list, auto&) { Named(list, "B")->name = "B2"; }, {"A", "C", "B2"}, {"A", "B2", "C"}},
        {"a preset renamed by another editor keeps their name", kHead + Preset(1, "A") + Preset(2, "B*") + Preset(3, "C"),
         [](PresetList&, auto&) {}, {"A", "B*", "C"}, {"A", "C", "B*"}},
        {"a section without data keeps its number",
         kHead + Preset(1, "A") + "[Preset2]\r\nVersion=3\r\nName=No data\r\n" + Preset(3, "C"), remove("A"),
         {"C", "(No data)"}, {"C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PresetList list = Loaded(abc);
        std::vector<PresetFields> deleted;
        c.change(list, deleted);
        const Saved saved = Save(c.disk, true, list, deleted);
        EXPECT_EQ(FileNames(saved.bytes), c.file);
        EXPECT_EQ(ListNames(saved.list), c.list);
        for (const PresetRecord& record : saved.list)
            EXPECT_EQ(record.stored, std::optional<PresetFields>(record)) << record.name;
    }
}

// A store another program replaced or removed while the manager was open: the user
// agreed to replace it, so every preset the manager shows is written, not only the
// ones changed since it opened.
TEST(PresetStoreMerge, AStoreThatIsNoLongerOursGetsTheWholeList)
{
    const std::string ours = kHead + Preset(1, "A") + Preset(2, "B");
    PresetList list = Loaded(ours);
    Named(list, "B")->data = "changed";
    const std::string replacements[] = {
        "",
        "[Plug-in]\r\nCLSID={another}\r\nPluginName=Other\r\n" + Preset(1, "Foreign") + Preset(2, "Foreign 2") +
            "[Settings]\r\nTheirs=kept\r\n",
        Preset(1, "No identity"),
    };
    for (const std::string& disk : replacements) {
        SCOPED_TRACE(disk);
        const Saved saved = Save(disk, false, list);
        EXPECT_EQ(FileNames(saved.bytes), (std::vector<std::string>{"A", "B"}));
        EXPECT_EQ(PresetFile(saved.bytes).identity(), kOurs);
        EXPECT_EQ(PresetFile(saved.bytes).list()[1].fields.data, "changed");
        EXPECT_EQ(ListNames(saved.list), (std::vector<std::string>{"A", "B"}));
        EXPECT_EQ(Contains(saved.bytes, "[Settings]\r\nTheirs=kept\r\n"), Contains(disk, "[Settings]"));
    }
}

// What is not a preset of the list, or not this program's key, keeps its bytes.
TEST(PresetStoreMerge, SectionsOutsideTheListAreKeptByteForByte)
{
    const std::string comment = "[Preset1]\r\nVersion=3\r\nName=Moves\r\nBank=b\r\nData=1\r\nComment=later version\r\n";
    const std::string noData = "[Preset3]\r\nVersion=3 beta\r\nName=No data\r\nExtra=x\r\n";
    const std::string afterGap = "[Preset6]\r\nVersion=3\r\nName=After a gap\r\nData=6\r\n";
    const std::string store = "[Plug-in]\r\n  PluginName = old name \r\nCLSID=" + std::string(kOurs) +
                              "\r\nOwn=key\r\n" + comment + Preset(2, "Deleted") + noData + Preset(4, "D") + afterGap +
                              "[Unrelated]\r\nk=v\r\n";
    PresetList list = Loaded(store);
    std::vector<PresetFields> deleted = {*Named(list, "Deleted")->stored};
    list.erase(list.begin() + (Named(list, "Deleted") - list.data()));
    for (int i = 0; i < 3; ++i) {
        PresetRecord record;
        record.name = "New " + std::to_string(i);
        record.id = 5000 + i;
        list.push_back(record);
    }
    const Saved saved = Save(store, true, list, deleted);
    EXPECT_EQ(FileNames(saved.bytes),
              (std::vector<std::string>{"Moves", "New 0", "(No data)", "D", "New 1", "New 2"}));
    EXPECT_TRUE(Contains(saved.bytes, comment)) << saved.bytes;
    EXPECT_TRUE(Contains(saved.bytes, noData)) << "at its number, with its version text and its keys";
    EXPECT_TRUE(Contains(saved.bytes, afterGap)) << "beyond the list, after the sections written";
    EXPECT_LT(saved.bytes.find("[Preset6]\r\nVersion=3\r\nName=New 2"), saved.bytes.find(afterGap))
        << "the section written comes first, so readers find it";
    EXPECT_TRUE(Contains(saved.bytes, "[Unrelated]\r\nk=v\r\n"));
    EXPECT_TRUE(Contains(saved.bytes, "[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=" + std::string(kOurs) +
                                          "\r\nOwn=key\r\nDefaultPreset=1\r\n"))
        << "its own keys set in place, the others kept:\n"
        << saved.bytes;
}

// A preset moved to close a gap keeps the other keys of its section; one changed here
// keeps them too.
TEST(PresetStoreMerge, PresetsKeepTheirOtherKeysWhenTheyMoveOrChange)
{
    const std::string store = kHead + Preset(1, "A") + Preset(2, "B", "2", "Comment=b\r\n") +
                              Preset(3, "C", "3", "Comment=c\r\n");
    PresetList list = Loaded(store);
    std::vector<PresetFields> deleted = {*Named(list, "A")->stored};
    list.erase(list.begin());
    Named(list, "B")->data = "22";
    const Saved saved = Save(store, true, list, deleted);
    EXPECT_TRUE(Contains(saved.bytes, "[Preset1]\r\nVersion=3\r\nName=C\r\nBank=\r\nData=3\r\nComment=c\r\n"))
        << saved.bytes;
    EXPECT_TRUE(Contains(saved.bytes, "[Preset2]\r\nVersion=3\r\nName=B\r\nBank=\r\nData=22\r\nComment=b\r\n"))
        << saved.bytes;
}

TEST(PresetStoreMerge, NamesReadBackAsTyped)
{
    PresetList list;
    const std::string names[] = {" padded ", "\"quoted\"", "'single'", "\t", "end\x1a"};
    for (const std::string& name : names) {
        PresetRecord record;
        record.name = name;
        record.bank = name;
        record.data = " 1 ";
        record.id = 3501 + static_cast<int>(list.size());
        list.push_back(record);
    }
    const Saved saved = Save("", false, list);
    ASSERT_EQ(saved.list.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(saved.list[i].name, list[i].name);
        EXPECT_EQ(saved.list[i].bank, list[i].bank);
        EXPECT_EQ(saved.list[i].data, list[i].data);
        EXPECT_EQ(saved.list[i].id, list[i].id) << "same records";
    }
}

// A store in another encoding stays in it: what is kept keeps its bytes, what is
// written is converted.
TEST(PresetStoreMerge, AStoreKeepsItsEncoding)
{
    const std::string latin = kHead + Preset(1, "B\xE4sse");
    const std::string stores[] = {test::Utf16(latin, true), test::Utf16(latin, false),
                                  "\xEF\xBB\xBF" + FileFromAnsi(latin, IniEncoding::Utf8)};
    for (const std::string& store : stores) {
        SCOPED_TRACE(store.substr(0, 3));
        PresetList list = Loaded(store);
        ASSERT_EQ(ListNames(list), std::vector<std::string>{"B\xE4sse"});
        PresetRecord added;
        added.name = "H\xF6hen";
        added.id = 4000;
        list.push_back(added);
        const Saved saved = Save(store, true, list);
        EXPECT_EQ(saved.bytes.compare(0, store.size(), store), 0) << "kept as it was";
        EXPECT_EQ(FileNames(saved.bytes), (std::vector<std::string>{"B\xE4sse", "H\xF6hen"}));
        EXPECT_EQ(PresetFile(saved.bytes).ini().encoding(), PresetFile(store).ini().encoding());
    }
}

TEST(PresetStoreMerge, AnExportReplacesTheFilesListAndKeepsTheRest)
{
    const std::string target = "[Notes]\r\nkept=1\r\n[Plug-in]\r\nCLSID={another}\r\n" + Preset(1, "Old") +
                               Preset(2, "Old 2") + "[Preset3]\r\nVersion=3\r\nName=Old without data\r\n";
    PresetList chosen = Loaded(kHead + Preset(1, "Kick"));
    const PresetFile file(target);
    const std::string bytes = WritePresetFile(file, SlotsOf(chosen), {"qz:Multiband", kOurs, false});
    EXPECT_EQ(FileNames(bytes), std::vector<std::string>{"Kick"});
    EXPECT_EQ(PresetFile(bytes).identity(), kOurs);
    EXPECT_EQ(PresetFile(bytes).ini().Read("Plug-in", "DefaultPreset", 9), std::nullopt);
    EXPECT_TRUE(Contains(bytes, "[Notes]\r\nkept=1\r\n"));
    EXPECT_FALSE(Contains(bytes, "Old"));
}

TEST(PresetStoreMerge, TheListAfterASaveKeepsIdsAndGivesNewOnesFromTheCounter)
{
    const std::string store = kHead + Preset(1, "A") + Preset(2, "Theirs") + Preset(3, "B");
    PresetList before = Loaded(kHead + Preset(1, "B") + Preset(2, "A"));
    const PresetFile file(store);
    std::vector<StoreSlot> slots = MergeStore(file, true, before, {});
    int nextId = 7000;
    const PresetList after = ListAfterSave(PresetFile(WritePresetFile(file, slots, kStoreKeys)), slots, before, nextId);
    ASSERT_EQ(ListNames(after), (std::vector<std::string>{"B", "A", "Theirs"})) << "the manager's order, then theirs";
    EXPECT_EQ(after[0].id, before[0].id);
    EXPECT_EQ(after[1].id, before[1].id);
    EXPECT_EQ(after[2].id, 7000);
    EXPECT_EQ(nextId, 7001);
}

} // namespace
} // namespace qz
